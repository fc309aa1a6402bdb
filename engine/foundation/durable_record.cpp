#include "foundation/durable_record.h"

#include "foundation/crc32.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace morpotta {

namespace {

constexpr char kRecordMagic[] = "durable store record 2\n";

// A decimal field of at most 18 digits, with a '-' before it when allowed.
bool ParseNumber(const std::string& field, bool negative, int64_t* out) {
    const bool minus = negative && field.size() > 1 && field[0] == '-';
    const std::string digits = field.substr(minus ? 1 : 0);
    if (digits.empty() || digits.size() > 18 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    *out = std::stoll(digits) * (minus ? -1 : 1);
    return true;
}

bool ParseCheck(const std::string& field, uint32_t* out) {
    if (!IsTag(field)) return false;
    *out = uint32_t(std::stoul(field, nullptr, 16));
    return true;
}

// "<set> <tag> <size> <check> <size> <check> <path>", one space between
// fields; the path is the rest of the line.
bool ParseFileLine(const std::string& line, RecordedFile* file) {
    std::vector<std::string> fields;
    size_t at = 0;
    while (fields.size() < 6) {
        const size_t space = line.find(' ', at);
        if (space == std::string::npos) return false;
        fields.push_back(line.substr(at, space - at));
        at = space + 1;
    }
    int64_t set = 0;
    file->path = line.substr(at);
    file->tag = fields[1];
    return ParseNumber(fields[0], false, &set) && set < (int64_t(1) << 31) && IsTag(file->tag) &&
           ParseNumber(fields[2], false, &file->fresh.size) && ParseCheck(fields[3], &file->fresh.check) &&
           ParseNumber(fields[4], true, &file->previous.size) && file->previous.size >= -1 &&
           ParseCheck(fields[5], &file->previous.check) && !file->path.empty() && (file->set = uint32_t(set), true);
}

}  // namespace

std::string RecordText(const std::vector<RecordedFile>& files) {
    std::string text = kRecordMagic;
    char line[96];
    for (const RecordedFile& file : files) {
        std::snprintf(line, sizeof line, "%" PRIu32 " %s %" PRId64 " %08" PRIx32 " %" PRId64 " %08" PRIx32 " ", file.set,
                      file.tag.c_str(), file.fresh.size, file.fresh.check, file.previous.size, file.previous.check);
        text += line + file.path + '\n';
    }
    std::snprintf(line, sizeof line, "end %08" PRIx32 "\n", Crc32(text.data(), text.size()));
    return text + line;
}

bool IsOurRecord(const std::string& text) {
    const size_t n = std::min(text.size(), sizeof kRecordMagic - 1);
    return text.compare(0, n, kRecordMagic, n) == 0;
}

RecordRead ParseRecord(const std::string& text, std::vector<RecordedFile>* files) {
    files->clear();
    const size_t magic = sizeof kRecordMagic - 1;
    if (text.compare(0, magic, kRecordMagic) != 0) return RecordRead::CutShort;
    bool foreign = false;
    for (size_t at = magic; at < text.size();) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) return RecordRead::CutShort;
        const std::string line = text.substr(at, end - at);
        if (line.compare(0, 4, "end ") == 0) {
            char expected[16];
            std::snprintf(expected, sizeof expected, "end %08" PRIx32, Crc32(text.data(), at));
            if (line != expected || end + 1 != text.size()) return RecordRead::CutShort;
            return foreign || files->empty() ? RecordRead::Foreign : RecordRead::Whole;
        }
        RecordedFile file;
        if (ParseFileLine(line, &file)) files->push_back(std::move(file));
        else foreign = true;
        at = end + 1;
    }
    return RecordRead::CutShort;
}

int64_t LargestRecord(const DurableStore& store) {
    size_t folder = 0;
    for (size_t f = 0; f < store.folderCount; ++f)
        folder = std::max(folder, store.folders[f].folder ? std::strlen(store.folders[f].folder) : 0);
    // A line: the set, the tag, two sizes and check values of 19 bytes at
    // most, the path (its folder, '/', a name of up to 255 bytes) and the
    // spaces and line feed.
    const int64_t line = 10 + 1 + 8 + 1 + 2 * (19 + 1 + 8 + 1) + int64_t(folder) + 1 + 255 + 1;
    return int64_t(sizeof kRecordMagic) + int64_t(kMaxRecordedSets * store.maxFiles) * line + 16;
}

}  // namespace morpotta
