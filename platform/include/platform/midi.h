// The host's MIDI synthesiser: one Standard MIDI File at a time, played by
// a software synthesiser whose output the engine's sound device pulls and
// mixes, so the same clock that drives the sound output drives the music.
// Back ends: fluidsynth (General MIDI soundfont) and fake (tests: renders a
// quiet tone for a length the test chooses and records what was asked).
// Callers serialise every call; render runs on the audio thread under the
// caller's lock.
#pragma once
#include <cstdint>
#include <string>

namespace morpotta::platform {

struct MidiBackend {
    const char* name;
    // Loads a whole Standard MIDI File image (already checked for its chunk
    // structure) for output at rate Hz; 0, or -1 when it cannot be played.
    int (*open)(const uint8_t* image, size_t size, int rate);
    void (*close)();
    // Starts from fromMs milliseconds into the piece; 0 or -1.
    int (*play)(uint32_t fromMs);
    void (*stop)();
    // Adds frames stereo frames of output into accumulator (interleaved,
    // 16-bit scale). Returns 1 when the piece reached its end in this call.
    int (*render)(int32_t* accumulator, int frames);
};

// Chooses the back end by name ("fluidsynth", the default, or "fake");
// false for an unknown name.
bool SelectMidiBackend(const char* name);
const MidiBackend& Midi();

// The soundfont the fluidsynth back end loads; empty when none is found.
std::string FindMidiSoundFont();

// Fake back end: what it was asked, and the length of every piece it opens.
struct FakeMidiStats {
    int opens;
    int closes;
    int plays;
    uint32_t lastFromMs;
    bool isOpen;
    bool playing;
    size_t openedBytes;      // size of the image last opened
    uint64_t renderedFrames; // frames rendered while playing, over all plays
};
void SetFakeMidiLengthMs(uint32_t ms);  // default 1000
FakeMidiStats GetFakeMidiStats();
void ResetFakeMidiStats();

}  // namespace morpotta::platform
