// Sound, music and movie seeds: WAV in PCM and the compressed codings the
// readers decode, a few MPEG audio frames, Ogg Vorbis, standard MIDI files
// and a small Theora movie.
#include "audio.h"
#include "seeds.h"
#include "theora_movie_writer.h"

namespace {

Audio Tone(double seconds) {
    Audio audio;
    Voice voice;
    voice.wave = Wave::Triangle;
    AddNote(audio, voice, 0.0, seconds);
    return audio;
}

// A WAVE file of one format chunk (extra bytes after the 16 standard ones)
// and one data chunk.
Bytes WaveFile(uint16_t tag, int channels, int rate, int bytesPerSecond, int blockAlign, int bits, const Bytes& extra,
           const Bytes& data) {
    Bytes w;
    PutText(w, "RIFF");
    Put32(w, 0);
    PutText(w, "WAVEfmt ");
    Put32(w, uint32_t(16 + (extra.empty() ? 0 : 2 + extra.size())));
    Put16(w, tag);
    Put16(w, uint32_t(channels));
    Put32(w, uint32_t(rate));
    Put32(w, uint32_t(bytesPerSecond));
    Put16(w, uint32_t(blockAlign));
    Put16(w, uint32_t(bits));
    if (!extra.empty()) {
        Put16(w, uint32_t(extra.size()));
        w.insert(w.end(), extra.begin(), extra.end());
    }
    PutText(w, "data");
    Put32(w, uint32_t(data.size()));
    w.insert(w.end(), data.begin(), data.end());
    if (data.size() % 2) w.push_back(0);
    uint32_t riff = uint32_t(w.size() - 8);
    for (int i = 0; i < 4; ++i) w[4 + size_t(i)] = uint8_t(riff >> (8 * i));
    return w;
}

Bytes Ramp(size_t count, int step) {
    Bytes b(count);
    for (size_t i = 0; i < count; ++i) b[i] = uint8_t(i * size_t(step));
    return b;
}

Bytes ImaAdpcm() {
    Bytes extra;
    Put16(extra, 505);  // samples a block
    Bytes block;
    Put16(block, 0);
    block.insert(block.end(), {20, 0});
    Bytes nibbles = Ramp(252, 37);
    block.insert(block.end(), nibbles.begin(), nibbles.end());
    return WaveFile(0x11, 1, 22050, 22050 * 256 / 505, 256, 4, extra, block);
}

Bytes MsAdpcm() {
    Bytes extra;
    Put16(extra, 500);  // samples a block
    Put16(extra, 7);
    const int coefficients[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
    for (const auto& c : coefficients) {
        Put16(extra, uint32_t(uint16_t(c[0])));
        Put16(extra, uint32_t(uint16_t(c[1])));
    }
    Bytes block = {1};
    Put16(block, 16);
    Put16(block, 100);
    Put16(block, 50);
    Bytes nibbles = Ramp(249, 29);
    block.insert(block.end(), nibbles.begin(), nibbles.end());
    return WaveFile(2, 1, 22050, 22050 * 256 / 500, 256, 4, extra, block);
}

// One track chunk of the given events, closed by end of track.
Bytes Track(Bytes events) {
    events.insert(events.end(), {0x00, 0xFF, 0x2F, 0x00});
    Bytes t;
    PutText(t, "MTrk");
    for (int i = 3; i >= 0; --i) t.push_back(uint8_t(events.size() >> (8 * i)));
    t.insert(t.end(), events.begin(), events.end());
    return t;
}

Bytes Midi(int format, const std::vector<Bytes>& tracks) {
    Bytes m;
    PutText(m, "MThd");
    m.insert(m.end(), {0, 0, 0, 6, 0, uint8_t(format), 0, uint8_t(tracks.size()), 0x01, 0xE0});
    for (const Bytes& t : tracks) {
        Bytes chunk = Track(t);
        m.insert(m.end(), chunk.begin(), chunk.end());
    }
    return m;
}

void AddMidiSeeds(Seeds& seeds) {
    // Tempo, a program change and two notes (the second in running status).
    const Bytes notes = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C, 0x64,
                         0x83, 0x60, 0x3C, 0x00, 0x00, 0x40, 0x64, 0x83, 0x60, 0x80, 0x40, 0x00};
    seeds.Add("fuzz_midi", "format0.mid", Midi(0, {notes}));
    const Bytes conductor = {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08, 0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40};
    const Bytes drums = {0x00, 0x99, 0x24, 0x7F, 0x60, 0x89, 0x24, 0x00, 0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    seeds.Add("fuzz_midi", "format1.mid", Midi(1, {conductor, drums}));
}

}  // namespace

void AddSoundSeeds(Seeds& seeds) {
    const char* t = "fuzz_wav";
    Audio tone = Tone(0.02);
    seeds.Add(t, "pcm16_mono.wav", EncodeWav(tone));
    seeds.Add(t, "pcm8_stereo.wav", WaveFile(1, 2, 11025, 22050, 2, 8, {}, Ramp(400, 3)));
    seeds.Add(t, "ima_adpcm.wav", ImaAdpcm());
    seeds.Add(t, "ms_adpcm.wav", MsAdpcm());
    seeds.Add(t, "mulaw.wav", WaveFile(7, 1, 8000, 8000, 1, 8, {}, Ramp(300, 11)));
    seeds.Add(t, "alaw.wav", WaveFile(6, 2, 8000, 16000, 2, 8, {}, Ramp(300, 13)));

    Bytes mp3;
    if (EncodeMp3(Tone(0.06), &mp3)) seeds.Add("fuzz_mp3", "tone.mp3", mp3);
    seeds.Add("fuzz_ogg", "tone.ogg", moviegen::WriteVorbisOnly(1));

    AddMidiSeeds(seeds);

    moviegen::MovieOptions movie;
    movie.width = 32;
    movie.height = 32;
    movie.frames = 2;
    seeds.Add("fuzz_theora", "two_frames.ogv", moviegen::WriteTheoraMovie(movie));
}
