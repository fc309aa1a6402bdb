// Fuzz target for the MIDI file check the sequencer runs before a file
// reaches the synthesiser: any bytes are judged within their bounds, and
// what passes has the header and a track chunk that fit.
#include "engine/log.h"
#include "sound/mci/mci.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace morpotta;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly size bytes, so that any read past the end is caught.
    auto* copy = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (!copy) return 0;
    if (size) std::memcpy(copy, data, size);
    if (IsPlayableMidiImage(copy, size) == 1 && (size < 22 || std::memcmp(copy, "MThd", 4) != 0)) std::abort();
    std::free(copy);
    return 0;
}
