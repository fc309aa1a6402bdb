// A set of files stored durably is found whole, the previous one or the new
// one, after a kill at any step of its store and of the next start's
// settling, and after a store that stood unsettled and the stores that
// follow it; the settling leaves alone what is not its own, nor what a
// folder it cannot open now may count on; what the writer takes the
// settling finishes, in the folders it opened, and no planted file or link
// makes either write or rename outside them. A replaced file keeps its
// permissions.
#include "durable_kill.h"
#include "engine/files.h"
#include "engine/log.h"
#include "file_test_util.h"
#include "fsync_spy.h"
#include "scoped_temp_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <functional>
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
const DurableStore kStore{kFolders, std::size(kFolders), 8, 4096};

int StoreSet(const std::vector<std::string>& contents) {
    std::vector<DurableFile> files;
    for (size_t i = 0; i < kPaths.size(); ++i) files.push_back({kPaths[i].c_str(), contents[i].data(), contents[i].size()});
    return WriteFileSetDurably(&kStore, files.data(), files.size());
}

// A store whose third rename fails, as on a disk error, once its record is
// whole: the other files hold their new copies, the third its previous one.
int StoreUnsettled(const std::vector<std::string>& contents) {
    Fsyncs().failRename = "t5_slope.dat";
    const int result = StoreSet(contents);
    Fsyncs().failRename.clear();
    return result;
}

// The problems the last settling reported, each "<kind> <record> <file>: <reason>".
std::vector<std::string> Problems() {
    std::vector<std::string> lines;
    DurableProblem p;
    for (int i = 0; GetDurableProblem(i, &p) == 0; ++i)
        lines.push_back(std::to_string(p.kind) + " " + p.record + " " + p.file + ": " + p.reason);
    return lines;
}

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
        d.store = [after] { StoreSet(after); };
        d.settle = [] { FinishInterruptedWrites(&kStore); };
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
    EXPECT_EQ(FinishInterruptedWrites(&kStore), 0) << "no set finished";
    EXPECT_EQ(Found(), before) << "nothing renamed from a set that no longer matches its record";
    EXPECT_FALSE(fs::exists("set/t5_in.dat.tmp"));
    EXPECT_FALSE(fs::exists("set/t5_in.dat.commit"));
    for (const char* kept : {"notes.tmp", "other.commit", "set/readme.tmp"}) EXPECT_TRUE(fs::exists(kept)) << kept;

    // A path named twice, or holding a line feed, is refused before anything is written.
    const std::string bytes = "x";
    const DurableFile twice[] = {{"set/t5_in.dat", bytes.data(), 1}, {"./set/t5_in.dat", bytes.data(), 1}};
    EXPECT_EQ(WriteFileSetDurably(&kStore, twice, 2), -1);
    const DurableFile lineFeed[] = {{"set/t5\nin.dat", bytes.data(), 1}};
    EXPECT_EQ(WriteFileSetDurably(&kStore, lineFeed, 1), -1);
    EXPECT_NE(std::string(GetDurableWriteError()), "");
    EXPECT_EQ(Found(), before);
}

TEST_F(DurableSets, EveryLaterStoreFirstFinishesASetThatWasStoredButNotSettled) {
    const std::vector<std::string> before = Contents(6), first = Contents(7), second = Contents(8);
    std::vector<std::string> halfway = first;
    halfway[2] = before[2];
    // The first set stands unsettled; the later store is killed at every
    // step, the settling of the start after it too.
    KillDriver d = Driver(first, second);
    d.putOldSet = [putBefore = Driver(before, first).putOldSet, first, halfway, this] {
        putBefore();
        EXPECT_EQ(StoreUnsettled(first), kDurableStoredUnsettled);
        EXPECT_EQ(Found(), halfway);
    };
    const KillTally tally = KillAtEveryStep(d);
    EXPECT_EQ(tally.mixed, 0);
    EXPECT_GT(tally.old, 0);
    EXPECT_GT(tally.fresh, 0);

    // While the first set cannot be finished (a temporary of it cannot be
    // read now), a later store writes nothing; once it can, it is finished first.
    d.putOldSet();
    Fsyncs().failOpen = "t5_slope.dat.tmp";
    EXPECT_EQ(StoreSet(second), -1);
    Fsyncs().failOpen.clear();
    EXPECT_NE(std::string(GetDurableWriteError()).find("an earlier store is not finished"), std::string::npos)
        << GetDurableWriteError();
    EXPECT_EQ(Found(), halfway);
    EXPECT_EQ(FinishInterruptedWrites(&kStore), 1);
    EXPECT_EQ(Found(), first);
    EXPECT_EQ(StoreSet(second), 0);
    EXPECT_EQ(Found(), second);
    EXPECT_FALSE(Leftovers());
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

// A store run from game/ with the folders set/ (names "t<n>.dat") and
// linked/, a symbolic link to elsewhere/ (a folder moved to another disk),
// beside outside/, whose files no store may change.
class StoresBesideOtherFiles : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(0);
        WriteHostFile("outside/x", "the file outside");
        WriteHostFile("outside/x.tmp", "what a record would put in its place");
        WriteHostFile("outside/empty", "");
        fs::create_directories("game/set");
        fs::create_directories("elsewhere");
        fs::create_directory_symlink("../elsewhere", "game/linked");
        fs::current_path("game");
    }
    void TearDown() override {
        SetLogOutput(1);
        Fsyncs().failOpen.clear();
        SetDurableLockWait(5000);
    }

    // Settles, and gives the problems reported.
    std::vector<std::string> Settle(int expectFinished = 0) {
        EXPECT_EQ(FinishInterruptedWrites(&store_), expectFinished);
        return Problems();
    }
    int Store(const std::vector<std::pair<std::string, std::string>>& set) {
        std::vector<DurableFile> files;
        for (const auto& [path, bytes] : set) files.push_back({path.c_str(), bytes.data(), bytes.size()});
        return WriteFileSetDurably(&store_, files.data(), files.size());
    }
    static int StoredName(const char* name) { return std::string(name).ends_with(".dat"); }
    static std::string Outside() {
        std::string all;
        for (const char* name : {"x", "x.tmp", "empty"}) all += ScopedTempDir::ReadFile("../outside/" + std::string(name)) + "|";
        return all;
    }
    static bool Leftovers(const char* folder) {
        for (const fs::directory_entry& e : fs::directory_iterator(folder))
            if (e.path().string().ends_with(".tmp") || e.path().string().ends_with(".commit")) return true;
        return false;
    }

    const DurableFolder folders_[3] = {{"set", "t", StoredName}, {"linked", "t"}, {".", "record.dat"}};
    DurableStore store_{folders_, 3, 4, 64};
    ScopedTempDir dir_;
    SkippedFsyncs fast_;
};

TEST_F(StoresBesideOtherFiles, RecordsNamingOtherFilesChangeNothingOutsideAndAreRemovedAndReported) {
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
    const std::vector<std::string> problems = Settle();
    EXPECT_EQ(Outside(), outside);
    ASSERT_EQ(problems.size(), escapes.size());
    for (size_t i = 0; i < escapes.size(); ++i) {
        const std::string record = "t" + std::to_string(i) + ".dat.commit";
        EXPECT_EQ(problems[i].rfind(std::to_string(kDurableRecordRefused) + " " + record, 0), 0u) << problems[i];
        EXPECT_FALSE(fs::exists("set/" + record));
        EXPECT_FALSE(fs::exists("set/t" + std::to_string(i) + ".dat")) << "nothing of a refused set is renamed";
    }
}

TEST_F(StoresBesideOtherFiles, NoFileOrLinkPlantedAtATemporarysOrARecordsNameIsWrittenThrough) {
    const std::string outside = Outside();
    fs::create_symlink("../../outside/x", "set/t1.dat.tmp");
    fs::create_hard_link("../outside/x.tmp", "record.dat.tmp");
    fs::create_symlink("../../outside/empty", "set/t1.dat.commit");
    fs::create_hard_link("../outside/empty", "single.dat.tmp");
    EXPECT_EQ(Store({{"set/t1.dat", "one"}, {"record.dat", "two"}}), 0) << GetDurableWriteError();
    EXPECT_EQ(WriteFileDurably("single.dat", "three", 5), 0) << GetDurableWriteError();
    EXPECT_EQ(Outside(), outside);
    EXPECT_EQ(ScopedTempDir::ReadFile("set/t1.dat") + ScopedTempDir::ReadFile("record.dat") +
                  ScopedTempDir::ReadFile("single.dat"),
              "onetwothree");
    EXPECT_FALSE(Leftovers("set") || Leftovers("."));
}

TEST_F(StoresBesideOtherFiles, ATemporaryWithOtherNamesIsNeverTakenAndAFolderAtAStoredNameDropsItsRecord) {
    const std::string outside = Outside();
    // A folder stands at t1.dat, its temporary a hard link to an empty file
    // outside, and a record that names it: its size and check value are
    // those of any empty file.
    fs::create_directory("set/t1.dat");
    fs::create_hard_link("../outside/empty", "set/t1.dat.tmp");
    WriteHostFile("set/t1.dat.commit", RecordNaming({{"set/t1.dat", ""}}));
    // The same without the folder: renamed, the link would bring the file in.
    fs::create_hard_link("../outside/x", "set/t2.dat.tmp");
    WriteHostFile("set/t2.dat.commit", RecordNaming({{"set/t2.dat", "the file outside"}}));
    const std::vector<std::string> problems = Settle();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0], std::to_string(kDurableSetDropped) + " t1.dat.commit set/t1.dat: is a folder");
    EXPECT_EQ(problems[1].rfind(std::to_string(kDurableSetDropped) + " t2.dat.commit set/t2.dat: has a temporary with "
                                "other names", 0), 0u) << problems[1];
    EXPECT_FALSE(fs::exists("set/t2.dat"));
    EXPECT_FALSE(Leftovers("set")) << "both records dropped once, the temporaries removed";
    // Later stores of those names write no byte outside.
    EXPECT_EQ(Store({{"set/t1.dat", "one"}}), -1) << "a folder stands there";
    EXPECT_NE(std::string(GetDurableWriteError()).find("set/t1.dat is a folder"), std::string::npos);
    fs::create_hard_link("../outside/empty", "set/t1.dat.tmp");
    fs::remove("set/t1.dat");
    EXPECT_EQ(Store({{"set/t1.dat", "one"}, {"set/t2.dat", "two"}}), 0);
    EXPECT_EQ(Outside(), outside);
}

TEST_F(StoresBesideOtherFiles, TheWriterRefusesBeforeWritingAnySetTheStartWouldNotFinish) {
    fs::create_directory("set/t3.dat");
    mkfifo("set/t4.dat", 0600);
    fs::create_symlink("../../outside/x", "set/t5.dat");
    const std::string absolute = (fs::current_path() / "set/t1.dat").string();
    const std::vector<std::vector<std::pair<std::string, std::string>>> refused = {
        {{"set/t1.dat", "x"}, {absolute, "x"}},        {{"set/../set/t1.dat", "x"}},
        {{"set/notes.txt", "x"}},                       {{"set/t1.dat.tmp", "x"}},
        {{"set/t1.dat", "x"}, {"linked/../set/t2.dat", "x"}},
        {{"set/t1.dat", std::string(65, 'x')}},         {{"t1.dat", "x"}},
        {{"set/t1.dat", "x"}, {"set/t3.dat", "x"}},     {{"set/t4.dat", "x"}},
        {{"set/t5.dat", "x"}},
        {{"set/t1.dat", ""}, {"set/t2.dat", ""}, {"linked/t1.dat", ""}, {"linked/t2.dat", ""}, {"record.dat", ""}}};
    for (const auto& set : refused) {
        EXPECT_EQ(Store(set), -1) << set.back().first;
        EXPECT_NE(std::string(GetDurableWriteError()), "");
        EXPECT_FALSE(Leftovers("set") || Leftovers(".") || Leftovers("linked")) << set.back().first;
    }
    EXPECT_FALSE(fs::exists("set/t1.dat"));

    // Given as an absolute folder, the same store takes absolute paths, and
    // a kill between the renames leaves a set the next start finishes.
    const std::string folder = fs::canonical("set").string();
    const DurableFolder absoluteFolders[] = {{folder.c_str(), "t"}, {".", "record.dat"}};
    store_ = {absoluteFolders, 2, 4, 64};
    const std::string first = folder + "/t1.dat";
    WriteHostFile("record.dat", "old");
    int renames = 0;
    SetDurableStepHook([&](DurableStep step, const std::string&) -> int64_t {
        return step == DurableStep::Rename && ++renames == 2 ? 0 : -1;
    });
    EXPECT_EQ(Store({{first, "new"}, {"record.dat", "new"}}), -1);
    SetDurableStepHook(nullptr);
    EXPECT_EQ(ScopedTempDir::ReadFile(first) + ScopedTempDir::ReadFile("record.dat"), "newold") << "killed";
    EXPECT_EQ(Settle(1), std::vector<std::string>{});
    EXPECT_EQ(ScopedTempDir::ReadFile(first) + ScopedTempDir::ReadFile("record.dat"), "newnew");
}

// A kill after the record: the set's temporaries and record stand.
void LeaveCommitted(const std::string& folder, const std::vector<std::string>& names, const std::string& bytes) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& name : names) {
        WriteHostFile(folder + "/" + name, "old");
        WriteHostFile(folder + "/" + name + ".tmp", bytes);
        files.push_back({folder + "/" + name, bytes});
    }
    WriteHostFile(folder + "/" + names[0] + ".commit", RecordNaming(files));
}

TEST_F(StoresBesideOtherFiles, AFolderIsSettledWhereItWasOpenedWhereverItsPathLeads) {
    // The folder the program names is a link: it is settled where it leads.
    LeaveCommitted("linked", {"t1.dat"}, "new");
    // A set/ swapped for a link to a folder of the attacker's as the first
    // rename is to happen: the settling stays in the folder it opened.
    LeaveCommitted("set", {"t1.dat", "t2.dat"}, "new");
    WriteHostFile("evil/t1.dat", "a file in the other folder");
    WriteHostFile("evil/t1.dat.tmp", "new");
    WriteHostFile("evil/t2.dat.tmp", "new");
    fs::create_directory_symlink("evil", "swap");
    SetDurableStepHook([](DurableStep step, const std::string& path) -> int64_t {
        if (step == DurableStep::Rename && path == "set/t1.dat") renameat2(AT_FDCWD, "set", AT_FDCWD, "swap", RENAME_EXCHANGE);
        return -1;
    });
    const std::vector<std::string> problems = Settle(2);
    SetDurableStepHook(nullptr);
    EXPECT_EQ(problems, std::vector<std::string>{});
    EXPECT_EQ(ScopedTempDir::ReadFile("../elsewhere/t1.dat"), "new");
    EXPECT_EQ(ScopedTempDir::ReadFile("evil/t1.dat") + ScopedTempDir::ReadFile("evil/t1.dat.tmp"),
              "a file in the other foldernew");
    EXPECT_EQ(ScopedTempDir::ReadFile("swap/t1.dat") + ScopedTempDir::ReadFile("swap/t2.dat"), "newnew");
}

TEST_F(StoresBesideOtherFiles, ARecordThatCannotBeReadNowKeepsItsSetAndOneThatNeverCanIsDroppedOnce) {
    // Killed after the first of three renames.
    LeaveCommitted("set", {"t1.dat", "t2.dat", "t3.dat"}, "new");
    fs::rename("set/t1.dat.tmp", "set/t1.dat");
    Fsyncs().failOpen = "t1.dat.commit";
    std::vector<std::string> problems = Settle();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], std::to_string(kDurableRecordUnreadable) + " t1.dat.commit : Input/output error");
    // Then one of its temporaries cannot be read: the set waits again.
    Fsyncs().failOpen = "t3.dat.tmp";
    EXPECT_EQ(Settle(), std::vector<std::string>{std::to_string(kDurableSetNotFinished) +
                                                 " t1.dat.commit set/t3.dat: cannot be read (Input/output error)"});
    Fsyncs().failOpen.clear();
    EXPECT_EQ(Settle(1), std::vector<std::string>{});
    EXPECT_EQ(ScopedTempDir::ReadFile("set/t1.dat") + ScopedTempDir::ReadFile("set/t2.dat") +
                  ScopedTempDir::ReadFile("set/t3.dat"),
              "newnewnew");

    // Records that can never be read or finished, and a record that names
    // more than the store's largest set, of sparse files that would take
    // long to read: each is dropped with its reason, once.
    mkfifo("set/t5.dat.commit", 0600);
    WriteHostFile("set/t6.dat.commit", "durable file set 1\n" + std::string(1 << 20, 'x'));
    WriteHostFile("set/t7.dat.commit", RecordNaming({{"set/t7.dat", ""}, {"set/t8.dat", ""}, {"set/t9.dat", ""},
                                                    {"linked/t7.dat", ""}, {"record.dat", ""}}));
    problems = Settle();
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0], std::to_string(kDurableRecordRefused) + " t5.dat.commit : it is a FIFO");
    EXPECT_EQ(problems[1], std::to_string(kDurableRecordRefused) + " t6.dat.commit : it is larger than a record of "
                           "the store can be");
    EXPECT_EQ(problems[2], std::to_string(kDurableRecordRefused) + " t7.dat.commit : it names 5 files, more than a "
                           "set of the store holds");
    EXPECT_EQ(Settle(), std::vector<std::string>{});
}

TEST_F(StoresBesideOtherFiles, TextTakenFromARecordIsCleanedAndOnlyTheStoresTemporariesAreRemoved) {
    const std::string shown = "set/t1\x1b[2J\xc2\x9b" "31m\xff\xe2\x82.dat";
    WriteHostFile("set/t1.dat.tmp", "new");
    WriteHostFile("set/t1.dat.commit", RecordNaming({{"set/t1.dat", "new"}, {shown, "x"}}));
    // Left-over temporaries: of stored names, and of a user's files.
    WriteHostFile("set/t3.dat.tmp", "cut short");
    for (const char* kept : {"set/tnotes.txt.tmp", "set/t3.dat.bak.tmp", "set/t4.dat.commit.tmp", "records.tmp"})
        WriteHostFile(kept, "a user's file");
    DurableProblem problem{};
    ASSERT_EQ(Settle().size(), 1u);
    ASSERT_EQ(GetDurableProblem(0, &problem), 0);
    EXPECT_EQ(std::string(problem.file) + ": " + problem.reason, "set/t1[2J31m.dat: is no plain file name");
    for (const char* removed : {"set/t1.dat.tmp", "set/t3.dat.tmp", "set/t1.dat.commit"})
        EXPECT_FALSE(fs::exists(removed)) << removed;
    for (const char* kept : {"set/tnotes.txt.tmp", "set/t3.dat.bak.tmp", "set/t4.dat.commit.tmp", "records.tmp"})
        EXPECT_TRUE(fs::exists(kept)) << kept;
}

// A set across linked/ (a folder on another disk) and the working
// directory, killed once its file in linked/ was renamed: record.dat's new
// copy waits in its temporary, the record in linked/.
void LeaveHalfRenamed() {
    WriteHostFile("record.dat", "old");
    WriteHostFile("linked/t1.dat", "old");
    int renames = 0;
    SetDurableStepHook([&](DurableStep step, const std::string&) -> int64_t {
        return step == DurableStep::Rename && ++renames == 2 ? 0 : -1;
    });
    const std::string bytes = "new";
    const DurableFile set[] = {{"linked/t1.dat", bytes.data(), 3}, {"record.dat", bytes.data(), 3}};
    DurableFolder folders[] = {{"linked", "t"}, {".", "record.dat"}};
    const DurableStore store{folders, 2, 2, 64};
    WriteFileSetDurably(&store, set, 2);
    SetDurableStepHook(nullptr);
}

TEST_F(StoresBesideOtherFiles, AFolderThatStandsButCannotBeOpenedNowKeepsEveryTemporaryUntilItCan) {
    int holder = -1;
    struct Form {
        const char* name;
        std::function<void()> away, back;
    };
    const Form forms[] = {
        {"a link to a disk that is not mounted", [] { fs::rename("../elsewhere", "../unmounted"); },
         [] { fs::rename("../unmounted", "../elsewhere"); }},
        {"a file in its place for the moment",
         [] {
             fs::remove("linked");
             WriteHostFile("linked", "not now");
         },
         [] {
             fs::remove("linked");
             fs::create_directory_symlink("../elsewhere", "linked");
         }},
        {"held by another program",
         [&] {
             holder = open("../elsewhere", O_RDONLY | O_DIRECTORY);
             ASSERT_EQ(flock(holder, LOCK_EX), 0);
         },
         [&] { close(holder); }},
    };
    SetDurableLockWait(50);
    for (const Form& form : forms) {
        LeaveHalfRenamed();
        form.away();
        // Two starts without the folder, a store of the working
        // directory's file between them: record.dat's temporary stays.
        for (int start = 0; start < 2; ++start) {
            const std::vector<std::string> problems = Settle();
            ASSERT_EQ(problems.size(), 1u) << form.name;
            EXPECT_EQ(problems[0].rfind(std::to_string(kDurableFolderNotSettled) + "  : it ", 0), 0u) << problems[0];
            EXPECT_EQ(Store({{"record.dat", "newer"}}), -1) << form.name;
            EXPECT_EQ(ScopedTempDir::ReadFile("record.dat") + ScopedTempDir::ReadFile("record.dat.tmp"), "oldnew")
                << form.name;
        }
        form.back();
        EXPECT_EQ(Settle(1), std::vector<std::string>{}) << form.name;
        EXPECT_EQ(ScopedTempDir::ReadFile("linked/t1.dat") + ScopedTempDir::ReadFile("record.dat"), "newnew")
            << form.name;
        EXPECT_FALSE(Leftovers(".") || Leftovers("linked")) << form.name;
    }
    // A single file is not written either in a folder another program holds.
    forms[2].away();
    EXPECT_EQ(WriteFileDurably("linked/t9.dat", "x", 1), -1);
    EXPECT_NE(std::string(GetDurableWriteError()).find("is held by another program"), std::string::npos);
    forms[2].back();
    EXPECT_FALSE(fs::exists("linked/t9.dat") || fs::exists("linked/t9.dat.tmp"));
}

TEST_F(StoresBesideOtherFiles, AReplacedFileKeepsItsPermissionsAndItsOwner) {
    WriteHostFile("../elsewhere/single.dat", "old");
    fs::create_symlink("../elsewhere/single.dat", "single.dat");
    WriteHostFile("set/t1.dat", "old");
    WriteHostFile("record.dat", "old");
    ASSERT_EQ(chmod("../elsewhere/single.dat", 0600), 0);
    ASSERT_EQ(chmod("set/t1.dat", 0640), 0);
    ASSERT_EQ(chmod("record.dat", 0664), 0);  // more than the usual umask lets a new file have
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown("set/t1.dat", 4321, 4322), 0);
    }
    EXPECT_EQ(WriteFileDurably("single.dat", "new", 3), 0) << GetDurableWriteError();
    EXPECT_EQ(Store({{"set/t1.dat", "new"}, {"record.dat", "new"}}), 0) << GetDurableWriteError();
    auto statOf = [](const char* path) {
        struct stat st {};
        EXPECT_EQ(stat(path, &st), 0) << path;
        return st;
    };
    EXPECT_EQ(statOf("../elsewhere/single.dat").st_mode & 07777, 0600u);
    EXPECT_EQ(statOf("set/t1.dat").st_mode & 07777, 0640u);
    EXPECT_EQ(statOf("record.dat").st_mode & 07777, 0664u);
    if (root) {
        EXPECT_EQ(statOf("set/t1.dat").st_uid, 4321u);
        EXPECT_EQ(statOf("set/t1.dat").st_gid, 4322u);
    }
    EXPECT_EQ(ScopedTempDir::ReadFile("single.dat") + ScopedTempDir::ReadFile("set/t1.dat"), "newnew");
    EXPECT_TRUE(fs::is_symlink("single.dat"));
}

// Two copies of a program, each in a folder of its own (a/ and b/), store
// their replay/ in one folder they share: a set of one of them that names
// its own folder is that copy's to finish.
TEST(DurableSetsOfTwoCopies, ARecordAnotherCopyLeftInASharedFolderIsLeftToItWithWhatItCountsOn) {
    ScopedTempDir dir;
    SkippedFsyncs fast;
    SetLogOutput(0);
    for (const char* copy : {"a", "b"}) {
        fs::create_directories(copy);
        WriteHostFile(std::string(copy) + "/save.dat", "old save");
    }
    fs::create_directories("shared");
    fs::create_directory_symlink("../shared", "a/replay");
    fs::create_directory_symlink("../shared", "b/replay");
    const DurableFolder folders[] = {{"replay", "t"}, {".", "save.dat"}};
    const DurableStore store{folders, 2, 3, 64};
    auto store2 = [&](const char* first, const char* second, const std::string& bytes) {
        const DurableFile set[] = {{first, bytes.data(), bytes.size()}, {second, bytes.data(), bytes.size()}};
        return WriteFileSetDurably(&store, set, 2);
    };
    WriteHostFile("shared/t1.dat", "old");
    // a/ is killed after its first rename.
    fs::current_path("a");
    int renames = 0;
    SetDurableStepHook([&](DurableStep step, const std::string&) -> int64_t {
        return step == DurableStep::Rename && ++renames == 2 ? 0 : -1;
    });
    store2("replay/t1.dat", "save.dat", "a's run");
    SetDurableStepHook(nullptr);
    // b/ starts and stores: it neither finishes nor drops a's set, keeps its
    // temporaries, and refuses to write the file a's set counts on.
    fs::current_path("../b");
    EXPECT_EQ(FinishInterruptedWrites(&store), 0);
    EXPECT_EQ(GetDurableProblemCount(), 0);
    EXPECT_EQ(store2("replay/t1.dat", "save.dat", "b's run"), -1);
    EXPECT_NE(std::string(GetDurableWriteError()).find("replay/t1.dat belongs to a set that another copy of the "
                                                       "program, working in "),
              std::string::npos)
        << GetDurableWriteError();
    EXPECT_EQ(store2("replay/t2.dat", "save.dat", "b's run"), 0) << GetDurableWriteError();
    EXPECT_EQ(ScopedTempDir::ReadFile("save.dat") + "|" + ScopedTempDir::ReadFile("../shared/t1.dat"), "b's run|a's run");
    EXPECT_TRUE(fs::exists("../shared/t1.dat.commit"));
    // a/ starts again and finishes its set.
    fs::current_path("../a");
    EXPECT_EQ(FinishInterruptedWrites(&store), 1);
    EXPECT_EQ(ScopedTempDir::ReadFile("save.dat") + "|" + ScopedTempDir::ReadFile("../shared/t1.dat"), "a's run|a's run");
    EXPECT_FALSE(fs::exists("../shared/t1.dat.commit") || fs::exists("save.dat.tmp"));
    SetLogOutput(1);
}

}  // namespace
