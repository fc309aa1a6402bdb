// Fuzz target for the Ogg Vorbis reader.
#include "sound_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzSoundReaders(data, size, ~(1 << 2));
}
