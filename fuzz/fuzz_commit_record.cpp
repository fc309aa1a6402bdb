// Fuzz target for the record of a durable set, the settling of it and the
// stores that follow, on a scratch folder of its own:
//     outside/         x, x.tmp, t1.dat, its temporary, empty: files no store
//                      may touch, in a folder no store takes
//     elsewhere/       where linked leads (a folder moved to another disk):
//                      t1.dat and its temporary
//     game/            the working directory, with x and a temporary of its
//                      own, no folder of the store
//       set/           a folder of the store (names "t<...>.dat"): t1.dat
//                      with its new copy in its temporary, a user's
//                      tnotes.txt.tmp and tnotes.txt.<id>.tmp, a sub-folder
//                      sub/ with t1.dat and its temporary, tlink, a link to
//                      outside/, and t8.dat, a link to outside/x
//       more/          a folder of the store (any name): m.dat, its new copy
//                      in its temporary
//       linked         a folder of the store given as a link to elsewhere/
// The temporaries are of the set whose id the record's name carries,
// "store.<id>.commit". The input is the record's text, in which each of
// $ & ^ ~ | ! stands for the "<device> <inode>" of set/, more/, elsewhere/,
// outside/, set/sub/ and game/, and # for the set's id. Before it, in this
// order and each optional: 'P' and a plant byte, two bits for each of
// set/t1.dat's temporary, set/t1.dat, more/m.dat's temporary and more/m.dat,
// lowest first, put there in place of the file (1 a hard link to a file
// outside, 2 a symbolic link to one, 3 a folder); 'C' and a byte naming the
// folders the record's copies stand in (bits: set/, more/, elsewhere/,
// game/; set/ and more/ without it); 'S', for a text of file lines made
// whole here (the record's first line and its end line added), so that a
// changed line still reaches the checks of a whole record. After the
// settling the program stores set/t1.dat and more/m.dat, a store killed
// between its two renames, and stores them again: a store that finishes the
// first one before anything else. Whatever the record says and whatever was
// planted, the files outside the store's folders are unchanged and none is
// added there, the links stand, the user's files stay, a record that stays
// either names a folder this store does not take or is reported, and once
// no record stands the two files hold one generation: the one before the
// stores, the first store's or the second's.
// The working directory is game/ only while an input runs, so that the
// fuzzer's own paths (the corpus, the findings) keep the directory it was
// started in.
#include "engine/files.h"
#include "engine/log.h"
#include "foundation/durable.h"
#include "fuzz_folder.h"

#include <sys/stat.h>
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
constexpr const char kMagic[] = "durable store record 3\n";
constexpr const char* kId = "5eedf00d5eedf00d";
// The folders a record's copy may stand in, by the bits of the 'C' byte.
constexpr const char* kCopyFolders[] = {"set", "more", "linked", "."};

std::string g_root;
fs::path g_started;
std::map<std::string, std::string> g_untouched;  // path from game/: bytes
std::map<std::string, std::string> g_links;      // path from game/: target
std::set<std::string> g_outsideNames;
std::map<char, std::string> g_places;  // placeholder: "<device> <inode>"
std::set<durable::Place> g_taken;      // the store's folders, where they lead

const DurableFolder kFolders[] = {
    {"set", "t", [](const char* name) { return int(std::string(name).ends_with(".dat")); }},
    {"more", ""},
    {"linked", "t"}};
const DurableStore kStore{kFolders, std::size(kFolders), 4, 4096};

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

durable::Place PlaceOf(const std::string& folder) {
    struct stat st {};
    Check(::stat(folder.c_str(), &st) == 0, "cannot look at", folder);
    return {uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

uint32_t Crc(const std::string& bytes) {
    return uint32_t(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

std::string RecordOf(const std::string& input) {
    const bool seal = !input.empty() && input[0] == 'S';
    std::string text;
    for (char c : input.substr(seal ? 1 : 0)) {
        const auto place = g_places.find(c);
        text += place != g_places.end() ? place->second : c == '#' ? std::string(kId) : std::string(1, c);
    }
    if (!seal) return text;
    text = kMagic + text;
    if (text.back() != '\n') text += '\n';
    char end[24];
    std::snprintf(end, sizeof end, "end %08" PRIx32 "\n", Crc(text));
    return text + end;
}

std::string Temporary(const std::string& path) { return path + "." + kId + ".tmp"; }

// The files of every run as they were before it, with what the plant byte
// puts in place of the set's files and temporaries.
void PutFolders(uint8_t plants) {
    const std::set<std::string> kept = {"sub", "tlink", "t8.dat", "tnotes.txt.tmp", Temporary("tnotes.txt")};
    for (const char* folder : {"set", "more", "../elsewhere"})
        for (const std::string& name : NamesIn(folder))
            if (!kept.count(name)) fs::remove_all(std::string(folder) + "/" + name);
    for (const std::string& name : NamesIn("."))
        if (name.ends_with(".commit")) fs::remove_all(name);
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
}

// Whether a copy of a record stands in one of the store's folders.
bool ARecordStands() {
    for (const char* folder : {"set", "more", "linked"})
        for (const std::string& name : NamesIn(folder))
            if (name.ends_with(".commit")) return true;
    return false;
}

// A record that stays names a folder the store does not take, or the
// settling reported why it stays.
void CheckStaying(const std::string& record) {
    bool stays = false;
    for (int k = 0; k < 3; ++k) stays = stays || fs::exists(fs::symlink_status(std::string(kCopyFolders[k]) + "/store." + kId + ".commit"));
    if (!stays) return;
    std::vector<durable::RecordedFile> files;
    bool elsewhere = false;
    if (durable::ParseRecord(record, &files))
        for (const durable::RecordedFile& file : files) elsewhere = elsewhere || !g_taken.count(file.folder);
    Check(elsewhere || GetDurableProblemCount() > 0, "a record kept unreported");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    g_root = fs::canonical(MakeFuzzFolder("fuzz-commit")).string();
    for (const char* folder : {"/outside", "/elsewhere", "/game/set/sub", "/game/more"})
        fs::create_directories(g_root + folder);
    g_started = fs::current_path();
    InGameFolder inGame;
    g_untouched = {{"../outside/x", "outside"},          {"../outside/x.tmp", "over outside"},
                   {"../outside/t1.dat", "outside one"}, {Temporary("../outside/t1.dat"), kNewOne},
                   {"../outside/empty", ""},             {"x", "beside the folders"},
                   {Temporary("x"), "over beside"},      {"set/sub/t1.dat", "below a folder"},
                   {Temporary("set/sub/t1.dat"), kNewOne}, {"set/tnotes.txt.tmp", "a user's file"},
                   {Temporary("set/tnotes.txt"), "a user's other file"}};
    for (const auto& [path, bytes] : g_untouched) Put(path, bytes);
    g_outsideNames = NamesIn("../outside");
    g_links = {{"set/tlink", "../../outside"}, {"set/t8.dat", "../../outside/x"}, {"linked", "../elsewhere"}};
    for (const auto& [path, target] : g_links) fs::create_symlink(target, path);
    const std::pair<char, const char*> places[] = {{'$', "set"},     {'&', "more"},    {'^', "../elsewhere"},
                                                   {'~', "../outside"}, {'|', "set/sub"}, {'!', "."}};
    for (const auto& [mark, folder] : places) {
        const durable::Place place = PlaceOf(folder);
        g_places[mark] = std::to_string(place.first) + " " + std::to_string(place.second);
    }
    g_taken = {PlaceOf("set"), PlaceOf("more"), PlaceOf("linked")};
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InGameFolder inGame;
    ReleaseDurableFolders();  // each input is a run of its own, which settles the folders it takes
    std::string input(reinterpret_cast<const char*>(data), size);
    uint8_t plants = 0, copies = 3;
    if (input.size() >= 2 && input[0] == 'P') {
        plants = uint8_t(input[1]);
        input.erase(0, 2);
    }
    if (input.size() >= 2 && input[0] == 'C') {
        copies = uint8_t(input[1]);
        input.erase(0, 2);
    }
    PutFolders(plants);
    const std::string record = RecordOf(input);
    for (int k = 0; k < 4; ++k)
        if (copies & (1 << k)) Put(std::string(kCopyFolders[k]) + "/store." + kId + ".commit", record);
    FinishInterruptedWrites(&kStore);
    CheckStaying(record);
    // The program stores the set, whatever the settling left, and is killed
    // between the two renames; it stores the set again in its next run.
    const std::string before = Get("set/t1.dat") + "|" + Get("more/m.dat");
    const std::string first[] = {"first one", "first two"}, again[] = {"stored one", "stored two"};
    for (const std::string* bytes : {first, again}) {
        int renames = 0;
        if (bytes == first)
            SetDurableStepHook([&](DurableStep step, const std::string& path) -> int64_t {
                return step == DurableStep::Rename && !path.ends_with(".commit") && ++renames == 2 ? 0 : -1;
            });
        const DurableFile set[] = {{"set/t1.dat", bytes[0].data(), bytes[0].size()},
                                   {"more/m.dat", bytes[1].data(), bytes[1].size()}};
        WriteFileSetDurably(&kStore, set, std::size(set));
        SetDurableStepHook(nullptr);
    }
    if (!ARecordStands()) {
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
    return 0;
}
