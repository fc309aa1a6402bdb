// Fuzz target for the block codec: any bytes as a block must decode or be
// refused within bounds, and any bytes must survive a round trip.
#include "engine/files.h"
#include "engine/log.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int64_t expanded = DecompressBlock(data, size, nullptr, 0);
    if (expanded >= 0 && expanded <= (16 << 20)) {
        std::vector<unsigned char> out(static_cast<size_t>(expanded));
        int64_t n = DecompressBlock(data, size, out.data(), out.size());
        if (n >= 0 && n != expanded) std::abort();
    }
    std::vector<unsigned char> block(CompressBlockBound(size));
    int64_t packed = CompressBlock(data, size, block.data(), block.size());
    if (packed < 0) std::abort();
    std::vector<unsigned char> back(size + 1);
    if (DecompressBlock(block.data(), size_t(packed), back.data(), back.size()) != int64_t(size)) std::abort();
    if (size > 0 && std::memcmp(back.data(), data, size) != 0) std::abort();
    return 0;
}
