// The host's audio output: one stream of interleaved signed 16-bit stereo
// frames pulled by a callback. The engine's sound device mixes into it.
// Back ends: sdl2 (the host's sound card through SDL's audio callback) and
// null (no sound card; a test advances its clock and reads what was mixed).
#pragma once
#include <cstdint>
#include <vector>

namespace platform {

// Fills frames stereo frames (2 x frames samples) at out. Called on the back
// end's audio thread (sdl2) or on the thread that advances the clock (null).
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

// Null back end: runs the callback for frames frames, as the sound card's
// clock would after frames / rate seconds; returns -1 while it is closed.
int AdvanceNullAudio(int frames);
// Keeps (or stops keeping) every mixed frame; switching it on clears what
// was kept.
void SetNullAudioCapture(bool on);
// Moves the kept samples (interleaved stereo) out and clears them.
std::vector<int16_t> TakeNullAudioCapture();
// The rate the null back end was opened with, 0 while closed.
int NullAudioRate();

}  // namespace platform
