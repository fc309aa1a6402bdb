// Fuzz target for file reads through a resource archive: names of any bytes
// are opened, sized, read, sought and searched for through the archive-aware
// file functions, in an archive the input may damage. An input is the names
// (one a line, code page 932 bytes) up to a zero byte, then damage as
// three-byte steps (offset low, offset high, bits to flip) applied to a
// good archive "pack.dat" of a few members before it is written; each name
// is tried as "<archive's folder>\pack\<name>". A damaged archive is
// refused with a log line and its members are then looked for as plain
// files; nothing crashes, hangs or reads past what it has.
#include "engine/archive.h"
#include "engine/files.h"
#include "engine/log.h"
#include "fuzz_folder.h"
#include "foundation/subsystems.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace morpotta;

namespace {

constexpr const char* kKey = "fuzz";
constexpr size_t kMaxNames = 8;
constexpr size_t kReadLimit = 1 << 16;

std::string g_goodImage;
std::string g_folder;      // host path of the folder that holds the archive
std::string g_enginePack;  // the same folder as an engine path, with "\pack"

std::string GoodImage() {
    std::string packed(3000, 'a');
    for (size_t i = 0; i < packed.size(); i += 7) packed[i] = char('a' + i % 13);
    std::vector<ArchiveInput> members = {
        {"a.txt", "plain text member\r\n"},
        {"Sub\\b.bin", packed},
        {"\x8A\xBF\x8E\x9A\\\x95\x5C.png", std::string(40, '\x5C')},  // a folder and file named in kanji
        {"sub\\deeper\\empty", ""},
        {"UPPER.TXT", "upper"},
    };
    std::string image;
    if (BuildArchiveImage(members, kKey, &image) != 0) std::abort();
    return image;
}

void ReadWhole(FileHandle file) {
    std::vector<unsigned char> buffer(4096);
    size_t total = 0;
    while (total < kReadLimit) {
        size_t n = ReadFileStream(buffer.data(), 1, buffer.size(), file);
        if (n == 0) break;
        if (n > buffer.size()) std::abort();
        total += n;
    }
    int64_t end = TellFileStream(file);
    if (end >= 0 && SeekFileStream(file, end / 2, 0) == 0) ReadFileStream(buffer.data(), 3, 5, file);
    SeekFileStream(file, -1, 2);
    EofFileStream(file);
}

void TryName(const std::string& name) {
    const std::string path = g_enginePack + "\\" + name;
    if (FileHandle file = OpenFileStream(path.c_str(), 0, 1, 0)) {
        ReadWhole(file);
        CloseFileStream(file);
    }
    GetFileSizeByName(path.c_str());
    const FileAccessTable* table = GetFileAccessTable();
    FileFindData found;
    if (FileHandle search = table->findFirst(path.c_str(), &found)) {
        for (int i = 0; i < 64 && table->findNext(search, &found) == 0; ++i) {
        }
        table->findClose(search);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    // The working directory stays the fuzzer's: the archive is named by an
    // absolute engine path.
    g_folder = MakeFuzzFolder("fuzz-archive");
    g_enginePack = g_folder + "/pack";
    for (char& c : g_enginePack)
        if (c == '/') c = '\\';
    SetUseArchive(1);
    SetArchiveFileExtension("dat");
    SetArchiveKey(kKey);
    g_goodImage = GoodImage();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t zero = input.find('\0');
    const std::string names = input.substr(0, zero);
    std::string image = g_goodImage;
    if (zero != std::string::npos) {
        for (size_t at = zero + 1; at + 3 <= input.size(); at += 3) {
            size_t offset = (uint8_t(input[at]) | uint8_t(input[at + 1]) << 8) % image.size();
            image[offset] = char(image[offset] ^ input[at + 2]);
        }
    }
    FILE* file = std::fopen((g_folder + "/pack.dat").c_str(), "wb");
    if (!file || std::fwrite(image.data(), 1, image.size(), file) != image.size()) std::abort();
    std::fclose(file);
    subsystems::CloseArchives();  // the next open reads the file as written now
    size_t start = 0, tried = 0;
    while (start <= names.size() && tried++ < kMaxNames) {
        size_t end = names.find('\n', start);
        if (end == std::string::npos) end = names.size();
        TryName(names.substr(start, end - start));
        start = end + 1;
    }
    return 0;
}
