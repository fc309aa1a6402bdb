#include "archive_io.h"

#include "engine/memory.h"
#include "engine/text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

bool ReadHostFile(const fs::path& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    *bytes = ss.str();
    return !in.bad();
}

bool WriteHostFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

bool CollectFolder(const fs::path& folder, std::vector<ArchiveInput>* members) {
    std::error_code ec;
    std::vector<fs::path> files;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file()) files.push_back(it->path());
    if (ec) {
        std::fprintf(stderr, "cannot walk %s: %s\n", folder.string().c_str(), ec.message().c_str());
        return false;
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::string relative = file.lexically_relative(folder).generic_string();
        ArchiveInput member;
        if (!ConvertUtf8ToCp932(relative, &member.name)) {
            std::fprintf(stderr, "name has no code page 932 form: %s\n", relative.c_str());
            return false;
        }
        std::replace(member.name.begin(), member.name.end(), '/', '\\');  // '/' is never a trail byte
        if (!ReadHostFile(file, &member.data)) {
            std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
            return false;
        }
        members->push_back(std::move(member));
    }
    return true;
}

namespace {

ArchiveReader ImageReader(const std::string& image) {
    return [&image](uint64_t offset, void* buffer, size_t size) {
        if (offset > image.size() || size > image.size() - offset) return false;
        if (size > 0) std::memcpy(buffer, image.data() + offset, size);
        return true;
    };
}

}  // namespace

bool OpenArchiveImage(const std::string& image, const char* key, ArchiveDirectory* directory) {
    return ReadArchiveDirectory(ImageReader(image), image.size(), key, directory) == 0;
}

bool ReadMemberFromImage(const std::string& image, const ArchiveDirectory& directory, const ArchiveEntry& entry,
                         std::string* contents) {
    unsigned char* data = ReadArchiveMember(ImageReader(image), directory, entry);
    if (!data) return false;
    contents->assign(reinterpret_cast<const char*>(data), size_t(entry.size));
    FreeMemory(data);
    return true;
}

bool MemberHostPath(const fs::path& folder, const std::string& name, fs::path* out) {
    std::string slashed = name;
    for (size_t i = 0; i < slashed.size(); i += IsMultiByteLeadByte(slashed.c_str() + i) ? 2 : 1)
        if (slashed[i] == '\\') slashed[i] = '/';
    std::string utf8;
    if (!ConvertCp932ToUtf8(slashed, &utf8)) return false;
    // The reader refused empty, "." and ".." parts, so this stays inside.
    *out = folder / fs::path(utf8);
    return true;
}
