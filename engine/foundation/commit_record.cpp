#include "foundation/commit_record.h"

#include "foundation/crc32.h"
#include "platform/files.h"

#include <zlib.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace morpotta {

namespace {

constexpr char kRecordMagic[] = "durable file set 1\n";
constexpr const char* kFromWord = "from ";
// The longest working directory a record names.
constexpr size_t kMaxFromBytes = 4096;

// "<size> <check> <path>", each field after exactly one space.
bool ParseFileLine(const std::string& line, RecordedFile* file) {
    const size_t first = line.find(' ');
    if (first == std::string::npos || first == 0 || first > 18 || line.size() < first + 11 || line[first + 9] != ' ')
        return false;
    int64_t size = 0;
    for (size_t i = 0; i < first; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
        size = size * 10 + (line[i] - '0');
    }
    uint32_t check = 0;
    for (size_t i = first + 1; i < first + 9; ++i) {
        const char c = line[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        check = check << 4 | uint32_t(digit);
    }
    file->size = size;
    file->check = check;
    file->path = line.substr(first + 10);
    return true;
}

}  // namespace

bool HoldsRecordedBytes(int descriptor, int64_t size, const RecordedFile& expected) {
    const platform::FileSystemBackend& fs = platform::Files();
    if (size != expected.size) return false;
    uLong crc = crc32(0L, Z_NULL, 0);
    std::vector<Bytef> piece(size_t(1) << 18);
    for (int64_t at = 0; at < expected.size; at += int64_t(piece.size())) {
        const size_t want = size_t(std::min<int64_t>(int64_t(piece.size()), expected.size - at));
        if (fs.readAt(descriptor, piece.data(), want, at) != int64_t(want)) return false;
        crc = crc32(crc, piece.data(), uInt(want));
    }
    return uint32_t(crc) == expected.check;
}

std::string RecordText(const std::string& from, const std::vector<RecordedFile>& files) {
    std::string text = kRecordMagic;
    // One the record cannot hold is left out: others then read the record as their own, as before.
    if (!from.empty() && from.size() <= kMaxFromBytes && from.find('\n') == std::string::npos)
        text += kFromWord + from + '\n';
    char line[64];
    for (const RecordedFile& file : files) {
        std::snprintf(line, sizeof line, "%" PRId64 " %08" PRIx32 " ", file.size, file.check);
        text += line + file.path + '\n';
    }
    std::snprintf(line, sizeof line, "end %08" PRIx32 "\n", Crc32(text.data(), text.size()));
    return text + line;
}

bool IsOurRecord(const std::string& text) {
    const size_t n = std::min(text.size(), sizeof kRecordMagic - 1);
    return text.compare(0, n, kRecordMagic, n) == 0;
}

bool ParseRecord(const std::string& text, std::string* from, std::vector<RecordedFile>* files) {
    files->clear();
    from->clear();
    const size_t magic = sizeof kRecordMagic - 1;
    if (text.compare(0, magic, kRecordMagic) != 0) return false;
    size_t at = magic;
    const size_t word = std::strlen(kFromWord);
    if (text.compare(at, word, kFromWord) == 0) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) return false;
        *from = text.substr(at + word, end - at - word);
        if (from->empty() || (*from)[0] != '/') return false;
        at = end + 1;
    }
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) return false;
        const std::string line = text.substr(at, end - at);
        if (line.compare(0, 4, "end ") == 0) {
            char expected[16];
            std::snprintf(expected, sizeof expected, "end %08" PRIx32, Crc32(text.data(), at));
            return line == expected && end + 1 == text.size() && !files->empty();
        }
        RecordedFile file;
        if (!ParseFileLine(line, &file)) return false;
        files->push_back(std::move(file));
        at = end + 1;
    }
    return false;
}

int64_t LargestRecord(const DurableStore& store) {
    size_t folder = 0;
    for (size_t f = 0; f < store.folderCount; ++f)
        folder = std::max(folder, store.folders[f].folder ? std::strlen(store.folders[f].folder) : 0);
    // A line: 18 digits of size at most, the check value, the path (its
    // folder, '/', a name of up to 255 bytes) and the spaces and line feed.
    const int64_t line = 18 + 1 + 8 + 1 + int64_t(folder) + 1 + 255 + 1;
    const int64_t from = int64_t(std::strlen(kFromWord) + kMaxFromBytes + 1);
    return int64_t(sizeof kRecordMagic) + from + int64_t(store.maxFiles) * line + 16;
}

}  // namespace morpotta
