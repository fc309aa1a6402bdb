#include "output.h"

#include "engine/text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

// The game spells some folders in two cases ("mapBlock3D", "mapblock3D");
// its file layer matches names ignoring case, so each folder is made once
// and later spellings reuse it.
std::string OutputTree::HostPath(const std::string& gamePath) const {
    std::filesystem::path at = root_;
    size_t start = 0;
    while (start <= gamePath.size()) {
        size_t end = gamePath.find('\\', start);
        bool last = end == std::string::npos;
        std::string part = gamePath.substr(start, last ? std::string::npos : end - start);
        std::filesystem::path next = at / part;
        std::error_code ec;
        if (!last) {
            for (const auto& entry : std::filesystem::directory_iterator(at, ec)) {
                std::string name = entry.path().filename().string();
                if (name.size() == part.size() &&
                    std::equal(name.begin(), name.end(), part.begin(), [](char a, char b) {
                        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                    })) {
                    next = entry.path();
                    break;
                }
            }
        }
        at = next;
        if (last) break;
        start = end + 1;
    }
    return at.string();
}

bool OutputTree::WriteBytes(const std::string& gamePath, const void* data, size_t size) {
    std::filesystem::path path = HostPath(gamePath);
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), std::streamsize(size));
    out.close();
    if (!out) {
        std::fprintf(stderr, "content_generator: cannot write %s\n", path.c_str());
        failed_ = true;
        return false;
    }
    ++filesWritten_;
    return true;
}

bool OutputTree::WriteText(const std::string& gamePath, const std::string& utf8) {
    std::string bytes = ToCp932(utf8);
    return WriteBytes(gamePath, bytes.data(), bytes.size());
}

std::string ToCp932(const std::string& utf8) {
    std::string out;
    if (!ConvertUtf8ToCp932(utf8, &out)) {
        std::fprintf(stderr, "content_generator: text without a CP932 form: %s\n", utf8.c_str());
        std::abort();
    }
    return out;
}
