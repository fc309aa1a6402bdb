// Fuzz target for the commit record of a durable store, the start-up's
// settling of it and the stores that follow, on a scratch folder of its
// own:
//     outside/         x, x.tmp, t1.dat, empty: files no store may touch
//     elsewhere/       where linked leads (a folder moved to another disk)
//     game/            the working directory, with x and x.tmp of its own;
//                      the store's record is game/store.commit
//       set/           a folder settled (names "t<...>.dat"): t1.dat with its
//                      new copy in its temporary t1.dat.<tag>.tmp, a user's
//                      tnotes.txt.tmp, another copy's t1.dat.0badc0de.tmp, a
//                      sub-folder sub/ with t1.dat and its temporary, tlink,
//                      a link to outside/, and t8.dat, a link to outside/x
//       more/          a folder settled (any name): m.dat, new copy in its temporary
//       linked         a folder given that is a link to elsewhere/
// The input is the record, each '@' in it standing for the scratch
// folder's absolute path and each '#' for the tag of the program's
// temporaries. An input that begins with 'P' has a plant byte next: two
// bits for each of set/t1.dat's temporary, set/t1.dat, more/m.dat's
// temporary and more/m.dat, lowest first, put there in place of the file:
// 1 a hard link to a file outside, 2 a symbolic link to one, 3 a folder.
// What follows (or the whole input) that begins with 'S' is the record's
// lines after its first one, made whole here (its first line and its end
// line added), so that a changed path still reaches the checks of a whole
// record. After the settling the program stores set/t1.dat and more/m.dat,
// a store killed between its two renames, and stores them again, a store
// that finishes the first one before anything else. Whatever the record
// says and whatever was planted, the files outside are unchanged and no
// file is added there, the links stand, the user's file and the other
// copy's temporary stay, a record of ours that stays is reported, and once
// no record stands the two files hold one generation: the one before the
// stores, the first store's or the second's.
// The working directory is game/ only while an input runs, so that the
// fuzzer's own paths (the corpus, the findings) keep the directory it was
// started in.
#include "engine/files.h"
#include "engine/log.h"
#include "foundation/durable_rules.h"
#include "foundation/durable.h"
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
#include <set>
#include <sstream>
#include <string>

using namespace morpotta;

namespace {

namespace fs = std::filesystem;

// The new copies' bytes, as the seeds record them (tools/fuzz_seeds).
constexpr const char* kNewOne = "new one";
constexpr const char* kNewTwo = "new two";
constexpr const char kMagic[] = "durable store record 2\n";
constexpr const char* kOtherCopys = "set/t1.dat.0badc0de.tmp";

std::string g_root;
fs::path g_started;
std::map<std::string, std::string> g_untouched;  // path from game/: bytes
std::map<std::string, std::string> g_links;      // path from game/: target
std::set<std::string> g_outsideNames;
std::string g_tag;  // of the program's temporaries

const DurableFolder kFolders[] = {
    {"set", "t", [](const char* name) { return int(std::string(name).ends_with(".dat")); }},
    {"more", ""},
    {"linked", "t"}};
const DurableStore kStore{kFolders, std::size(kFolders), 4, 4096, "store.commit"};

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

std::set<std::string> NamesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

uint32_t Crc(const std::string& bytes) {
    return uint32_t(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

std::string RecordOf(std::string text) {
    const bool seal = !text.empty() && text[0] == 'S';
    if (seal) text.erase(0, 1);
    for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + g_root.size()))
        text.replace(at, 1, g_root);
    for (size_t at = text.find('#'); at != std::string::npos; at = text.find('#', at + g_tag.size()))
        text.replace(at, 1, g_tag);
    if (!seal) return text;
    text = kMagic + text;
    if (text.back() != '\n') text += '\n';
    char end[24];
    std::snprintf(end, sizeof end, "end %08" PRIx32 "\n", Crc(text));
    return text + end;
}

// The files of every run as they were before it, with what the plant byte
// puts in place of the set's files and temporaries.
std::string Temporary(const std::string& path) { return path + "." + g_tag + ".tmp"; }

void PutFolders(uint8_t plants) {
    for (const char* folder : {"set", "more", "../elsewhere"})
        for (const std::string& name : NamesIn(folder))
            if (name != "sub" && name != "tlink" && name != "t8.dat" && name != "tnotes.txt.tmp")
                fs::remove_all(std::string(folder) + "/" + name);
    const std::pair<std::string, const char*> files[] = {{Temporary("set/t1.dat"), kNewOne},
                                                         {"set/t1.dat", "old one"},
                                                         {Temporary("more/m.dat"), kNewTwo},
                                                         {"more/m.dat", "old two"}};
    for (const auto& [path, bytes] : files) {
        const int plant = plants & 3;
        plants >>= 2;
        const std::string outside = g_root + (plant == 1 ? "/outside/x" : "/outside/x.tmp");
        if (plant == 1) fs::create_hard_link(outside, path);
        else if (plant == 2) fs::create_symlink(outside, path);
        else if (plant == 3) fs::create_directory(path);
        else Put(path, bytes);
    }
    Put("../elsewhere/t1.dat", "old elsewhere");
    Put(Temporary("../elsewhere/t1.dat"), kNewOne);
    Put(kOtherCopys, kNewOne);
    Put("set/tnotes.txt.tmp", "a user's file");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    g_root = fs::canonical(MakeFuzzFolder("fuzz-commit")).string();
    for (const char* folder : {"/outside", "/elsewhere", "/game/set/sub", "/game/more"})
        fs::create_directories(g_root + folder);
    g_started = fs::current_path();
    InGameFolder inGame;
    g_tag = WorkingTag();
    g_untouched = {{"../outside/x", "outside"},          {"../outside/x.tmp", "over outside"},
                   {"../outside/t1.dat", "outside one"}, {"../outside/t1.dat.tmp", kNewOne},
                   {"../outside/empty", ""},             {"x", "beside the folders"},
                   {"x.tmp", "over beside"},             {"set/sub/t1.dat", "below a folder"},
                   {Temporary("set/sub/t1.dat"), kNewOne}};
    for (const auto& [path, bytes] : g_untouched) Put(path, bytes);
    g_outsideNames = NamesIn("../outside");
    g_links = {{"set/tlink", "../../outside"}, {"set/t8.dat", "../../outside/x"}, {"linked", "../elsewhere"}};
    for (const auto& [path, target] : g_links) fs::create_symlink(target, path);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InGameFolder inGame;
    std::string input(reinterpret_cast<const char*>(data), size);
    uint8_t plants = 0;
    if (input.size() >= 2 && input[0] == 'P') {
        plants = uint8_t(input[1]);
        input.erase(0, 2);
    }
    PutFolders(plants);
    const std::string record = RecordOf(input);
    Put("store.commit", record);
    FinishInterruptedWrites(&kStore);
    // A record of ours (or the first bytes of one) that stays is reported.
    const size_t n = std::min(record.size(), sizeof kMagic - 1);
    if (record.compare(0, n, kMagic, n) == 0 && fs::exists(fs::symlink_status("store.commit")))
        Check(GetDurableProblemCount() > 0, "a record kept unreported");
    // The program stores the set, whatever the settling left, and is killed
    // between the two renames; it stores the set again in its next run.
    const std::string before = Get("set/t1.dat") + "|" + Get("more/m.dat");
    const std::string first[] = {"first one", "first two"}, again[] = {"stored one", "stored two"};
    for (const std::string* bytes : {first, again}) {
        int renames = 0;
        if (bytes == first)
            SetDurableStepHook([&](DurableStep step, const std::string& path) -> int64_t {
                return step == DurableStep::Rename && path != kStore.record && ++renames == 2 ? 0 : -1;
            });
        const DurableFile set[] = {{"set/t1.dat", bytes[0].data(), bytes[0].size()},
                                   {"more/m.dat", bytes[1].data(), bytes[1].size()}};
        WriteFileSetDurably(&kStore, set, std::size(set));
        SetDurableStepHook(nullptr);
    }
    if (!fs::exists(fs::symlink_status("store.commit"))) {
        const std::string after = Get("set/t1.dat") + "|" + Get("more/m.dat");
        Check(after == before || after == first[0] + "|" + first[1] || after == again[0] + "|" + again[1],
              "a set left mixed:", after);
    }

    for (const auto& [path, bytes] : g_untouched) Check(Get(path) == bytes, "changed:", path);
    Check(NamesIn("../outside") == g_outsideNames, "a file added or removed outside");
    for (const auto& [path, target] : g_links) {
        std::error_code error;
        Check(fs::read_symlink(path, error) == target, "link changed:", path);
    }
    Check(Get("set/tnotes.txt.tmp") == "a user's file", "a user's file removed");
    Check(Get(kOtherCopys) == kNewOne, "another copy's temporary changed");
    fs::remove("store.commit");
    return 0;
}
