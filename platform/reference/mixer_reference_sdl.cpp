// Reference mixer over SDL_mixer, for the sound benchmark. The mixing
// library opens an SDL audio device and mixes in that device's callback; to
// run its mix on demand, faster than real time, this file stands in for the
// SDL audio device calls it makes (the executable's definitions take
// precedence over the shared library's) and keeps the callback.
// Limits: one mixer; only for a benchmark program, never in the engine.
// Depends on: SDL2, SDL2_mixer.
#include "reference/mixer_reference.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <vector>

namespace {

SDL_AudioCallback mixerCallback = nullptr;
void* mixerUserData = nullptr;
std::vector<Mix_Chunk*> chunks;

}  // namespace

extern "C" {

SDL_AudioDeviceID SDL_OpenAudioDevice(const char*, int, const SDL_AudioSpec* desired, SDL_AudioSpec* obtained, int) {
    mixerCallback = desired->callback;
    mixerUserData = desired->userdata;
    if (obtained) {
        *obtained = *desired;
        if (obtained->samples == 0) obtained->samples = 1024;
        obtained->size = Uint32(obtained->samples) * obtained->channels * SDL_AUDIO_BITSIZE(obtained->format) / 8;
        obtained->silence = 0;
    }
    return 2;
}

void SDL_CloseAudioDevice(SDL_AudioDeviceID) {
    mixerCallback = nullptr;
    mixerUserData = nullptr;
}

void SDL_PauseAudioDevice(SDL_AudioDeviceID, int) {}
void SDL_LockAudioDevice(SDL_AudioDeviceID) {}
void SDL_UnlockAudioDevice(SDL_AudioDeviceID) {}
SDL_AudioStatus SDL_GetAudioDeviceStatus(SDL_AudioDeviceID) { return SDL_AUDIO_PLAYING; }

}  // extern "C"

namespace morpotta::platform {

bool OpenReferenceMixer(int rate, int channels) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    if (Mix_OpenAudioDevice(rate, AUDIO_S16SYS, 2, 1024, nullptr, 0) != 0) return false;
    Mix_AllocateChannels(channels);
    return mixerCallback != nullptr;
}

void CloseReferenceMixer() {
    Mix_HaltChannel(-1);
    for (Mix_Chunk* c : chunks) Mix_FreeChunk(c);
    chunks.clear();
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool PlayReferenceVoices(const int16_t* pcm, int frames, int voices) {
    for (int i = 0; i < voices; ++i) {
        Mix_Chunk* c = Mix_QuickLoad_RAW(reinterpret_cast<Uint8*>(const_cast<int16_t*>(pcm)), Uint32(frames) * 4);
        if (!c) return false;
        chunks.push_back(c);
        if (Mix_PlayChannel(i, c, -1) < 0) return false;
    }
    return true;
}

void RunReferenceMix(int16_t* out, int frames) {
    if (mixerCallback) mixerCallback(mixerUserData, reinterpret_cast<Uint8*>(out), frames * 4);
}

}  // namespace morpotta::platform
