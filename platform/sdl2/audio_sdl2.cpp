// SDL2 audio back end: stands in for the sound card under the engine's own
// software sound device. Opens the default output device for signed 16-bit
// stereo at the asked rate (SDL converts to whatever the card takes) and
// lets SDL's audio thread pull the mixed frames.
// Limits: one output device, the default one; no capture.
// When no sound server answers, SDL probes ALSA, which reports each failed
// probe on stderr through its own error handler; those reports are dropped
// (the engine logs once that it runs without sound).
// Depends on: SDL2 (audio subsystem); ALSA's library when present.
#include "sdl2/audio_sdl2.h"
#include "platform/warning.h"

#include <SDL.h>
#include <dlfcn.h>

namespace morpotta::platform {
namespace {

void IgnoreAlsaReport(const char*, int, const char*, int, const char*, ...) {}

// Installs the silent handler in the one copy of ALSA's library that SDL
// loads too. The library stays loaded, so the handler stays in place.
void QuietAlsaProbing() {
    static bool done = false;
    if (done) return;
    done = true;
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!alsa) return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"))) set(IgnoreAlsaReport);
}

SDL_AudioDeviceID device = 0;
AudioCallback userCallback = nullptr;
void* userData = nullptr;

void SDLCALL Pull(void*, Uint8* stream, int length) {
    userCallback(userData, reinterpret_cast<int16_t*>(stream), length / 4);
}

int OpenAudio(int rate, AudioCallback callback, void* user) {
    if (device || rate <= 0 || !callback) {
        Warn(device ? "the audio output is open already" : "audio output at %d Hz without a callback cannot open", rate);
        return -1;
    }
    QuietAlsaProbing();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        Warn("no audio service: %s", SDL_GetError());
        return -1;
    }
    userCallback = callback;
    userData = user;
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = Pull;
    SDL_AudioSpec have{};
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!device) {
        Warn("no audio output device opens: %s", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        userCallback = nullptr;
        return -1;
    }
    SDL_PauseAudioDevice(device, 0);
    return 0;
}

void CloseAudio() {
    if (!device) return;
    SDL_CloseAudioDevice(device);
    device = 0;
    userCallback = nullptr;
    userData = nullptr;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void EnumerateDevices(AudioDeviceVisitor visit, void* context) {
    if (!visit) return;
    bool started = SDL_WasInit(SDL_INIT_AUDIO) == 0;
    QuietAlsaProbing();
    if (started && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
    const char* driver = SDL_GetCurrentAudioDriver();
    int count = SDL_GetNumAudioDevices(0);
    for (int i = 0; i < count; ++i) {
        const char* name = SDL_GetAudioDeviceName(i, 0);
        visit(context, driver ? driver : "", name ? name : "");
    }
    if (started) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace

const AudioBackend kSdl2AudioBackend = {"sdl2", OpenAudio, CloseAudio, EnumerateDevices};

}  // namespace morpotta::platform
