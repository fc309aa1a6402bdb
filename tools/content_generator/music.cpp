// Background music: one short looping piece per BGM number, composed from a
// chord progression with a motif-based melody, bass, pad and drums.
#include "audio.h"
#include "generator.h"
#include "manifest.h"
#include "rng.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Piece {
    int bgm;
    int tempo;       // beats per minute
    int root;        // MIDI note of the key's tonic (around the melody's octave)
    bool minor;
    std::vector<int> chords;  // scale degrees 0..6, one per bar
    int repeats;               // times the progression is played
    Wave lead;
    float drums;  // 0 none .. 1 full
};

const int kMajor[7] = {0, 2, 4, 5, 7, 9, 11};
const int kMinor[7] = {0, 2, 3, 5, 7, 8, 10};

int ScaleNote(const Piece& p, int index) {  // index in scale steps from the tonic, any sign
    int octave = index >= 0 ? index / 7 : -((-index + 6) / 7);
    int step = index - octave * 7;
    return p.root + octave * 12 + (p.minor ? kMinor : kMajor)[step];
}

struct MotifNote {
    int slot, length, step;  // eighth-note slot in the bar, length in eighths, scale step from the previous note
};

std::vector<MotifNote> MakeMotif(Rng& rng) {
    std::vector<MotifNote> notes;
    int slot = 0;
    while (slot < 8) {
        int length = rng.Chance(55) ? 1 : (rng.Chance(70) ? 2 : 3);
        if (slot + length > 8) length = 8 - slot;
        int step = rng.Between(-2, 2);
        if (rng.Chance(12) && slot > 0) {
            slot += length;  // a rest
            continue;
        }
        notes.push_back({slot, length, step});
        slot += length;
    }
    return notes;
}

Audio Compose(const Piece& p) {
    Rng rng(uint32_t(1000 + p.bgm * 37));
    Audio audio;
    double eighth = 60.0 / p.tempo / 2;
    std::vector<MotifNote> motifs[3] = {MakeMotif(rng), MakeMotif(rng), MakeMotif(rng)};
    const int phrase[8] = {0, 0, 1, 0, 0, 2, 1, 0};

    Voice lead;
    lead.wave = p.lead;
    lead.duty = 0.25f;
    lead.volume = 0.22f;
    lead.attack = 0.01f;
    lead.decay = 0.08f;
    lead.sustain = 0.6f;
    lead.release = 0.06f;
    lead.vibratoHz = 5.5f;
    lead.vibratoDepth = 0.15f;
    Voice bass;
    bass.wave = Wave::Triangle;
    bass.volume = 0.35f;
    bass.decay = 0.1f;
    bass.sustain = 0.7f;
    Voice pad;
    pad.wave = Wave::Triangle;
    pad.volume = 0.06f;
    pad.attack = 0.08f;
    pad.sustain = 0.8f;
    pad.release = 0.2f;

    int bars = int(p.chords.size()) * p.repeats;
    int melodyIndex = 7;  // scale steps above the tonic's lower octave
    for (int bar = 0; bar < bars; ++bar) {
        int chord = p.chords[size_t(bar) % p.chords.size()];
        double barStart = bar * 8 * eighth;
        // pad and bass
        for (int k = 0; k < 3; ++k) {
            float hz = MidiToHz(float(ScaleNote(p, chord + 2 * k) - 12));
            pad.startHz = pad.endHz = hz;
            AddNote(audio, pad, barStart, 8 * eighth - 0.05);
        }
        for (int slot = 0; slot < 8; slot += 2) {
            int note = ScaleNote(p, chord + (slot == 4 ? 4 : 0)) - 24;
            bass.startHz = bass.endHz = MidiToHz(float(note));
            AddNote(audio, bass, barStart + slot * eighth, eighth * 1.6);
        }
        // melody: the phrase's motif, its first note snapped to the chord
        const std::vector<MotifNote>& motif = motifs[phrase[bar % 8]];
        bool lastBar = bar == bars - 1;
        for (size_t n = 0; n < motif.size(); ++n) {
            const MotifNote& m = motif[n];
            if (n == 0 || m.slot == 4) {
                int best = melodyIndex, bestDistance = 99;
                for (int k = -1; k <= 2; ++k) {
                    for (int tone = 0; tone < 3; ++tone) {
                        int candidate = chord + 2 * tone + 7 * k;
                        int distance = std::abs(candidate - (melodyIndex + m.step));
                        if (distance < bestDistance) {
                            bestDistance = distance;
                            best = candidate;
                        }
                    }
                }
                melodyIndex = best;
            } else {
                melodyIndex += m.step;
            }
            if (melodyIndex < 3) melodyIndex += 3;
            if (melodyIndex > 13) melodyIndex -= 3;
            if (lastBar && n + 1 == motif.size()) melodyIndex = 7;  // close on the tonic for the loop
            float hz = MidiToHz(float(ScaleNote(p, melodyIndex)));
            lead.startHz = lead.endHz = hz;
            AddNote(audio, lead, barStart + m.slot * eighth, m.length * eighth * 0.9);
        }
        // drums
        if (p.drums > 0) {
            Voice kick;
            kick.wave = Wave::Sine;
            kick.startHz = 130;
            kick.endHz = 40;
            kick.volume = 0.5f * p.drums;
            kick.attack = 0.001f;
            kick.decay = 0.12f;
            kick.sustain = 0;
            kick.release = 0.02f;
            Voice snare = kick;
            snare.wave = Wave::Noise;
            snare.startHz = snare.endHz = 6000;
            snare.volume = 0.25f * p.drums;
            snare.decay = 0.1f;
            Voice hat = snare;
            hat.startHz = hat.endHz = 11000;
            hat.volume = 0.08f * p.drums;
            hat.decay = 0.03f;
            for (int slot = 0; slot < 8; ++slot) {
                double t = barStart + slot * eighth;
                if (slot == 0 || slot == 4 || (slot == 7 && bar % 2 == 1)) AddNote(audio, kick, t, 0.12);
                if (slot == 2 || slot == 6) AddNote(audio, snare, t, 0.1, uint32_t(bar * 8 + slot));
                AddNote(audio, hat, t, 0.03, uint32_t(bar * 8 + slot + 5000));
            }
        }
    }
    // the loop is exactly the bars long; any release tail wraps to the start
    size_t loop = size_t(bars * 8 * eighth * kSampleRate);
    audio.EnsureLength(loop);
    for (size_t i = loop; i < audio.samples.size(); ++i) audio.samples[i - loop] += audio.samples[i];
    audio.samples.resize(loop);
    Normalise(audio, 0.8f);
    return audio;
}

std::vector<Piece> Pieces() {
    return {
        {0, 132, 72, false, {0, 4, 5, 3}, 4, Wave::Square, 0.8f},           // title
        {1, 120, 67, false, {0, 3, 4, 0}, 4, Wave::Triangle, 0.6f},         // the first set
        {2, 160, 64, true, {0, 5, 2, 6}, 4, Wave::Square, 1.0f},            // run through
        {3, 140, 62, true, {0, 3, 4, 0}, 4, Wave::Saw, 1.0f},               // desert battle
        {4, 150, 69, true, {0, 6, 5, 4}, 4, Wave::Square, 1.0f},            // the interrupting cat
        {5, 126, 71, true, {0, 3, 6, 2}, 4, Wave::Triangle, 0.7f},          // ice
        {6, 144, 66, true, {0, 5, 3, 4}, 4, Wave::Saw, 1.0f},               // the last set
        {7, 140, 72, false, {0, 3, 4, 0}, 1, Wave::Square, 0.8f},           // clear jingle
        {8, 110, 65, false, {0, 5, 3, 4}, 3, Wave::Triangle, 0.4f},         // calm
        {9, 100, 62, false, {0, 4, 5, 2, 3, 0, 3, 4}, 2, Wave::Triangle, 0.5f},  // staff roll
        {10, 150, 60, true, {0, 5, 6, 4}, 4, Wave::Saw, 1.0f},              // phantom road
        {11, 96, 64, true, {0, 5, 3, 4}, 3, Wave::Sine, 0.3f},              // white regret
        {12, 90, 70, false, {0, 3, 1, 4}, 3, Wave::Sine, 0.3f},             // the ending
        {13, 168, 67, true, {0, 6, 5, 6}, 4, Wave::Square, 1.0f},           // tears of thunder
    };
}

}  // namespace

bool GenerateMusic(OutputTree& out) {
    std::vector<Piece> pieces = Pieces();
    bool ok = true;
    for (const MusicSpec& spec : MusicFiles()) {
        Audio audio = Compose(pieces[size_t(spec.bgm)]);
        if (spec.path.size() > 4 && spec.path.compare(spec.path.size() - 4, 4, ".wav") == 0) {
            out.WriteBytes(spec.path, EncodeWav(audio));
            continue;
        }
        std::vector<uint8_t> mp3;
        if (!EncodeMp3(audio, &mp3)) {
            std::fprintf(stderr, "content_generator: MP3 encoding failed for %s\n", spec.path.c_str());
            ok = false;
            continue;
        }
        out.WriteBytes(spec.path, mp3);
    }
    return ok;
}
