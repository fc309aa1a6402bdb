// Resource archives: files that stand in for a folder, scrambled with a key.
//
// Layout (all integers little-endian):
//   Header, 32 bytes, not scrambled:
//     0  "MPAK"
//     4  u16 version, 1
//     6  u16 header size, 32
//     8  u32 entry count
//     12 u64 directory offset
//     20 u32 directory size in bytes
//     24 u32 key check: the low 32 bits of Mix(seed ^ kKeyCheckSalt)
//     28 u32 CRC-32 of bytes 0-27
//   Member data from offset 32, each member's stored bytes in turn.
//   Directory, at its offset and ending exactly at the end of the file:
//     per entry: u16 name length (1-259), u16 flags (bit 0: the stored
//     bytes are one block of the engine's block codec), u64 offset, u64
//     stored size, u64 size, u32 CRC-32 of the member's contents, then the
//     name (code page 932, '\' between folders, no "." or ".." parts)
//     and finally u32 CRC-32 of all the entry bytes before it.
//   Everything after the header (member data and directory) is XORed with
//   the key stream: byte p of the file with byte (p mod 8) of
//   Mix(seed + (p / 8) * kGolden), where seed is the 64-bit FNV-1a hash of
//   the key string. The stream depends only on the position, so any part of
//   the file can be read on its own.
//   Mix is the SplitMix64 finaliser.
// Checks on open: magic, version, header CRC, key check, directory inside
// the file and after the header, directory CRC, every entry's data between
// the header and the directory, sizes consistent with the flags, names
// well formed and unique ignoring ASCII case.
#include "engine/archive.h"

#include "engine/files.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/text.h"
#include "foundation/crc32.h"
#include "foundation/public_call.h"

#include <algorithm>
#include <cstring>

using namespace morpotta;

namespace {

constexpr char kMagic[4] = {'M', 'P', 'A', 'K'};
constexpr uint16_t kVersion = 1;
constexpr size_t kEntryFixedSize = 32;
constexpr uint64_t kGolden = 0x9E3779B97F4A7C15ull;
constexpr uint64_t kKeyCheckSalt = 0x6B65792D63686B31ull;

uint64_t Mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint16_t Get16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Get32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t Get64(const unsigned char* p) { return uint64_t(Get32(p)) | uint64_t(Get32(p + 4)) << 32; }

void Put16(std::string& s, uint16_t v) {
    s.push_back(char(v & 0xFF));
    s.push_back(char(v >> 8));
}
void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
}
void Put64(std::string& s, uint64_t v) {
    Put32(s, uint32_t(v));
    Put32(s, uint32_t(v >> 32));
}

uint32_t KeyCheck(uint64_t seed) { return uint32_t(Mix(seed ^ kKeyCheckSalt)); }

// A member name is relative, has no empty, "." or ".." parts and no ':'.
bool IsValidMemberName(const std::string& name) {
    if (name.empty() || name.size() >= size_t(kMaxPathBytes)) return false;
    std::string part;
    auto partOk = [&]() { return !part.empty() && part != "." && part != ".."; };
    for (const char* p = name.c_str(); *p;) {
        if (IsMultiByteLeadByte(p)) {
            if (!p[1]) return false;  // a lead byte without its trail
            part.append(p, 2);
            p += 2;
            continue;
        }
        if (*p == '\\' || *p == '/') {
            if (!partOk()) return false;
            part.clear();
        } else if (*p == ':' || static_cast<unsigned char>(*p) < 0x20) {
            return false;
        } else {
            part.push_back(*p);
        }
        ++p;
    }
    return partOk();
}

int FailArchive(const char* why) { return Refuse("archive: %s", why); }
bool RefuseDirectory(const char* why) {
    FailArchive(why);
    return false;
}

bool ParseEntries(const unsigned char* p, size_t size, uint32_t count, uint64_t dataEnd, ArchiveDirectory* out) {
    size_t at = 0;
    out->entries.clear();
    out->entries.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        if (size - at < kEntryFixedSize) return RefuseDirectory("directory entry runs past the directory");
        ArchiveEntry e;
        uint16_t nameLength = Get16(p + at);
        e.flags = Get16(p + at + 2);
        e.offset = Get64(p + at + 4);
        e.storedSize = Get64(p + at + 12);
        e.size = Get64(p + at + 20);
        e.crc = Get32(p + at + 28);
        at += kEntryFixedSize;
        if (nameLength == 0 || nameLength > size - at) return RefuseDirectory("entry name runs past the directory");
        e.name.assign(reinterpret_cast<const char*>(p + at), nameLength);
        at += nameLength;
        if (!IsValidMemberName(e.name)) return RefuseDirectory("bad member name");
        if (e.flags & ~kArchiveMemberPacked) return RefuseDirectory("unknown member flags");
        if (e.offset < kArchiveHeaderSize || e.offset > dataEnd || e.storedSize > dataEnd - e.offset)
            return RefuseDirectory("member data outside the data area");
        bool packed = e.flags & kArchiveMemberPacked;
        if (!packed && e.storedSize != e.size) return RefuseDirectory("stored size differs from size");
        if (packed && (e.storedSize < 9 || e.size > 0xFFFFFFFFu)) return RefuseDirectory("bad packed member sizes");
        e.folded = FoldArchiveName(e.name);
        out->entries.push_back(std::move(e));
    }
    if (at != size) return RefuseDirectory("directory has trailing bytes");
    std::sort(out->entries.begin(), out->entries.end(),
              [](const ArchiveEntry& a, const ArchiveEntry& b) { return a.folded < b.folded; });
    for (size_t i = 1; i < out->entries.size(); ++i)
        if (out->entries[i].folded == out->entries[i - 1].folded) return RefuseDirectory("duplicate member name");
    return true;
}

}  // namespace

uint64_t ArchiveKeySeed(const char* key) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (const char* p = key ? key : ""; *p; ++p) {
        h ^= static_cast<unsigned char>(*p);
        h *= 0x100000001B3ull;
    }
    return h;
}

void ScrambleArchiveBytes(uint64_t seed, uint64_t position, unsigned char* data, size_t size) {
    const PublicCall call("ScrambleArchiveBytes");
    if (!data && size > 0) {
        RefuseNull("bytes");
        return;
    }
    size_t i = 0;
    while (i < size) {
        uint64_t p = position + i;
        uint64_t k = Mix(seed + (p >> 3) * kGolden);
        unsigned lane = unsigned(p & 7);
        if (lane == 0 && size - i >= 8) {
            uint64_t v;
            std::memcpy(&v, data + i, 8);
            v ^= k;  // the stream bytes are taken little-end first
            std::memcpy(data + i, &v, 8);
            i += 8;
            continue;
        }
        for (; lane < 8 && i < size; ++lane, ++i) data[i] ^= (unsigned char)(k >> (8 * lane));
    }
}

std::string FoldArchiveName(const std::string& name) {
    std::string folded;
    folded.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        if (IsMultiByteLeadByte(name.c_str() + i) && i + 1 < name.size()) {
            folded.append(name, i, 2);
            i += 2;
            continue;
        }
        char c = name[i++];
        if (c == '/') c = '\\';
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        folded.push_back(c);
    }
    return folded;
}

int ReadArchiveDirectory(const ArchiveReader& read, uint64_t fileSize, const char* key, ArchiveDirectory* out) {
    const PublicCall call("ReadArchiveDirectory");
    if (!out) return RefuseNull("directory");
    *out = {};
    if (!read) return RefuseNull("archive reader");
    unsigned char h[kArchiveHeaderSize];
    if (fileSize < kArchiveHeaderSize || !read(0, h, sizeof h)) return FailArchive("file shorter than the header");
    if (std::memcmp(h, kMagic, 4) != 0) return FailArchive("not an archive");
    if (Get16(h + 4) != kVersion || Get16(h + 6) != kArchiveHeaderSize) return FailArchive("unknown version");
    if (Get32(h + 28) != Crc32(h, 28)) return FailArchive("damaged header");
    out->seed = ArchiveKeySeed(key);
    if (Get32(h + 24) != KeyCheck(out->seed)) return FailArchive("wrong key");
    uint32_t count = Get32(h + 8);
    uint64_t dirOffset = Get64(h + 12);
    uint32_t dirSize = Get32(h + 20);
    if (dirOffset < kArchiveHeaderSize || dirOffset > fileSize || dirSize != fileSize - dirOffset)
        return FailArchive("directory outside the file");
    if (dirSize < 4 || count > (dirSize - 4) / (kEntryFixedSize + 1)) return FailArchive("directory too small");
    std::vector<unsigned char> dir(dirSize);
    if (!read(dirOffset, dir.data(), dir.size())) return FailArchive("directory cannot be read");
    ScrambleArchiveBytes(out->seed, dirOffset, dir.data(), dir.size());
    if (Get32(dir.data() + dirSize - 4) != Crc32(dir.data(), dirSize - 4)) return FailArchive("damaged directory");
    if (!ParseEntries(dir.data(), dirSize - 4, count, dirOffset, out)) {
        out->entries.clear();
        return -1;
    }
    return 0;
}

const ArchiveEntry* FindArchiveEntry(const ArchiveDirectory& directory, const std::string& name) {
    std::string key = FoldArchiveName(name);
    auto it = std::lower_bound(directory.entries.begin(), directory.entries.end(), key,
                               [](const ArchiveEntry& e, const std::string& k) { return e.folded < k; });
    return (it != directory.entries.end() && it->folded == key) ? &*it : nullptr;
}

unsigned char* ReadArchiveMember(const ArchiveReader& read, const ArchiveDirectory& directory,
                                 const ArchiveEntry& entry) {
    const PublicCall call("ReadArchiveMember");
    if (!read) return RefuseNull("archive reader"), nullptr;
    bool packed = entry.flags & kArchiveMemberPacked;
    if (entry.storedSize > SIZE_MAX - 1 || entry.size > SIZE_MAX - 1) {
        FailArchive("member too large");
        return nullptr;
    }
    auto* stored = static_cast<unsigned char*>(AllocMemory(size_t(entry.storedSize) + 1, "", 0));
    if (!stored) {
        FailArchive("no memory for a member");
        return nullptr;
    }
    if (!read(entry.offset, stored, size_t(entry.storedSize))) {
        FreeMemory(stored);
        FailArchive("member data cannot be read");
        return nullptr;
    }
    ScrambleArchiveBytes(directory.seed, entry.offset, stored, size_t(entry.storedSize));
    unsigned char* contents = stored;
    if (packed) {
        // The block's own header must agree with the entry before any
        // memory is set aside for the expansion.
        bool consistent = Get32(stored) == entry.size && uint64_t(Get32(stored + 4)) + 9 == entry.storedSize;
        contents = consistent ? static_cast<unsigned char*>(AllocMemory(size_t(entry.size) + 1, "", 0)) : nullptr;
        int64_t n = -1;
        if (contents) n = DecompressBlock(stored, size_t(entry.storedSize), contents, size_t(entry.size));
        FreeMemory(stored);
        if (n < 0 || uint64_t(n) != entry.size) {
            FreeMemory(contents);
            FailArchive("damaged packed member");
            return nullptr;
        }
    }
    if (Crc32(contents, size_t(entry.size)) != entry.crc) {
        FreeMemory(contents);
        Refuse("archive: damaged member %s", entry.name.c_str());
        return nullptr;
    }
    return contents;
}

int BuildArchiveImage(const std::vector<ArchiveInput>& members, const char* key, std::string* image) {
    const PublicCall call("BuildArchiveImage");
    if (!image) return RefuseNull("image");
    image->assign(kArchiveHeaderSize, '\0');
    uint64_t seed = ArchiveKeySeed(key);
    std::string directory;
    std::vector<std::string> seen;
    for (const ArchiveInput& m : members) {
        if (!IsValidMemberName(m.name)) return Refuse("archive: bad member name %s", m.name.c_str());
        std::string folded = FoldArchiveName(m.name);
        if (std::find(seen.begin(), seen.end(), folded) != seen.end())
            return Refuse("archive: duplicate member name %s", m.name.c_str());
        seen.push_back(folded);
        std::string name = m.name;
        std::replace(name.begin(), name.end(), '/', '\\');  // no trail byte is '/'
        uint16_t flags = 0;
        std::string stored = m.data;
        if (m.data.size() <= 0xFFFFFFFFu) {
            std::string block(CompressBlockBound(m.data.size()), '\0');
            int64_t n = CompressBlock(m.data.data(), m.data.size(), block.data(), block.size());
            if (n > 0 && uint64_t(n) < m.data.size()) {
                block.resize(size_t(n));
                stored = std::move(block);
                flags = kArchiveMemberPacked;
            }
        }
        uint64_t offset = image->size();
        ScrambleArchiveBytes(seed, offset, reinterpret_cast<unsigned char*>(stored.data()), stored.size());
        image->append(stored);
        Put16(directory, uint16_t(name.size()));
        Put16(directory, flags);
        Put64(directory, offset);
        Put64(directory, stored.size());
        Put64(directory, m.data.size());
        Put32(directory, Crc32(m.data.data(), m.data.size()));
        directory += name;
    }
    Put32(directory, Crc32(directory.data(), directory.size()));
    if (directory.size() > 0xFFFFFFFFu) return Refuse("archive: directory too large");
    uint64_t dirOffset = image->size();
    ScrambleArchiveBytes(seed, dirOffset, reinterpret_cast<unsigned char*>(directory.data()), directory.size());
    image->append(directory);
    std::string header(kMagic, 4);
    Put16(header, kVersion);
    Put16(header, uint16_t(kArchiveHeaderSize));
    Put32(header, uint32_t(members.size()));
    Put64(header, dirOffset);
    Put32(header, uint32_t(directory.size()));
    Put32(header, KeyCheck(seed));
    Put32(header, Crc32(header.data(), header.size()));
    image->replace(0, kArchiveHeaderSize, header);
    return 0;
}
