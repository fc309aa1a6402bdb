// The resource archive format: reading and checking a directory, reading a
// member, and writing a whole archive (for the packer and tests). The
// layout is described at the top of engine/foundation/archive_format.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr size_t kArchiveHeaderSize = 32;
constexpr uint16_t kArchiveMemberPacked = 1;  // stored bytes are one codec block

struct ArchiveEntry {
    std::string name;    // code page 932, '\' between folders, as packed
    std::string folded;  // name with single-byte ASCII letters lowered: the lookup key
    uint16_t flags = 0;
    uint64_t offset = 0;
    uint64_t storedSize = 0;
    uint64_t size = 0;
    uint32_t crc = 0;
};

struct ArchiveDirectory {
    uint64_t seed = 0;                  // from the key
    std::vector<ArchiveEntry> entries;  // sorted by folded name
};

// Reads size bytes at offset; false when they cannot all be had.
using ArchiveReader = std::function<bool(uint64_t offset, void* buffer, size_t size)>;

uint64_t ArchiveKeySeed(const char* key);
// XORs the key stream for the given archive positions; its own inverse.
void ScrambleArchiveBytes(uint64_t seed, uint64_t position, unsigned char* data, size_t size);

// Reads and checks header and directory; -1 and a log line when the file is
// not an archive, is damaged or the key does not fit.
int ReadArchiveDirectory(const ArchiveReader& read, uint64_t fileSize, const char* key, ArchiveDirectory* out);

// The entry for a member name (either separator, any ASCII case), or null.
const ArchiveEntry* FindArchiveEntry(const ArchiveDirectory& directory, const std::string& name);

// A member's contents in tracked memory (caller frees with FreeMemory),
// checked against its CRC; null and a log line on any damage. A member of
// size 0 gives a 1-byte block.
unsigned char* ReadArchiveMember(const ArchiveReader& read, const ArchiveDirectory& directory,
                                 const ArchiveEntry& entry);

// Folds a member name into its lookup key: '/' becomes '\', single-byte
// ASCII letters are lowered, double-byte characters stay as they are.
std::string FoldArchiveName(const std::string& name);

struct ArchiveInput {
    std::string name;  // relative, code page 932, '\' or '/' between folders
    std::string data;
};

// A complete archive image. Members are packed with the block codec when
// that makes them smaller. -1 and a log line on a bad or duplicate name.
int BuildArchiveImage(const std::vector<ArchiveInput>& members, const char* key, std::string* image);
