// The host's audio output: one stream of interleaved signed 16-bit stereo
// frames pulled by a callback. The engine's sound device mixes into it.
// Back ends: sdl2 (the host's sound card through SDL's audio callback) and
// null (no sound card: it mixes as time passes, or, held for a test, when
// the test advances its clock; what was mixed can be read back).
#pragma once
#include <cstdint>
#include <vector>

namespace morpotta::platform {

// Fills frames stereo frames (2 x frames samples) at out. Called on the back
// end's audio thread (sdl2, and null unless held), or on the thread that
// advances a held null clock.
using AudioCallback = void (*)(void* user, int16_t* out, int frames);
// Called once per output device found: a module (driver) name and a
// description.
using AudioDeviceVisitor = void (*)(void* context, const char* module, const char* description);

struct AudioBackend {
    const char* name;
    // Opens the output at rate Hz (stereo, 16-bit) and starts pulling; 0 or -1.
    int (*open)(int rate, AudioCallback callback, void* user);
    void (*close)();
    void (*enumerateDevices)(AudioDeviceVisitor visit, void* context);
};

// Chooses the back end by name ("sdl2" or "null"); false for an unknown name.
bool SelectAudioBackend(const char* name);
const AudioBackend& Audio();

// Null back end. On: the outputs opened from now on keep their clock still
// until AdvanceNullAudio moves it, so a test mixes exactly what it asks
// for. Off (the default): an output runs the callback on a thread of its
// own as real time passes, as a sound card would.
void UseManualNullAudioClock(bool on);
// Runs the callback for frames frames, as the sound card's clock would
// after frames / rate seconds; -1 while closed or while its clock follows
// real time.
int AdvanceNullAudio(int frames);
// Keeps (or stops keeping) every mixed frame; switching it on clears what
// was kept.
void SetNullAudioCapture(bool on);
// Moves the kept samples (interleaved stereo) out and clears them.
std::vector<int16_t> TakeNullAudioCapture();
// The rate the null back end was opened with, 0 while closed.
int NullAudioRate();

}  // namespace morpotta::platform
