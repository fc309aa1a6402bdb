// FluidSynth MIDI back end: stands in for the host's MIDI sequencer and its
// synthesiser. The piece is played by a FluidSynth player clocked by the
// samples rendered, so the music advances exactly as fast as the sound
// output pulls it (also under a test's virtual clock).
// Limits: General MIDI through one soundfont (TimGM6mb, or the system's
// default GM soundfont) at a fixed output gain (the volume is the caller's);
// playing from anywhere but the start is refused; the soundfont is loaded on
// every open.
// Depends on: libfluidsynth 2, timgm6mb-soundfont.
#include "fluidsynth/midi_fluidsynth.h"
#include "platform/lasting_state.h"
#include "platform/warning.h"

#include <fluidsynth.h>

#include <cmath>
#include <unistd.h>
#include <vector>

namespace morpotta::platform {
namespace {

constexpr const char* kSoundFontPaths[] = {
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/default-GM.sf2",
};
constexpr int kRenderChunkFrames = 512;
// The synthesiser's output gain. Its own default (0.2) leaves a General
// MIDI band of melody, chords, bass and drums at full volume some 8 dB
// below sampled music at full volume (normalised to a peak of 0.8); at 0.4
// such a band sits within 2 dB of it and still peaks 3 dB below full scale.
constexpr double kSynthGain = 0.4;

struct FluidMidi {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_player_t* player = nullptr;
    std::vector<uint8_t> image;
    bool playing = false;
    float left[kRenderChunkFrames] = {};
    float right[kRenderChunkFrames] = {};
};

FluidMidi& FluidMidiState() {
    return LastingState<FluidMidi>();
}

void DeletePlayer(FluidMidi& s) {
    if (!s.player) return;
    fluid_player_stop(s.player);
    delete_fluid_player(s.player);
    s.player = nullptr;
}

void FluidMidiClose() {
    FluidMidi& s = FluidMidiState();
    DeletePlayer(s);
    if (s.synth) delete_fluid_synth(s.synth);
    if (s.settings) delete_fluid_settings(s.settings);
    s.synth = nullptr;
    s.settings = nullptr;
    s.image.clear();
    s.playing = false;
}

int FluidMidiOpen(const uint8_t* image, size_t size, int rate) {
    FluidMidi& s = FluidMidiState();
    if (s.synth || !image || size == 0 || rate <= 0) return -1;
    std::string font = FindMidiSoundFont();
    if (font.empty()) {
        Warn("no soundfont for MIDI music");
        return -1;
    }
    // The library's own messages would go to stderr; the engine logs instead.
    for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) fluid_set_log_function(level, nullptr, nullptr);
    s.settings = new_fluid_settings();
    if (!s.settings) {
        Warn("the MIDI synthesiser's settings cannot be made");
        return -1;
    }
    fluid_settings_setnum(s.settings, "synth.sample-rate", double(rate));
    fluid_settings_setnum(s.settings, "synth.gain", kSynthGain);
    fluid_settings_setint(s.settings, "synth.cpu-cores", 1);
    fluid_settings_setstr(s.settings, "player.timing-source", "sample");
    s.synth = new_fluid_synth(s.settings);
    if (!s.synth || fluid_synth_sfload(s.synth, font.c_str(), 1) == FLUID_FAILED) {
        Warn(s.synth ? "the soundfont %s cannot be read" : "the MIDI synthesiser cannot be made", font.c_str());
        FluidMidiClose();
        return -1;
    }
    s.image.assign(image, image + size);
    // A trial load: the file must be one the player accepts.
    fluid_player_t* trial = new_fluid_player(s.synth);
    bool accepted = trial && fluid_player_add_mem(trial, s.image.data(), s.image.size()) == FLUID_OK;
    if (trial) delete_fluid_player(trial);
    if (!accepted) {
        FluidMidiClose();
        return -1;
    }
    return 0;
}

int FluidMidiPlay(uint32_t fromMs) {
    FluidMidi& s = FluidMidiState();
    if (!s.synth || fromMs != 0) {
        Warn(s.synth ? "MIDI play from %u ms: only the start is served" : "MIDI play from %u ms with nothing open", fromMs);
        return -1;
    }
    DeletePlayer(s);
    fluid_synth_all_sounds_off(s.synth, -1);
    s.player = new_fluid_player(s.synth);
    if (!s.player || fluid_player_add_mem(s.player, s.image.data(), s.image.size()) != FLUID_OK ||
        fluid_player_play(s.player) != FLUID_OK) {
        DeletePlayer(s);
        return -1;
    }
    s.playing = true;
    return 0;
}

void FluidMidiStop() {
    FluidMidi& s = FluidMidiState();
    DeletePlayer(s);
    if (s.synth) fluid_synth_all_sounds_off(s.synth, -1);
    s.playing = false;
}

int32_t ToSample(float v) {
    float scaled = std::nearbyint(v * 32767.0f);
    if (scaled > 32767.0f) return 32767;
    if (scaled < -32768.0f) return -32768;
    return int32_t(scaled);
}

// The player reports itself done only seconds after its last event; the
// piece ends with its last tick.
bool ReachedEnd(fluid_player_t* player) {
    if (fluid_player_get_status(player) == FLUID_PLAYER_DONE) return true;
    int total = fluid_player_get_total_ticks(player);
    return total > 0 && fluid_player_get_current_tick(player) >= total;
}

int FluidMidiRender(int32_t* accumulator, int frames) {
    FluidMidi& s = FluidMidiState();
    if (!s.synth) return 0;
    // Notes still sounding after a stop or the end keep their release.
    while (frames > 0) {
        int n = frames < kRenderChunkFrames ? frames : kRenderChunkFrames;
        if (fluid_synth_write_float(s.synth, n, s.left, 0, 1, s.right, 0, 1) != FLUID_OK) break;
        for (int i = 0; i < n; ++i) {
            accumulator[i * 2] += ToSample(s.left[i]);
            accumulator[i * 2 + 1] += ToSample(s.right[i]);
        }
        accumulator += n * 2;
        frames -= n;
    }
    if (s.playing && s.player && ReachedEnd(s.player)) {
        s.playing = false;
        return 1;
    }
    return 0;
}

}  // namespace

const MidiBackend kFluidSynthMidiBackend = {"fluidsynth", FluidMidiOpen, FluidMidiClose, FluidMidiPlay, FluidMidiStop, FluidMidiRender};

std::string FindMidiSoundFont() {
    for (const char* path : kSoundFontPaths)
        if (access(path, R_OK) == 0) return path;
    return {};
}

}  // namespace morpotta::platform
