// Whole-file reads by wide path.
#include "model/base/whole_file.h"

#include <cstring>
#include <string>
#include <vector>

#include "engine/memory.h"
#include "engine/text.h"
#include "model/base/graphics_services.h"
#include "model/base/memory_chain.h"

namespace morpotta {

namespace {

constexpr size_t kMaxPathBytes932 = 512;

// The path, then its file name alone when it has a folder part.
std::vector<std::string> Candidates(const std::string& path, bool tryBareName) {
    std::vector<std::string> out = {path};
    if (!tryBareName) return out;
    size_t cut = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (IsMultiByteLeadByte(&path[i]) && i + 1 < path.size()) {
            ++i;  // a trail byte 0x5C is no separator
            continue;
        }
        if (c == '\\' || c == '/' || c == ':') cut = i;
    }
    if (cut != std::string::npos) out.push_back(path.substr(cut + 1));
    return out;
}

FileHandle OpenFirst(const FileAccessTable* files, const std::vector<std::string>& candidates) {
    for (const std::string& candidate : candidates)
        if (FileHandle file = files->open(candidate.c_str(), 0, 1, 0)) return file;
    return 0;
}

}  // namespace

int LoadWholeFile(const char* path932, void** dataOut, size_t* sizeOut, bool tryBareName) {
    const FileAccessTable* files = GetModelFileAccessTable();
    if (!files || !path932 || std::strlen(path932) >= kMaxPathBytes932) return -1;
    FileHandle file = OpenFirst(files, Candidates(path932, tryBareName));
    if (!file) return -1;
    int64_t size = -1;
    if (files->seek(file, 0, 2) == 0) size = files->tell(file);
    if (size < 0 || size > (int64_t(1) << 31) || files->seek(file, 0, 0) != 0) {
        files->close(file);
        return -1;
    }
    void* data = AllocModelMemory(size_t(size) + 1);
    if (!data || files->read(data, 1, size_t(size), file) != size_t(size)) {
        FreeMemory(data);
        files->close(file);
        return -1;
    }
    files->close(file);
    if (dataOut) *dataOut = data;
    else FreeMemory(data);
    if (sizeOut) *sizeOut = size_t(size);
    return 0;
}

int LoadWholeFileW(const char16_t* path, void** dataOut, size_t* sizeOut) {
    std::string path932;
    if (!path || !ConvertUtf16ToCp932(std::u16string(path), &path932)) return -1;
    return LoadWholeFile(path932.c_str(), dataOut, sizeOut, true);
}

std::string DescribeWholeFileCandidatesW(const char16_t* path) {
    std::string path932, text;
    if (!path || !ConvertUtf16ToCp932(std::u16string(path), &path932)) return text;
    for (const std::string& candidate : Candidates(path932, true)) text += (text.empty() ? "" : ", ") + candidate;
    return text;
}

}  // namespace morpotta
