// A set of files stored durably is found whole, the previous one or the new
// one, after a kill at any step of its store and of the next start's
// settling; the settling leaves alone what is not its own.
#include "durable_kill.h"
#include "engine/files.h"
#include "engine/log.h"
#include "file_test_util.h"
#include "fsync_spy.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A replay-like set spread over two folders: six streams and a meta file
// under set/, and a record file in the working directory.
const std::vector<std::string> kPaths = {"set/t5_in.dat",     "set/t5_action.dat", "set/t5_slope.dat",
                                         "set/t5_analog.dat", "set/t5_mouse.dat",  "set/t5_keys.dat",
                                         "set/t5_meta.dat",   "record.dat"};

std::vector<std::string> Contents(uint32_t seed) {
    std::vector<std::string> contents;
    for (size_t i = 0; i < kPaths.size(); ++i) contents.push_back(PatternBytes(40 + 7 * i + seed % 5, seed + uint32_t(i)));
    contents[3] = "the same analog stream in both sets";
    contents[5].clear();  // an empty stream
    return contents;
}

const DurableFolder kFolders[] = {{"set", "t"}, {".", "record.dat"}};

class DurableSets : public ::testing::Test {
protected:
    void SetUp() override { SetLogOutput(0); }
    void TearDown() override { SetLogOutput(1); }

    // The files as they are: absent ones hold nothing and count as absent.
    std::vector<std::string> Found() const {
        std::vector<std::string> found;
        for (const std::string& path : kPaths)
            found.push_back(fs::exists(path) ? ScopedTempDir::ReadFile(path) : std::string("(absent)"));
        return found;
    }
    bool Leftovers() const {
        for (const char* folder : {"set", "."}) {
            for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
                const std::string name = e.path().filename().string();
                if (name.ends_with(".tmp") || name.ends_with(".commit")) return true;
            }
        }
        return false;
    }
    KillDriver Driver(const std::vector<std::string>& before, const std::vector<std::string>& after) {
        KillDriver d;
        d.putOldSet = [this, before] {
            fs::remove_all("set");
            fs::remove("record.dat");
            for (const char* leftover : {"record.dat.tmp", "record.dat.commit"}) fs::remove(leftover);
            fs::create_directory("set");
            for (size_t i = 0; i < kPaths.size(); ++i)
                if (before[i] != "(absent)") WriteHostFile(kPaths[i], before[i]);
        };
        d.store = [after] {
            std::vector<DurableFile> files;
            for (size_t i = 0; i < kPaths.size(); ++i) files.push_back({kPaths[i].c_str(), after[i].data(), after[i].size()});
            WriteFileSetDurably(files.data(), files.size());
        };
        d.settle = [] { FinishInterruptedWrites(kFolders, std::size(kFolders)); };
        d.read = [this, before, after] {
            const std::vector<std::string> found = Found();
            return found == before ? SetFound::Old : found == after ? SetFound::New : SetFound::Mixed;
        };
        d.leftovers = [this] { return Leftovers(); };
        return d;
    }
    ScopedTempDir dir_;
    SkippedFsyncs fast_;
};

TEST_F(DurableSets, AKillAtAnyStepOfTheStoreOrOfTheNextStartLeavesOneWholeSet) {
    const KillTally replaced = KillAtEveryStep(Driver(Contents(1), Contents(2)));
    // The first store of a set: before it, none of its files exist.
    const KillTally first = KillAtEveryStep(Driver(std::vector<std::string>(kPaths.size(), "(absent)"), Contents(3)));
    RecordProperty("cases", replaced.cases + first.cases);
    EXPECT_GT(replaced.cases + first.cases, 300);
    EXPECT_EQ(replaced.mixed + first.mixed, 0);
    EXPECT_GT(replaced.old, 0);
    EXPECT_GT(replaced.fresh, 0);
}

TEST_F(DurableSets, TheSettlingLeavesWhatIsNotItsOwnAndRefusesARecordTheFilesNoLongerMatch) {
    const std::vector<std::string> before = Contents(4), after = Contents(5);
    KillDriver d = Driver(before, after);
    d.putOldSet();
    {
        // Killed once the record was whole: the next start would finish it.
        StepStopper count(-1, -1);
        d.store();
        size_t firstRename = 0;
        while (count.steps[firstRename] != DurableStep::Rename) ++firstRename;
        d.putOldSet();
        StepStopper kill(int(firstRename), 0);
        d.store();
        ASSERT_TRUE(kill.stopped);
    }
    // Someone changes a temporary since: the set is not finished from it.
    WriteHostFile("set/t5_slope.dat.tmp", "changed by hand");
    // Files of the same folders that are not the store's own.
    WriteHostFile("notes.tmp", "a user's file");
    WriteHostFile("other.commit", "durable file set 1\nnot ours after all");
    WriteHostFile("set/readme.tmp", "not a replay name");
    EXPECT_EQ(FinishInterruptedWrites(kFolders, std::size(kFolders)), 0) << "no set finished";
    EXPECT_EQ(Found(), before) << "nothing renamed from a set that no longer matches its record";
    EXPECT_FALSE(fs::exists("set/t5_in.dat.tmp"));
    EXPECT_FALSE(fs::exists("set/t5_in.dat.commit"));
    for (const char* kept : {"notes.tmp", "other.commit", "set/readme.tmp"}) EXPECT_TRUE(fs::exists(kept)) << kept;

    // A path named twice, or holding a line feed, is refused before anything is written.
    const std::string bytes = "x";
    const DurableFile twice[] = {{"set/t5_in.dat", bytes.data(), 1}, {"./set/t5_in.dat", bytes.data(), 1}};
    EXPECT_EQ(WriteFileSetDurably(twice, 2), -1);
    const DurableFile lineFeed[] = {{"set/t5\nin.dat", bytes.data(), 1}};
    EXPECT_EQ(WriteFileSetDurably(lineFeed, 1), -1);
    EXPECT_NE(std::string(GetDurableWriteError()), "");
    EXPECT_EQ(Found(), before);
}

uint32_t CheckOf(const std::string& bytes, uLong crc = crc32(0L, Z_NULL, 0)) {
    return uint32_t(crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

// A record's line for a file of size bytes with that check value.
std::string FileLine(const std::string& path, int64_t size, uint32_t check) {
    char line[40];
    std::snprintf(line, sizeof line, "%lld %08x ", static_cast<long long>(size), check);
    return line + path + "\n";
}

// A whole commit record of these file lines, as the store writes it.
std::string Sealed(const std::string& lines) {
    const std::string text = "durable file set 1\n" + lines;
    char end[24];
    std::snprintf(end, sizeof end, "end %08x\n", CheckOf(text));
    return text + end;
}

// A whole record naming these files (path, bytes), whatever the paths are.
std::string RecordNaming(const std::vector<std::pair<std::string, std::string>>& files) {
    std::string lines;
    for (const auto& [path, bytes] : files) lines += FileLine(path, int64_t(bytes.size()), CheckOf(bytes));
    return Sealed(lines);
}

// The settling run from game/ with the folders set/ (names "t<n>.dat") and
// linked/, beside outside/, which holds a file x with a temporary that
// would replace it. Linked/ is a symbolic link to outside/.
class RecordsNamingOtherFiles : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(0);
        WriteHostFile("outside/x", "the file outside");
        WriteHostFile("outside/x.tmp", "what a record would put in its place");
        fs::create_directories("game/set");
        fs::create_directory_symlink("../outside", "game/linked");
        fs::current_path("game");
    }
    void TearDown() override { SetLogOutput(1); }

    // Settles, and gives the lines reported.
    std::vector<std::string> Settle(int expectFinished = 0) {
        static const DurableFolder folders[] = {{"set", "t", StoredName}, {"linked", "t"}, {".", "record.dat"}};
        EXPECT_EQ(FinishInterruptedWrites(folders, std::size(folders)), expectFinished);
        std::vector<std::string> lines;
        std::stringstream text(GetDurableWriteError());
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        return lines;
    }
    static int StoredName(const char* name) { return std::string(name).ends_with(".dat"); }
    static std::string Outside() {
        return ScopedTempDir::ReadFile("../outside/x") + "|" + ScopedTempDir::ReadFile("../outside/x.tmp");
    }

    ScopedTempDir dir_;
    SkippedFsyncs fast_;
};

TEST_F(RecordsNamingOtherFiles, ChangeNothingOutsideTheFoldersAndAreRemovedAndReported) {
    const std::string outside = Outside();
    const std::string absolute = fs::canonical("../outside/x").string();
    const std::vector<std::string> escapes = {absolute, "../outside/x", "set/../../outside/x", "set/tlink/x"};
    // A link to the outside folder under a stored name, inside a folder.
    fs::create_directory_symlink("../../outside", "set/tlink");
    for (size_t i = 0; i < escapes.size(); ++i) {
        // A set whose first file is its own, then the escape.
        const std::string first = "set/t" + std::to_string(i) + ".dat";
        WriteHostFile(first + ".tmp", "new");
        WriteHostFile(first + ".commit",
                      RecordNaming({{first, "new"}, {escapes[i], "what a record would put in its place"}}));
    }
    // A record in the folder that is a link leading out.
    WriteHostFile("../outside/t9.dat.commit", RecordNaming({{"linked/t9.dat", "y"}}));
    WriteHostFile("../outside/t9.dat.tmp", "y");

    const std::vector<std::string> lines = Settle();
    EXPECT_EQ(Outside(), outside);
    EXPECT_TRUE(fs::exists("../outside/t9.dat.commit") && fs::exists("../outside/t9.dat.tmp")) << "not followed";
    ASSERT_EQ(lines.size(), escapes.size() + 1);
    EXPECT_NE(lines[0].find("linked"), std::string::npos) << lines[0];
    for (size_t i = 0; i < escapes.size(); ++i) {
        const std::string record = "set/t" + std::to_string(i) + ".dat.commit";
        EXPECT_FALSE(fs::exists(record));
        EXPECT_NE(lines[i + 1].find(record + " is refused"), std::string::npos) << lines[i + 1];
        EXPECT_FALSE(fs::exists("set/t" + std::to_string(i) + ".dat")) << "nothing of a refused set is renamed";
    }
}

TEST_F(RecordsNamingOtherFiles, AnOversizedFileIsRefusedAndOnlyTheStoresTemporariesAreRemoved) {
    // A file one byte above the bound, with a record that matches it (a
    // sparse file of zeros): refused before it is read.
    const std::string zeros(1 << 20, '\0');
    uint32_t check = CheckOf("");
    for (int64_t at = 0; at < kMaxDurableFileBytes; at += int64_t(zeros.size())) check = CheckOf(zeros, check);
    check = CheckOf(std::string(1, '\0'), check);
    WriteHostFile("set/t1.dat.tmp", "");
    fs::resize_file("set/t1.dat.tmp", uint64_t(kMaxDurableFileBytes) + 1);
    WriteHostFile("set/t1.dat.commit", Sealed(FileLine("set/t1.dat", kMaxDurableFileBytes + 1, check)));
    // A whole set of the folders beside it is finished.
    WriteHostFile("set/t2.dat.tmp", "two");
    WriteHostFile("record.dat.tmp", "record");
    WriteHostFile("set/t2.dat.commit", RecordNaming({{"set/t2.dat", "two"}, {"record.dat", "record"}}));
    // Left-over temporaries: of stored names, and of a user's files.
    WriteHostFile("set/t3.dat.tmp", "cut short");
    for (const char* kept : {"set/tnotes.txt.tmp", "set/t3.dat.bak.tmp", "set/t4.dat.commit.tmp", "records.tmp"})
        WriteHostFile(kept, "a user's file");

    const std::vector<std::string> lines = Settle(1);
    ASSERT_EQ(lines.size(), 2u) << "the folder that leads out, and the record";
    EXPECT_NE(lines[1].find("set/t1.dat.commit is refused"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("larger"), std::string::npos) << lines[1];
    EXPECT_FALSE(fs::exists("set/t1.dat"));
    EXPECT_EQ(ScopedTempDir::ReadFile("set/t2.dat") + ScopedTempDir::ReadFile("record.dat"), "tworecord");
    for (const char* removed : {"set/t1.dat.tmp", "set/t3.dat.tmp", "set/t1.dat.commit", "set/t2.dat.commit"})
        EXPECT_FALSE(fs::exists(removed)) << removed;
    for (const char* kept : {"set/tnotes.txt.tmp", "set/t3.dat.bak.tmp", "set/t4.dat.commit.tmp", "records.tmp"})
        EXPECT_TRUE(fs::exists(kept)) << kept;
}

}  // namespace
