// Fuzz target for the two WAV readers, PCM and compressed.
#include "sound_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzSoundReaders(data, size, ~0x3);
}
