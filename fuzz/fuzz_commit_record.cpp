// Fuzz target for the commit record of a durable set and the start-up's
// settling of it, on a scratch folder of its own:
//     outside/         x, x.tmp, t1.dat, t1.dat.tmp: files no record may touch
//     game/            the working directory, with x and x.tmp of its own
//       set/           a folder settled (names "t<...>.dat"): t1.dat with its
//                      new copy in t1.dat.tmp, a user's tnotes.txt.tmp, a
//                      sub-folder sub/ with t1.dat and t1.dat.tmp, tlink, a
//                      link to outside/, and t8.dat, a link to outside/x
//       more/          a folder settled (any name): m.dat, new copy m.dat.tmp
//       linked         a folder given that is a link to outside/
// The input is the record found as game/set/t1.dat.commit, each '@' in it
// standing for the scratch folder's absolute path. An input that begins
// with 'S' is the record's file lines alone, made whole here (its first
// line and its end line added), so that a changed path still reaches the
// checks of a whole record. Whatever the record says, every step of the
// settling (a rename, a removal, a folder flush) is inside set/ or more/,
// the files outside them are unchanged, the user's file stays, and a record
// of ours that stays is reported.
// The working directory is game/ only while an input runs, so that the
// fuzzer's own paths (the corpus, the findings) keep the directory it was
// started in.
#include "engine/files.h"
#include "engine/log.h"
#include "foundation/file_write_steps.h"
#include "fuzz_folder.h"

#include <zlib.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// The new copies' bytes, as the seeds record them (tools/fuzz_seeds).
constexpr const char* kNewOne = "new one";
constexpr const char* kNewTwo = "new two";
constexpr const char kMagic[] = "durable file set 1\n";

std::string g_root;
fs::path g_started, g_set, g_more;
std::map<std::string, std::string> g_untouched;  // path from game/: bytes
std::map<std::string, std::string> g_links;      // path from game/: target

void Check(bool ok, const char* what, const std::string& path = "") {
    if (ok) return;
    std::fprintf(stderr, "fuzz_commit_record: %s %s\n", what, path.c_str());
    std::error_code error;
    fs::current_path(g_started, error);  // where the finding is to be written
    std::abort();
}

// The working directory is game/ while it lives.
struct InGameFolder {
    InGameFolder() { fs::current_path(g_root + "/game"); }
    ~InGameFolder() { fs::current_path(g_started); }
};

void Put(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    Check(bool(out), "cannot write", path);
}

std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return in ? bytes.str() : "(absent)";
}

// The folder a step acts in: the step's own path for a folder flush, else
// the folder holding the file it renames or removes.
bool InSettledFolder(DurableStep step, const std::string& path) {
    const fs::path absolute = (fs::current_path() / path).lexically_normal();
    const fs::path folder = step == DurableStep::SyncFolder ? absolute : absolute.parent_path();
    std::error_code error;
    const fs::path resolved = fs::canonical(folder, error);
    return !error && (folder == g_set || folder == g_more) && resolved == folder;
}

uint32_t Crc(const std::string& bytes) {
    return uint32_t(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

std::string RecordOf(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    const bool seal = !text.empty() && text[0] == 'S';
    if (seal) text.erase(0, 1);
    for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + g_root.size()))
        text.replace(at, 1, g_root);
    if (!seal) return text;
    text = kMagic + text;
    if (text.back() != '\n') text += '\n';
    char end[24];
    std::snprintf(end, sizeof end, "end %08" PRIx32 "\n", Crc(text));
    return text + end;
}

// The files of every run as they were before it.
void PutFolders() {
    Put("set/t1.dat", "old one");
    Put("set/t1.dat.tmp", kNewOne);
    Put("more/m.dat", "old two");
    Put("more/m.dat.tmp", kNewTwo);
    Put("set/tnotes.txt.tmp", "a user's file");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    g_root = fs::canonical(MakeFuzzFolder("fuzz-commit")).string();
    fs::create_directories(g_root + "/outside");
    fs::create_directories(g_root + "/game/set/sub");
    fs::create_directories(g_root + "/game/more");
    g_started = fs::current_path();
    InGameFolder inGame;
    g_set = fs::canonical("set");
    g_more = fs::canonical("more");
    g_untouched = {{"../outside/x", "outside"},           {"../outside/x.tmp", "over outside"},
                   {"../outside/t1.dat", "outside one"},  {"../outside/t1.dat.tmp", kNewOne},
                   {"x", "beside the folders"},           {"x.tmp", "over beside"},
                   {"set/sub/t1.dat", "below a folder"},  {"set/sub/t1.dat.tmp", kNewOne}};
    for (const auto& [path, bytes] : g_untouched) Put(path, bytes);
    g_links = {{"set/tlink", "../../outside"}, {"set/t8.dat", "../../outside/x"}, {"linked", "../outside"}};
    for (const auto& [path, target] : g_links) fs::create_symlink(target, path);
    SetDurableStepHook([](DurableStep step, const std::string& path) -> int64_t {
        Check(InSettledFolder(step, path), "a step outside the folders settled:", path);
        return -1;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InGameFolder inGame;
    PutFolders();
    const std::string record = RecordOf(data, size);
    Put("set/t1.dat.commit", record);
    static const DurableFolder folders[] = {
        {"set", "t", [](const char* name) { return int(std::string(name).ends_with(".dat")); }},
        {"more", ""},
        {"linked", "t"}};
    FinishInterruptedWrites(folders, std::size(folders));

    for (const auto& [path, bytes] : g_untouched) Check(Get(path) == bytes, "changed:", path);
    for (const auto& [path, target] : g_links) {
        std::error_code error;
        Check(fs::read_symlink(path, error) == target, "link changed:", path);
    }
    Check(Get("set/tnotes.txt.tmp") == "a user's file", "a user's file removed");
    // A record of ours (or the first bytes of one) that stays is reported.
    const bool ours = record.compare(0, std::min(record.size(), sizeof kMagic - 1), kMagic,
                                     std::min(record.size(), sizeof kMagic - 1)) == 0;
    if (ours && fs::exists("set/t1.dat.commit"))
        Check(std::strstr(GetDurableWriteError(), "set/t1.dat.commit") != nullptr, "a record kept unreported");
    fs::remove("set/t1.dat.commit");
    return 0;
}
