#include "output.h"

#include "engine/text.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

std::string OutputTree::HostPath(const std::string& gamePath) const {
    std::string relative = gamePath;
    for (char& c : relative) {
        if (c == '\\') c = '/';
    }
    return root_ + "/" + relative;
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
