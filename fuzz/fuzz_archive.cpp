// Fuzz target for the archive reader. Each input is tried twice: as it
// stands, and with its checksums and key check made right and everything
// after the header scrambled, so that the fuzzer reaches the directory and
// member checks behind them.
#include "engine/archive.h"
#include "engine/log.h"
#include "engine/memory.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

const char* kKey = "fuzz";

void Put32(std::string& s, size_t at, uint32_t v) { std::memcpy(s.data() + at, &v, 4); }
uint32_t Get32(const std::string& s, size_t at) {
    uint32_t v;
    std::memcpy(&v, s.data() + at, 4);
    return v;
}
uint64_t Get64(const std::string& s, size_t at) {
    uint64_t v;
    std::memcpy(&v, s.data() + at, 8);
    return v;
}

void TryArchive(const std::string& image) {
    ArchiveReader reader = [&image](uint64_t offset, void* buffer, size_t size) {
        if (offset > image.size() || size > image.size() - offset) return false;
        if (size > 0) std::memcpy(buffer, image.data() + offset, size);
        return true;
    };
    ArchiveDirectory directory;
    if (ReadArchiveDirectory(reader, image.size(), kKey, &directory) != 0) return;
    for (const ArchiveEntry& e : directory.entries) {
        if (e.size > (4u << 20)) continue;  // keep single runs small
        FreeMemory(ReadArchiveMember(reader, directory, e));
        FindArchiveEntry(directory, e.name);
    }
}

// Fills in what a fuzzer cannot guess: the key check, the directory CRC
// and the header CRC; then scrambles the body as the packer would.
std::string MakePlausible(const uint8_t* data, size_t size) {
    std::string image(reinterpret_cast<const char*>(data), size);
    if (size < kArchiveHeaderSize) return image;
    uint64_t seed = ArchiveKeySeed(kKey);
    std::string probe;
    BuildArchiveImage({}, kKey, &probe);
    Put32(image, 24, Get32(probe, 24));
    uint64_t dirOffset = Get64(image, 12);
    uint32_t dirSize = Get32(image, 20);
    if (dirOffset >= kArchiveHeaderSize && dirOffset <= size && dirSize >= 4 && dirSize == size - dirOffset) {
        uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(image.data() + dirOffset), dirSize - 4));
        Put32(image, size_t(dirOffset + dirSize - 4), crc);
    }
    ScrambleArchiveBytes(seed, kArchiveHeaderSize, reinterpret_cast<unsigned char*>(image.data()) + kArchiveHeaderSize,
                         size - kArchiveHeaderSize);
    Put32(image, 28, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(image.data()), 28)));
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TryArchive(std::string(reinterpret_cast<const char*>(data), size));
    TryArchive(MakePlausible(data, size));
    return 0;
}
