// Plays a WAV file (or, without an argument, a generated one-second tone)
// through the engine's sound system and the host's audio output, to check
// by ear that sound reaches the speakers.
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/sound.h"
#include "sound/sound_internal.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

using namespace morpotta;

namespace {

std::vector<uint8_t> ToneWave() {
    const int rate = 44100;
    std::vector<int16_t> pcm(rate * 2);
    for (int i = 0; i < rate; ++i) {
        double fade = i < rate - 2205 ? 1.0 : (rate - i) / 2205.0;
        auto s = int16_t(std::lround(8000.0 * fade * std::sin(2.0 * M_PI * 440.0 * i / rate)));
        pcm[size_t(i) * 2] = pcm[size_t(i) * 2 + 1] = s;
    }
    const WAVEFORMATEX format{1, 2, uint32_t(rate), uint32_t(rate) * 4, 4, 16, 0};
    std::vector<uint8_t> wave(46 + pcm.size() * 2);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&wave[at], &v, 4); };
    std::memcpy(&wave[0], "RIFF", 4);
    put32(4, uint32_t(wave.size() - 8));
    std::memcpy(&wave[8], "WAVEfmt ", 8);
    put32(16, 18);
    std::memcpy(&wave[20], &format, 18);
    std::memcpy(&wave[38], "data", 4);
    put32(42, uint32_t(pcm.size() * 2));
    std::memcpy(&wave[46], pcm.data(), pcm.size() * 2);
    return wave;
}

}  // namespace

int main(int argc, char** argv) {
    SetLogOutput(0);
    if (InitializeSoundSystem() != 0) {
        std::fprintf(stderr, "soundprobe: no audio output could be opened\n");
        return 1;
    }
    int handle;
    if (argc > 1) {
        handle = LoadSoundFile(argv[1], 1);
    } else {
        std::vector<uint8_t> wave = ToneWave();
        handle = CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1);
    }
    if (handle < 0) {
        std::fprintf(stderr, "soundprobe: the sound could not be loaded\n");
        TerminateSoundSystem();
        return 1;
    }
    std::printf("playing %d ms\n", GetSoundTotalTime(handle));
    PlaySoundHandle(handle, kPlayTypeBack, 1);
    while (IsSoundPlaying(handle) == 1) {
        RefillStreamSounds();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    TerminateSoundSystem();
    return 0;
}
