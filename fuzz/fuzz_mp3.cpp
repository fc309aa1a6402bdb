// Fuzz target for the MP3 reader and the MPEG audio codec behind it.
#include "sound_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzSoundReaders(data, size, ~(1 << 3));
}
