// A set of files stored durably is found whole, the previous one or the new
// one, after a kill at any step of its store and of the next start's
// settling, and after a store that stood unsettled and the stores that
// follow it; a file that can never be replaced is said so and blocks
// nothing; what the writer takes the settling finishes, in the folders it
// opened, and no planted file, link or record makes either touch anything
// outside them; a folder held by another program is never waited for; a
// replaced file's access is kept, and no byte of it is readable by others
// on the way; and two copies of a program sharing folders never undo or
// mix each other's sets.
#include "durable_kill.h"
#include "engine/files.h"
#include "engine/log.h"
#include "file_test_util.h"
#include "foundation/durable_rules.h"
#include "fsync_spy.h"
#include "scoped_temp_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <tuple>
#include <functional>
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
const DurableStore kStore{kFolders, std::size(kFolders), 8, 4096, "store.commit"};

int StoreSet(const std::vector<std::string>& contents) {
    std::vector<DurableFile> files;
    for (size_t i = 0; i < kPaths.size(); ++i) files.push_back({kPaths[i].c_str(), contents[i].data(), contents[i].size()});
    return WriteFileSetDurably(&kStore, files.data(), files.size());
}

// A store whose rename of t5_slope.dat fails with error once its record is
// whole: the other files hold their new copies, that one its previous one.
int StoreFailingARename(const std::vector<std::string>& contents, int error) {
    Fsyncs().failRename = "t5_slope.dat";
    Fsyncs().renameError = error;
    const int result = StoreSet(contents);
    Fsyncs().failRename.clear();
    return result;
}

// The problems the last settling reported, each "<kind> <record> <file>: <reason> (<new>/<files>)".
std::vector<std::string> Problems() {
    std::vector<std::string> lines;
    DurableProblem p;
    for (int i = 0; GetDurableProblem(i, &p) == 0; ++i)
        lines.push_back(std::to_string(p.kind) + " " + p.record + " " + p.file + ": " + p.reason + " (" +
                        std::to_string(p.newFiles) + "/" + std::to_string(p.files) + ")");
    return lines;
}

// The tag of the temporaries this program writes from the working directory.
std::string Tag() { return WorkingTag(); }

// Temporary files or records anywhere below the working directory.
bool Leftovers(const char* folder = ".") {
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.ends_with(".tmp") || name.ends_with(".commit")) return true;
    }
    return false;
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
    KillDriver Driver(const std::vector<std::string>& before, const std::vector<std::string>& after) {
        KillDriver d;
        d.putOldSet = [before] {
            for (const fs::directory_entry& e : fs::directory_iterator(".")) fs::remove_all(e.path());
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
        d.leftovers = [] { return Leftovers(); };
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

TEST_F(DurableSets, EveryLaterStoreFirstFinishesASetThatWasStoredButNotSettled) {
    const std::vector<std::string> before = Contents(6), first = Contents(7), second = Contents(8);
    std::vector<std::string> halfway = first;
    halfway[2] = before[2];
    // The first set stands unsettled (a disk error on one rename); the later
    // store is killed at every step, the settling of the start after it too.
    KillDriver d = Driver(first, second);
    d.putOldSet = [putBefore = Driver(before, first).putOldSet, first, halfway, this] {
        putBefore();
        EXPECT_EQ(StoreFailingARename(first, EIO), kDurableStoredUnsettled);
        EXPECT_EQ(Found(), halfway);
    };
    const KillTally tally = KillAtEveryStep(d);
    EXPECT_EQ(tally.mixed, 0);
    EXPECT_GT(tally.old, 0);
    EXPECT_GT(tally.fresh, 0);

    // While the first set cannot be finished (a temporary of it cannot be
    // read now), a store of another file goes on, and the set is finished
    // as soon as it can be.
    d.putOldSet();
    Fsyncs().failOpen = "t5_slope.dat." + Tag() + ".tmp";
    const DurableFile alone = {"record.dat", "alone", 5};
    EXPECT_EQ(WriteFileSetDurably(&kStore, &alone, 1), 0) << GetDurableWriteError();
    Fsyncs().failOpen.clear();
    EXPECT_EQ(FinishInterruptedWrites(&kStore), 1);
    halfway = first;
    halfway.back() = "alone";
    EXPECT_EQ(Found(), halfway) << "the set finished, and the file stored since kept";
    EXPECT_EQ(StoreSet(second), 0);
    EXPECT_EQ(Found(), second);
    EXPECT_FALSE(Leftovers());

    // A store of the same files while the first set still cannot be
    // finished takes its place, its temporaries of the same names its own.
    d.putOldSet();
    Fsyncs().failOpen = "t5_slope.dat." + Tag() + ".tmp";
    Fsyncs().failOpens = 1;
    EXPECT_EQ(StoreSet(second), 0) << GetDurableWriteError();
    Fsyncs().failOpen.clear();
    Fsyncs().failOpens = -1;
    EXPECT_EQ(Found(), second);
    EXPECT_EQ(FinishInterruptedWrites(&kStore), 0);
    EXPECT_EQ(Problems(), std::vector<std::string>{});
    EXPECT_FALSE(Leftovers());
}

TEST_F(DurableSets, AFileThatCanNeverBeReplacedIsSaidSoOnceAndKeepsNothingFromBeingStored) {
    const std::vector<std::string> before = Contents(9), next = Contents(10);
    Driver(before, next).putOldSet();
    for (const int error : {EPERM, EBUSY}) {
        // A file alone: not stored, said truly, nothing left behind.
        Fsyncs().failRename = "t5_slope.dat";
        Fsyncs().renameError = error;
        const DurableFile slope = {"set/t5_slope.dat", "new", 3};
        EXPECT_EQ(WriteFileSetDurably(&kStore, &slope, 1), -1);
        EXPECT_NE(std::string(GetDurableWriteError()).find(std::strerror(error)), std::string::npos);
        Fsyncs().failRename.clear();
        EXPECT_FALSE(Leftovers());
        // In a set: the others stored, that one kept for good, nothing left
        // for a later start to claim it finishes.
        EXPECT_EQ(StoreFailingARename(next, error), kDurableStoredUnsettled);
        EXPECT_NE(std::string(GetDurableWriteError()).find("set/t5_slope.dat keeps its previous copy for good"),
                  std::string::npos) << GetDurableWriteError();
        std::vector<std::string> stored = next;
        stored[2] = before[2];
        EXPECT_EQ(Found(), stored);
        EXPECT_FALSE(Leftovers());
        EXPECT_EQ(FinishInterruptedWrites(&kStore), 0);
        EXPECT_EQ(Problems(), std::vector<std::string>{});
        // Every later store goes on.
        EXPECT_EQ(StoreSet(before), 0) << GetDurableWriteError();
        EXPECT_EQ(Found(), before);
    }
}

uint32_t CheckOf(const std::string& bytes) {
    return uint32_t(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

// A whole record of these files (path, new bytes, previous bytes or
// "(absent)"), each in a set of its own number, as the store writes it.
std::string RecordNaming(const std::vector<std::tuple<int, std::string, std::string, std::string>>& files,
                         const std::string& tag = Tag()) {
    std::string text = "durable store record 2\n";
    for (const auto& [set, path, fresh, previous] : files) {
        char line[96];
        const bool none = previous == "(absent)";
        std::snprintf(line, sizeof line, "%d %s %zu %08x %lld %08x ", set, tag.c_str(), fresh.size(), CheckOf(fresh),
                      none ? -1LL : static_cast<long long>(previous.size()), none ? 0u : CheckOf(previous));
        text += line + path + "\n";
    }
    char end[24];
    std::snprintf(end, sizeof end, "end %08x\n", CheckOf(text));
    return text + end;
}

std::string TemporaryOf(const std::string& path, const std::string& tag = Tag()) { return path + "." + tag + ".tmp"; }

// A store run from game/ with the folders set/ (names "t<n>.dat") and
// linked/, a symbolic link to elsewhere/ (a folder moved to another disk),
// beside outside/, whose files no store may change. Its record is
// store.commit in game/.
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
        StoreDeferredWrites(1);  // nothing of this test's store stays kept
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

    const DurableFolder folders_[3] = {{"set", "t", StoredName}, {"linked", "t"}, {".", "record.dat"}};
    DurableStore store_{folders_, 3, 4, 64, "store.commit"};
    ScopedTempDir dir_;
    SkippedFsyncs fast_;
};

TEST_F(StoresBesideOtherFiles, RecordsNamingOtherFilesOrDamagedChangeNothingAndAreRemovedAndReported) {
    const std::string outside = Outside();
    const std::string absolute = fs::canonical("../outside/x").string();
    // A link to the outside folder under a stored name, inside a folder.
    fs::create_directory_symlink("../../outside", "set/tlink");
    WriteHostFile(TemporaryOf("set/t1.dat"), "new");
    struct Planted {
        std::string text, problem;
    };
    const std::vector<Planted> planted = {
        {RecordNaming({{1, "set/t1.dat", "new", "(absent)"}, {1, absolute, "x", "the file outside"}}), "is not a file"},
        {RecordNaming({{1, "set/t1.dat", "new", "(absent)"}, {1, "set/../../outside/x", "x", "(absent)"}}), "is not a"},
        {RecordNaming({{1, "set/t1.dat", "new", "(absent)"}, {1, "set/tlink/x", "x", "(absent)"}}), "is not a file"},
        {RecordNaming({{1, "set/t1.dat", "new", "(absent)"}, {2, "set/t2.dat", "x", "(absent)"},
                       {1, "set/t3.dat", "x", "(absent)"}}), "its sets' lines are apart"},
        {RecordNaming({{1, "set/t1.dat", "new", "(absent)"}, {1, "set/t2.dat", "", "(absent)"},
                       {1, "set/t3.dat", "", "(absent)"}, {1, "linked/t1.dat", "", "(absent)"},
                       {1, "record.dat", "", "(absent)"}}), "it names 5 files, not 1 to 4"},
        {RecordNaming({{1, "set/t1.dat", "new", "(absent)"}}, "../../x"), "a line of it is none this program writes"},
        {"durable store record 2\n" + std::string(1 << 20, 'x'), "it is larger than a record of the store can be"},
        {"a user's own notes", "it is no record of this program's"},
    };
    for (const Planted& record : planted) {
        WriteHostFile("store.commit", record.text);
        const std::vector<std::string> problems = Settle();
        ASSERT_EQ(problems.size(), 1u) << record.problem;
        EXPECT_EQ(problems[0].rfind(std::to_string(kDurableRecordRefused) + " store.commit ", 0), 0u) << problems[0];
        EXPECT_NE(problems[0].find(record.problem), std::string::npos) << problems[0];
        EXPECT_FALSE(fs::exists("store.commit"));
        EXPECT_FALSE(fs::exists("set/t1.dat")) << "nothing of a refused set is renamed";
        EXPECT_EQ(Outside(), outside);
        WriteHostFile(TemporaryOf("set/t1.dat"), "new");
    }
    // The same record whole and true: finished.
    WriteHostFile("store.commit", RecordNaming({{1, "set/t1.dat", "new", "(absent)"}}));
    EXPECT_EQ(Settle(1), std::vector<std::string>{});
    EXPECT_EQ(ScopedTempDir::ReadFile("set/t1.dat"), "new");
}

TEST_F(StoresBesideOtherFiles, NoFileOrLinkPlantedAtATemporarysOrARecordsNameIsWrittenThrough) {
    const std::string outside = Outside();
    fs::create_symlink("../../outside/x", TemporaryOf("set/t1.dat"));
    fs::create_hard_link("../outside/x.tmp", TemporaryOf("record.dat"));
    fs::create_symlink("../outside/empty", "store.commit.tmp");
    fs::create_hard_link("../outside/empty", TemporaryOf("single.dat"));
    EXPECT_EQ(Store({{"set/t1.dat", "one"}, {"record.dat", "two"}}), 0) << GetDurableWriteError();
    EXPECT_EQ(WriteFileDurably("single.dat", "three", 5), 0) << GetDurableWriteError();
    EXPECT_EQ(Outside(), outside);
    EXPECT_EQ(ScopedTempDir::ReadFile("set/t1.dat") + ScopedTempDir::ReadFile("record.dat") +
                  ScopedTempDir::ReadFile("single.dat"),
              "onetwothree");
    EXPECT_FALSE(Leftovers());
}

TEST_F(StoresBesideOtherFiles, ATemporaryWithOtherNamesIsNeverTakenAndAFolderAtAStoredNameDropsItsSet) {
    const std::string outside = Outside();
    // A folder stands at t1.dat; t2.dat's temporary is a hard link to a
    // file outside whose size and check value the record names.
    fs::create_directory("set/t1.dat");
    fs::create_hard_link("../outside/x", TemporaryOf("set/t2.dat"));
    WriteHostFile("store.commit", RecordNaming({{1, "set/t1.dat", "", "(absent)"},
                                                {2, "set/t2.dat", "the file outside", "(absent)"}}));
    const std::vector<std::string> problems = Settle();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0], std::to_string(kDurableSetDropped) + " set/t1.dat set/t1.dat: is a folder (0/1)");
    EXPECT_EQ(problems[1], std::to_string(kDurableSetDropped) + " set/t2.dat set/t2.dat: holds neither its new copy "
                           "nor a whole temporary (0/1)");
    EXPECT_FALSE(fs::exists("set/t2.dat"));
    EXPECT_FALSE(Leftovers()) << "both sets dropped once, their record and temporaries gone";
    EXPECT_EQ(Outside(), outside);
    // Later stores of those names write no byte outside.
    EXPECT_EQ(Store({{"set/t1.dat", "one"}}), -1) << "a folder stands there";
    EXPECT_NE(std::string(GetDurableWriteError()).find("set/t1.dat is a folder"), std::string::npos);
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
        {{"set/t5.dat", "x"}},                          {{"set/t1.dat", "x"}, {"./set/t1.dat", "x"}},
        {{"set/t5\nin.dat", "x"}},
        {{"set/t1.dat", ""}, {"set/t2.dat", ""}, {"linked/t1.dat", ""}, {"linked/t2.dat", ""}, {"record.dat", ""}}};
    for (const auto& set : refused) {
        EXPECT_EQ(Store(set), -1) << set.back().first;
        EXPECT_NE(std::string(GetDurableWriteError()), "");
        EXPECT_FALSE(Leftovers()) << set.back().first;
    }
    EXPECT_FALSE(fs::exists("set/t1.dat"));
}

TEST_F(StoresBesideOtherFiles, AFolderIsSettledWhereItWasOpenedWhereverItsPathLeads) {
    // The folder the program names is a link: it is settled where it leads.
    // A set/ swapped for a link to a folder of the attacker's as the first
    // rename is to happen: the settling stays in the folder it opened.
    for (const char* file : {"linked/t1.dat", "set/t1.dat", "set/t2.dat"}) WriteHostFile(TemporaryOf(file), "new");
    WriteHostFile("store.commit", RecordNaming({{1, "linked/t1.dat", "new", "(absent)"},
                                                {2, "set/t1.dat", "new", "(absent)"},
                                                {2, "set/t2.dat", "new", "(absent)"}}));
    WriteHostFile("evil/t1.dat", "a file in the other folder");
    WriteHostFile(TemporaryOf("evil/t1.dat"), "new");
    fs::create_directory_symlink("evil", "swap");
    SetDurableStepHook([](DurableStep step, const std::string& path) -> int64_t {
        if (step == DurableStep::Rename && path == "set/t1.dat") renameat2(AT_FDCWD, "set", AT_FDCWD, "swap", RENAME_EXCHANGE);
        return -1;
    });
    const std::vector<std::string> problems = Settle(2);
    SetDurableStepHook(nullptr);
    EXPECT_EQ(problems, std::vector<std::string>{});
    EXPECT_EQ(ScopedTempDir::ReadFile("../elsewhere/t1.dat"), "new");
    EXPECT_EQ(ScopedTempDir::ReadFile("evil/t1.dat") + ScopedTempDir::ReadFile(TemporaryOf("evil/t1.dat")),
              "a file in the other foldernew");
    EXPECT_EQ(ScopedTempDir::ReadFile("swap/t1.dat") + ScopedTempDir::ReadFile("swap/t2.dat"), "newnew");
}

TEST_F(StoresBesideOtherFiles, ARecordThatCannotBeReadNowKeepsItsSetAndOnlyThisProgramsTemporariesGo) {
    // Killed after the first of three renames.
    for (const char* file : {"set/t1.dat", "set/t2.dat", "set/t3.dat"}) {
        WriteHostFile(file, "old");
        WriteHostFile(TemporaryOf(file), "new");
    }
    WriteHostFile("store.commit", RecordNaming({{1, "set/t1.dat", "new", "old"}, {1, "set/t2.dat", "new", "old"},
                                                {1, "set/t3.dat", "new", "old"}}));
    fs::rename(TemporaryOf("set/t1.dat"), "set/t1.dat");
    // Left-over temporaries: of this program's stored names, another copy's,
    // and a user's files.
    WriteHostFile(TemporaryOf("set/t4.dat"), "cut short");
    const std::vector<std::string> kept = {TemporaryOf("set/t4.dat", "0123abcd"), "set/t4.dat.tmp",
                                           TemporaryOf("set/notes.txt"), "records.tmp"};
    for (const std::string& file : kept) WriteHostFile(file, "not this program's");
    Fsyncs().failOpen = "store.commit";
    std::vector<std::string> problems = Settle();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], std::to_string(kDurableRecordUnreadable) + " store.commit : Input/output error (0/0)");
    EXPECT_TRUE(fs::exists(TemporaryOf("set/t4.dat"))) << "no temporary goes while the record may count on it";
    const DurableFile alone = {"record.dat", "x", 1};
    EXPECT_EQ(WriteFileSetDurably(&store_, &alone, 1), -1) << "nothing is stored over a record that cannot be read";
    // Then one of its temporaries cannot be read: the set waits again.
    Fsyncs().failOpen = TemporaryOf("t3.dat");
    EXPECT_EQ(Settle(), std::vector<std::string>{std::to_string(kDurableSetNotFinished) + " set/t1.dat set/t3.dat: "
                                                 "cannot be read (Input/output error) (1/3)"});
    Fsyncs().failOpen.clear();
    EXPECT_EQ(Settle(1), std::vector<std::string>{});
    EXPECT_EQ(ScopedTempDir::ReadFile("set/t1.dat") + ScopedTempDir::ReadFile("set/t2.dat") +
                  ScopedTempDir::ReadFile("set/t3.dat"),
              "newnewnew");
    EXPECT_FALSE(fs::exists(TemporaryOf("set/t4.dat")));
    for (const std::string& file : kept) EXPECT_TRUE(fs::exists(file)) << file;
}

// A set across linked/ (a folder on another disk) and the working
// directory, killed once its file in linked/ was renamed: record.dat's new
// copy waits in its temporary.
void LeaveHalfRenamed(const DurableStore& store) {
    WriteHostFile("record.dat", "old");
    WriteHostFile("linked/t1.dat", "old");
    int renames = 0;
    SetDurableStepHook([&](DurableStep step, const std::string& path) -> int64_t {
        return step == DurableStep::Rename && path != store.record && ++renames == 2 ? 0 : -1;
    });
    const DurableFile set[] = {{"linked/t1.dat", "new", 3}, {"record.dat", "new", 3}};
    WriteFileSetDurably(&store, set, 2);
    SetDurableStepHook(nullptr);
}

TEST_F(StoresBesideOtherFiles, AFolderThatCannotBeOpenedNowKeepsItsPartAndHoldsUpNothingElse) {
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
    };
    for (const Form& form : forms) {
        LeaveHalfRenamed(store_);
        form.away();
        // The set's part in the working directory is finished; linked/'s
        // waits, and the file stored after it stands.
        std::vector<std::string> problems = Settle(0);
        ASSERT_EQ(problems.size(), 1u) << form.name;
        EXPECT_EQ(problems[0].rfind(std::to_string(kDurableFolderNotSettled) + " linked/t1.dat : its folder cannot be "
                                    "opened", 0), 0u) << problems[0];
        EXPECT_EQ(ScopedTempDir::ReadFile("record.dat"), "new") << form.name;
        EXPECT_EQ(Store({{"record.dat", "newer"}}), 0) << form.name << ": " << GetDurableWriteError();
        problems = Settle(0);
        EXPECT_EQ(problems.size(), 1u) << form.name;
        form.back();
        EXPECT_EQ(Settle(1), std::vector<std::string>{}) << form.name;
        EXPECT_EQ(ScopedTempDir::ReadFile("linked/t1.dat") + ScopedTempDir::ReadFile("record.dat"), "newnewer")
            << form.name;
        EXPECT_FALSE(Leftovers() || Leftovers("linked/")) << form.name;
    }
}

// Holds a folder's lock, as another program storing there does, until it ends.
struct HeldFolder {
    explicit HeldFolder(const char* path) : descriptor(open(path, O_RDONLY | O_DIRECTORY)) {
        EXPECT_EQ(flock(descriptor, LOCK_EX), 0);
    }
    ~HeldFolder() { close(descriptor); }
    int descriptor;
};

TEST_F(StoresBesideOtherFiles, AFolderAnotherProgramHoldsIsNeverWaitedForAndWhatWasKeptIsStoredOnceItIsFree) {
    LeaveHalfRenamed(store_);
    const auto start = std::chrono::steady_clock::now();
    {
        HeldFolder held("linked");
        // Start-up settles what it can; linked/ is not waited for.
        EXPECT_EQ(Settle(0), std::vector<std::string>{});
        EXPECT_EQ(ScopedTempDir::ReadFile("record.dat"), "new");
        // A set in linked/ is kept, with the copy of its bytes; a single
        // write there too; a file of the working directory is stored at once.
        std::string bytes = "kept";
        const DurableFile set[] = {{"linked/t2.dat", bytes.data(), 4}, {"record.dat", bytes.data(), 4}};
        EXPECT_EQ(WriteFileSetDurably(&store_, set, 2), kDurableDeferred);
        bytes = "gone";
        EXPECT_EQ(WriteFileDurably("linked/t9.dat", "x", 1), kDurableDeferred);
        EXPECT_NE(std::string(GetDurableWriteError()).find("is held by another program"), std::string::npos);
        const DurableFile later = {"record.dat", "later", 5};
        EXPECT_EQ(WriteFileSetDurably(&store_, &later, 1), 0) << "the save alone waits for no other folder";
        EXPECT_EQ(StoreDeferredWrites(0), 2);
        EXPECT_FALSE(fs::exists("linked/t2.dat") || fs::exists("linked/t9.dat"));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "nothing waited on the folder";
    EXPECT_EQ(StoreDeferredWrites(0), 0);
    EXPECT_EQ(Problems(), std::vector<std::string>{});
    // The later write of record.dat was taken out of the kept set: it stands.
    EXPECT_EQ(ScopedTempDir::ReadFile("linked/t1.dat") + ScopedTempDir::ReadFile("linked/t2.dat") +
                  ScopedTempDir::ReadFile("linked/t9.dat") + ScopedTempDir::ReadFile("record.dat"),
              "newkeptxlater");
    EXPECT_FALSE(Leftovers() || Leftovers("linked/"));

    // Held to the end: the last call gives up after its wait, and says so.
    HeldFolder held("linked");
    EXPECT_EQ(WriteFileDurably("linked/t9.dat", "y", 1), kDurableDeferred);
    EXPECT_EQ(StoreDeferredWrites(50), 0);
    EXPECT_EQ(Problems(), std::vector<std::string>{std::to_string(kDurableWriteNotStored) + " linked/t9.dat : its "
                                                   "folder is held by another program (0/1)"});
    EXPECT_EQ(ScopedTempDir::ReadFile("linked/t9.dat"), "x");
}

TEST_F(StoresBesideOtherFiles, AReplacedFileKeepsItsAccessAndIsNeverOpenToMoreOnTheWay) {
    WriteHostFile("../elsewhere/single.dat", "old");
    fs::create_symlink("../elsewhere/single.dat", "single.dat");
    WriteHostFile("set/t1.dat", "old");
    WriteHostFile("record.dat", "old");
    ASSERT_EQ(chmod("../elsewhere/single.dat", 0600), 0);
    ASSERT_EQ(chmod("set/t1.dat", 0640), 0);
    ASSERT_EQ(chmod("record.dat", 0664), 0);  // more than the usual umask lets a new file have
    // An access list on t1.dat: user 65534 may read and write, the group
    // only read; the mask is read-write.
    const uint32_t entries[][2] = {{0x01, 06}, {0x02, 06}, {0x04, 04}, {0x10, 06}, {0x20, 0}};
    std::string list(4, '\0');
    list[0] = 2;  // version
    for (const auto& [tag, perm] : entries) {
        const uint16_t head[2] = {uint16_t(tag), uint16_t(perm)};
        const uint32_t id = tag == 0x02 ? 65534u : 0xffffffffu;
        list.append(reinterpret_cast<const char*>(head), 4).append(reinterpret_cast<const char*>(&id), 4);
    }
    const bool lists = setxattr("set/t1.dat", "system.posix_acl_access", list.data(), list.size(), 0) == 0;
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown("set/t1.dat", 4321, 4322), 0);
    }
    Fsyncs().recordCreates = true;
    Fsyncs().created.clear();
    EXPECT_EQ(WriteFileDurably("single.dat", "new", 3), 0) << GetDurableWriteError();
    EXPECT_EQ(Store({{"set/t1.dat", "new"}, {"record.dat", "new"}}), 0) << GetDurableWriteError();
    Fsyncs().recordCreates = false;
    // Every temporary and the record were made private to their owner.
    ASSERT_GE(Fsyncs().created.size(), 4u);
    for (const auto& [name, mode] : Fsyncs().created) EXPECT_EQ(mode & 077, 0u) << name << " made " << std::oct << mode;
    auto statOf = [](const char* path) {
        struct stat st {};
        EXPECT_EQ(stat(path, &st), 0) << path;
        return st;
    };
    EXPECT_EQ(statOf("../elsewhere/single.dat").st_mode & 07777, 0600u);
    EXPECT_EQ(statOf("set/t1.dat").st_mode & 07777, lists ? 0660u : 0640u);
    EXPECT_EQ(statOf("record.dat").st_mode & 07777, 0664u);
    if (lists) {
        std::string kept(list.size(), '\0');
        EXPECT_EQ(getxattr("set/t1.dat", "system.posix_acl_access", kept.data(), kept.size()), ssize_t(list.size()));
        EXPECT_EQ(kept, list) << "the group may still only read";
    }
    if (root) {
        EXPECT_EQ(statOf("set/t1.dat").st_uid, 4321u);
        EXPECT_EQ(statOf("set/t1.dat").st_gid, 4322u);
    }
    EXPECT_EQ(ScopedTempDir::ReadFile("single.dat") + ScopedTempDir::ReadFile("set/t1.dat"), "newnew");
    EXPECT_TRUE(fs::is_symlink("single.dat"));
}

// Two copies of a program, each in a folder of its own (a/ and b/), store
// their replay/ in one folder they share, linked from each.
class TwoCopies : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(0);
        fs::create_directories("shared");
        for (const char* copy : {"a", "b"}) {
            fs::create_directories(copy);
            fs::create_directory_symlink("../shared", std::string(copy) + "/replay");
        }
        WriteHostFile("shared/t1.dat", "old");
        WriteHostFile("shared/t2.dat", "old");
    }
    void TearDown() override {
        SetDurableStepHook(nullptr);
        SetLogOutput(1);
    }
    // Stores the replay (t1, t2) and the save as the copy in folder, killed
    // before its rename number killAt (0: not killed).
    int StoreRun(const char* folder, const std::string& run, int killAt = 0) {
        fs::current_path(folder);
        int renames = 0;
        SetDurableStepHook([&](DurableStep step, const std::string& path) -> int64_t {
            return step == DurableStep::Rename && path != store_.record && ++renames == killAt ? 0 : -1;
        });
        const DurableFile set[] = {{"replay/t1.dat", run.data(), run.size()},
                                   {"replay/t2.dat", run.data(), run.size()},
                                   {"save.dat", run.data(), run.size()}};
        const int result = WriteFileSetDurably(&store_, set, 3);
        SetDurableStepHook(nullptr);
        fs::current_path("..");
        return result;
    }
    int Start(const char* folder) {
        fs::current_path(folder);
        const int finished = FinishInterruptedWrites(&store_);
        fs::current_path("..");
        return finished;
    }
    static std::string Replay() {
        return ScopedTempDir::ReadFile("shared/t1.dat") + "," + ScopedTempDir::ReadFile("shared/t2.dat");
    }

    const DurableFolder folders_[2] = {{"replay", "t"}, {".", "save.dat"}};
    const DurableStore store_{folders_, 2, 3, 64, "store.commit"};
    ScopedTempDir dir_;
    SkippedFsyncs fast_;
};

TEST_F(TwoCopies, AWriteOrStartOfOneNeverTouchesWhatTheOthersUnfinishedSetCountsOn) {
    // b's save is a's, linked (a save moved into a synchronised folder).
    WriteHostFile("a/save.dat", "old save");
    fs::create_symlink("../a/save.dat", "b/save.dat");
    // a is killed after its first rename: t1 is new, t2 and its save wait.
    StoreRun("a", "a's run", 2);
    EXPECT_EQ(Replay(), "a's run,old");
    // b starts and stores its save through the link.
    Start("b");
    fs::current_path("b");
    EXPECT_EQ(FinishInterruptedWrite("save.dat"), 0);
    EXPECT_EQ(WriteFileDurably("save.dat", "b's save", 8), 0) << GetDurableWriteError();
    fs::current_path("..");
    // a starts again: its replay is finished whole, b's save (the newer) stands.
    EXPECT_EQ(Start("a"), 1);
    EXPECT_EQ(Problems(), std::vector<std::string>{});
    EXPECT_EQ(Replay(), "a's run,a's run");
    EXPECT_EQ(ScopedTempDir::ReadFile("a/save.dat"), "b's save");
    EXPECT_FALSE(Leftovers());
}

TEST_F(TwoCopies, SetsOfBothKilledHalfwayAreNeverFinishedOverEachOtherInEitherOrder) {
    for (const bool aFirst : {true, false}) {
        WriteHostFile("shared/t1.dat", "old");
        WriteHostFile("shared/t2.dat", "old");
        // a is killed after renaming t1; b, storing the same replay, after renaming t1 too.
        StoreRun("a", "a's run", 2);
        StoreRun("b", "b's run", 2);
        EXPECT_EQ(Replay(), "b's run,old");
        Start(aFirst ? "a" : "b");
        Start(aFirst ? "b" : "a");
        // b stored its set over a's: b's set is the one that stands.
        EXPECT_EQ(Replay(), "b's run,b's run") << (aFirst ? "a started first" : "b started first");
        EXPECT_EQ(ScopedTempDir::ReadFile("a/save.dat") + "|" + ScopedTempDir::ReadFile("b/save.dat"),
                  "a's run|b's run") << "each copy's own save is finished";
        EXPECT_FALSE(Leftovers());
    }
}

}  // namespace
