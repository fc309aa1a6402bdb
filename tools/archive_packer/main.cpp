// archive_packer: packs a folder into a resource archive with a key, and
// lists, extracts and verifies one.
//   archive_packer pack <folder> <archive> [--key KEY]
//   archive_packer list <archive> [--key KEY]
//   archive_packer extract <archive> <folder> [--key KEY]
//   archive_packer verify <archive> [<folder>] [--key KEY]
// verify reads every member back (checking its CRC) and, given a folder,
// compares the members with the folder's files one for one.
#include "archive_io.h"

#include "engine/log.h"
#include "engine/text.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: archive_packer pack <folder> <archive> [--key KEY]\n"
                 "       archive_packer list <archive> [--key KEY]\n"
                 "       archive_packer extract <archive> <folder> [--key KEY]\n"
                 "       archive_packer verify <archive> [<folder>] [--key KEY]\n");
    return 2;
}

int Pack(const fs::path& folder, const fs::path& archive, const std::string& key) {
    std::vector<ArchiveInput> members;
    if (!CollectFolder(folder, &members)) return 1;
    std::string image;
    if (BuildArchiveImage(members, key.c_str(), &image) != 0) {
        std::fprintf(stderr, "cannot build the archive\n");
        return 1;
    }
    if (!WriteHostFile(archive, image)) {
        std::fprintf(stderr, "cannot write %s\n", archive.string().c_str());
        return 1;
    }
    std::printf("packed %zu files into %s (%zu bytes)\n", members.size(), archive.string().c_str(), image.size());
    return 0;
}

bool Open(const fs::path& archive, const std::string& key, std::string* image, ArchiveDirectory* directory) {
    if (!ReadHostFile(archive, image)) {
        std::fprintf(stderr, "cannot read %s\n", archive.string().c_str());
        return false;
    }
    if (!OpenArchiveImage(*image, key.c_str(), directory)) {
        std::fprintf(stderr, "%s is damaged, not an archive, or the key is wrong\n", archive.string().c_str());
        return false;
    }
    return true;
}

int List(const fs::path& archive, const std::string& key) {
    std::string image;
    ArchiveDirectory directory;
    if (!Open(archive, key, &image, &directory)) return 1;
    for (const ArchiveEntry& e : directory.entries) {
        std::string utf8;
        if (!ConvertCp932ToUtf8(e.name, &utf8)) utf8 = e.name;
        std::printf("%12llu %12llu %s %s\n", (unsigned long long)e.size, (unsigned long long)e.storedSize,
                    (e.flags & kArchiveMemberPacked) ? "packed" : "stored", utf8.c_str());
    }
    return 0;
}

int Extract(const fs::path& archive, const fs::path& folder, const std::string& key) {
    std::string image;
    ArchiveDirectory directory;
    if (!Open(archive, key, &image, &directory)) return 1;
    for (const ArchiveEntry& e : directory.entries) {
        std::string contents;
        fs::path target;
        if (!ReadMemberFromImage(image, directory, e, &contents) || !MemberHostPath(folder, e.name, &target)) {
            std::fprintf(stderr, "damaged member %s\n", e.name.c_str());
            return 1;
        }
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        if (!WriteHostFile(target, contents)) {
            std::fprintf(stderr, "cannot write %s\n", target.string().c_str());
            return 1;
        }
    }
    std::printf("extracted %zu files\n", directory.entries.size());
    return 0;
}

int Verify(const fs::path& archive, const fs::path& folder, const std::string& key) {
    std::string image;
    ArchiveDirectory directory;
    if (!Open(archive, key, &image, &directory)) return 1;
    std::map<std::string, std::string> expected;
    if (!folder.empty()) {
        std::vector<ArchiveInput> members;
        if (!CollectFolder(folder, &members)) return 1;
        for (auto& m : members) expected[FoldArchiveName(m.name)] = std::move(m.data);
    }
    int bad = 0;
    for (const ArchiveEntry& e : directory.entries) {
        std::string contents;
        if (!ReadMemberFromImage(image, directory, e, &contents)) {
            std::fprintf(stderr, "damaged member %s\n", e.name.c_str());
            ++bad;
            continue;
        }
        if (folder.empty()) continue;
        auto it = expected.find(e.folded);
        if (it == expected.end() || it->second != contents) {
            std::fprintf(stderr, "differs from the folder: %s\n", e.name.c_str());
            ++bad;
        }
        if (it != expected.end()) expected.erase(it);
    }
    for (const auto& missing : expected) {
        std::fprintf(stderr, "missing from the archive: %s\n", missing.first.c_str());
        ++bad;
    }
    if (bad) return 1;
    std::printf("%zu members verified\n", directory.entries.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    SetLogOutput(0);
    std::vector<std::string> args;
    std::string key;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--key") == 0) {
            if (++i >= argc) return Usage();
            key = argv[i];
        } else {
            args.push_back(argv[i]);
        }
    }
    if (args.empty()) return Usage();
    const std::string& command = args[0];
    if (command == "pack" && args.size() == 3) return Pack(args[1], args[2], key);
    if (command == "list" && args.size() == 2) return List(args[1], key);
    if (command == "extract" && args.size() == 3) return Extract(args[1], args[2], key);
    if (command == "verify" && (args.size() == 2 || args.size() == 3))
        return Verify(args[1], args.size() == 3 ? fs::path(args[2]) : fs::path(), key);
    return Usage();
}
