// A program that starts the engine in its working folder, with its audio
// output open and a sound playing, and ends without ShutdownEngine:
// "return" returns 0 from main, "exit" calls exit(1) as a program does
// after a load error. Run by the lifecycle tests in a process of its own.
#include "engine/engine.h"
#include "wave_writer.h"

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    SetDoubleStartCheck(0);
    if (InitializeEngine() != 0) return 3;
    const std::vector<uint8_t> wave = wavewriter::MakeWave(std::vector<uint8_t>(44100 * 4, 0x40), 44100, 2, 16);
    const int sound = CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1);
    if (sound == -1 || PlaySoundHandle(sound, kPlayTypeLoop) != 0) return 4;
    if (std::strcmp(argv[1], "exit") == 0) std::exit(1);
    return 0;
}
