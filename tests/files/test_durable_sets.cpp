// A set of files stored durably is found whole, the previous one or the new
// one, after a kill at any step of its store and of the next start's
// settling, and after a store that stood unsettled; a program that comes
// next to a shared folder, another copy among them, rolls a set forward and
// never tears it; a folder another running program holds is refused, never
// waited for; a file that cannot be replaced refuses its set before
// anything is written; records this program cannot act on are left as they
// are and said; and a replaced file's access is kept, never wider on the way.
#include "durable_kill.h"
#include "engine/files.h"
#include "engine/log.h"
#include "file_test_util.h"
#include "foundation/durable.h"
#include "fsync_spy.h"
#include "scoped_temp_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The problems the last settling reported, each "<kind> <set> <file>: <reason> (<new>/<files>)".
std::vector<std::string> Problems() {
    std::vector<std::string> lines;
    DurableProblem p;
    for (int i = 0; i < GetDurableProblemCount() && GetDurableProblem(i, &p) == 0; ++i)
        lines.push_back(std::to_string(p.kind) + " " + p.set + " " + p.file + ": " + p.reason + " (" +
                        std::to_string(p.newFiles) + "/" + std::to_string(p.files) + ")");
    return lines;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Temporary files or records anywhere below folder.
bool Leftovers(const char* folder = ".") {
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.ends_with(".tmp") || name.ends_with(".commit")) return true;
    }
    return false;
}

std::string Read(const std::string& path) { return fs::exists(path) ? ScopedTempDir::ReadFile(path) : "(absent)"; }

int StoreSet(const DurableStore& store, const std::vector<std::pair<std::string, std::string>>& set) {
    std::vector<DurableFile> files;
    for (const auto& [path, bytes] : set) files.push_back({path.c_str(), bytes.data(), bytes.size()});
    return WriteFileSetDurably(&store, files.data(), files.size());
}

// Stops the store at its rename number killAt (from 1) of a stored file, as a kill would.
struct KillAtRename {
    explicit KillAtRename(int killAt) {
        SetDurableStepHook([this, killAt](DurableStep step, const std::string& path) -> int64_t {
            return step == DurableStep::Rename && !path.ends_with(".commit") && ++renames == killAt ? 0 : -1;
        });
    }
    ~KillAtRename() { SetDurableStepHook(nullptr); }
    int renames = 0;
};

// Holds a folder's lock as another running program does, until it ends.
struct HeldFolder {
    explicit HeldFolder(const char* path) : descriptor(open(path, O_RDONLY | O_DIRECTORY)) {
        EXPECT_EQ(flock(descriptor, LOCK_EX), 0);
    }
    ~HeldFolder() { close(descriptor); }
    int descriptor;
};

// A replay-like set spread over two folders: six streams and a meta file
// under set/, and a record file in the working directory.
const std::vector<std::string> kPaths = {"set/t5_in.dat",     "set/t5_action.dat", "set/t5_slope.dat",
                                         "set/t5_analog.dat", "set/t5_mouse.dat",  "set/t5_keys.dat",
                                         "set/t5_meta.dat",   "record.dat"};

std::vector<std::pair<std::string, std::string>> Contents(uint32_t seed) {
    std::vector<std::pair<std::string, std::string>> set;
    for (size_t i = 0; i < kPaths.size(); ++i) set.push_back({kPaths[i], PatternBytes(40 + 7 * i + seed % 5, seed + uint32_t(i))});
    set[3].second = "the same analog stream in both sets";
    set[5].second.clear();  // an empty stream
    return set;
}

const DurableFolder kFolders[] = {{"set", "t"}, {".", "record.dat"}};
const DurableStore kStore{kFolders, std::size(kFolders), 8, 4096};

class DurableSets : public ::testing::Test {
protected:
    void SetUp() override { SetLogOutput(0); }
    void TearDown() override {
        SetLogOutput(1);
        Fsyncs() = FsyncSpy{};
        ReleaseDurableFolders();
    }

    static std::vector<std::string> Found() {
        std::vector<std::string> found;
        for (const std::string& path : kPaths) found.push_back(Read(path));
        return found;
    }
    static std::vector<std::string> Bytes(const std::vector<std::pair<std::string, std::string>>& set) {
        std::vector<std::string> bytes;
        for (const auto& [path, b] : set) bytes.push_back(b);
        return bytes;
    }
    static void Put(const std::vector<std::string>& before) {
        for (const fs::directory_entry& e : fs::directory_iterator(".")) fs::remove_all(e.path());
        fs::create_directory("set");
        for (size_t i = 0; i < kPaths.size(); ++i)
            if (before[i] != "(absent)") WriteHostFile(kPaths[i], before[i]);
    }
    static KillDriver Driver(const std::vector<std::string>& before, const std::vector<std::pair<std::string, std::string>>& after) {
        KillDriver d;
        d.putOldSet = [before] { Put(before); };
        d.store = [after] { StoreSet(kStore, after); };
        d.settle = [] { FinishInterruptedWrites(&kStore); };
        d.read = [before, after] {
            const std::vector<std::string> found = Found();
            return found == before ? SetFound::Old : found == Bytes(after) ? SetFound::New : SetFound::Mixed;
        };
        d.leftovers = [] { return Leftovers(); };
        return d;
    }
    ScopedTempDir dir_;
    SkippedFsyncs fast_;
};

TEST_F(DurableSets, AKillAtAnyStepOfTheStoreOrOfTheNextStartLeavesOneWholeSet) {
    const KillTally replaced = KillAtEveryStep(Driver(Bytes(Contents(1)), Contents(2)));
    // The first store of a set: before it, none of its files exist.
    const KillTally first = KillAtEveryStep(Driver(std::vector<std::string>(kPaths.size(), "(absent)"), Contents(3)));
    RecordProperty("cases", replaced.cases + first.cases);
    EXPECT_GT(replaced.cases + first.cases, 300);
    EXPECT_EQ(replaced.mixed + first.mixed, 0);
    EXPECT_GT(replaced.old, 0);
    EXPECT_GT(replaced.fresh, 0);
}

TEST_F(DurableSets, AStoreLeftNotWholeSaysSoTrulyAndIsFinishedByTheNextStoreOrStart) {
    const std::vector<std::string> before = Bytes(Contents(6));
    const auto first = Contents(7), second = Contents(8);
    std::vector<std::string> halfway = Bytes(first);
    halfway[2] = before[2];
    // A rename that fails once the set stands (a disk remounted read-only
    // between two renames): stored, not whole, and the next start finishes it.
    for (const int error : {EIO, EROFS}) {
        Put(before);
        Fsyncs().failRename = "t5_slope.dat";
        Fsyncs().renameError = error;
        EXPECT_EQ(StoreSet(kStore, first), kDurableStoredUnsettled);
        Fsyncs().failRename.clear();
        EXPECT_TRUE(Contains(GetDurableWriteError(), "7 of its 8 files hold their new copies, and the next start puts "
                                                     "the rest in place")) << GetDurableWriteError();
        EXPECT_EQ(Found(), halfway);
        EXPECT_EQ(FinishInterruptedWrites(&kStore), 1);
        EXPECT_EQ(Problems(), std::vector<std::string>{});
        EXPECT_EQ(Found(), Bytes(first));
        EXPECT_FALSE(Leftovers());
    }
    // The later store is killed at every step while the first stands
    // unsettled: it settles the first one before anything else.
    KillDriver d = Driver(Bytes(first), second);
    d.putOldSet = [&] {
        Put(before);
        Fsyncs().failRename = "t5_slope.dat";
        EXPECT_EQ(StoreSet(kStore, first), kDurableStoredUnsettled);
        Fsyncs().failRename.clear();
    };
    const KillTally tally = KillAtEveryStep(d);
    EXPECT_EQ(tally.mixed, 0);
    EXPECT_GT(tally.fresh, 0);

    // A folder flush that fails once the set stands: stored, its records
    // kept, and the next start finds nothing to say of it.
    Put(before);
    Fsyncs().recording = true;
    EXPECT_EQ(StoreSet(kStore, first), 0);
    size_t afterRenames = Fsyncs().synced.size();  // the last flushes are the folders', after the renames
    Put(before);
    Fsyncs().synced.clear();
    Fsyncs().failCall = int(afterRenames);
    EXPECT_EQ(StoreSet(kStore, first), kDurableStoredUnsettled);
    EXPECT_EQ(Found(), Bytes(first));
    EXPECT_EQ(FinishInterruptedWrites(&kStore), 1);
    EXPECT_EQ(Problems(), std::vector<std::string>{});
    EXPECT_FALSE(Leftovers());
    // One that fails on the commit folder's record, before it is renamed:
    // not stored, and nothing of it left. Once it is renamed the set stood,
    // whatever fails after: it is finished.
    Put(before);
    Fsyncs().synced.clear();
    Fsyncs().failCall = 0;
    EXPECT_EQ(StoreSet(kStore, first), 0);
    size_t commit = 0;
    for (size_t i = 0; i < Fsyncs().synced.size(); ++i)
        if (Contains(Fsyncs().synced[i], "/set/store.")) commit = i + 1;  // the record's file, then its folder
    for (const int failing : {0, 1}) {
        Put(before);
        Fsyncs().synced.clear();
        Fsyncs().failCall = int(commit) + failing;
        EXPECT_EQ(StoreSet(kStore, first), failing ? 0 : -1);
        EXPECT_EQ(Found(), failing ? Bytes(first) : before);
        EXPECT_FALSE(Leftovers());
        EXPECT_EQ(FinishInterruptedWrites(&kStore), 0);
        EXPECT_EQ(Problems(), std::vector<std::string>{});
    }
    Fsyncs() = FsyncSpy{};
    Fsyncs().skip = true;
}

// A set the settling cannot finish keeps its record and is said: a folder
// flush that fails, or a rename that keeps failing. A new store naming a
// file it still has to replace is refused and never written over it; once
// the fault clears, the next settling finishes it and the store goes on.
TEST_F(DurableSets, ASetTheSettlingCannotFinishKeepsItsRecordAndNoStoreGoesOverIt) {
    const auto first = Contents(11), second = Contents(12);
    Put(Bytes(Contents(10)));
    {
        KillAtRename kill(1);
        StoreSet(kStore, first);
    }
    Fsyncs().recording = true;
    Fsyncs().failCall = 1;  // the settling's first folder flush
    EXPECT_EQ(FinishInterruptedWrites(&kStore), 0);
    Fsyncs() = FsyncSpy{};
    Fsyncs().skip = true;
    ASSERT_EQ(Problems().size(), 1u);
    EXPECT_TRUE(Contains(Problems()[0], std::to_string(kDurableSetNotFinished) + " ") &&
                Contains(Problems()[0], "flushing the folder")) << Problems()[0];
    EXPECT_TRUE(Leftovers()) << "its record stays for the next settling";
    EXPECT_EQ(FinishInterruptedWrites(&kStore), 1);
    EXPECT_EQ(Found(), Bytes(first));
    EXPECT_FALSE(Leftovers());

    Fsyncs().failRename = "t5_slope.dat";
    EXPECT_EQ(StoreSet(kStore, second), kDurableStoredUnsettled);
    std::vector<std::string> halfway = Bytes(second);
    halfway[2] = Bytes(first)[2];
    const std::vector<std::pair<std::string, std::string>> third = Contents(13);
    EXPECT_EQ(StoreSet(kStore, third), -1);
    EXPECT_TRUE(Contains(GetDurableWriteError(), "set/t5_slope.dat waits for an earlier store of it to be finished"))
        << GetDurableWriteError();
    EXPECT_EQ(Problems().size(), 1u);
    EXPECT_EQ(Found(), halfway);
    EXPECT_EQ(StoreSet(kStore, {{"record.dat", "apart"}}), 0) << "a file of no unfinished set is stored";
    Fsyncs().failRename.clear();
    EXPECT_EQ(StoreSet(kStore, third), 0) << GetDurableWriteError();
    EXPECT_EQ(Found(), Bytes(third));
    EXPECT_FALSE(Leftovers());
}

// A program takes and settles a folder once, at its first use: later
// stores neither list it nor settle it again (what is left there is
// another run's, settled at the next start). A folder that cannot be
// listed is said, and nothing is stored there until it can be.
TEST_F(DurableSets, AFolderIsSettledOnceARunAndOneThatCannotBeListedIsSaidAndHoldsUpItsStores) {
    Put(Bytes(Contents(20)));
    {
        KillAtRename kill(1);
        StoreSet(kStore, Contents(21));
    }
    int lowest = dup(0);
    close(lowest);
    rlimit files {};
    getrlimit(RLIMIT_NOFILE, &files);
    const rlimit few{rlim_t(lowest + 2), files.rlim_max};  // the two folders, and no listing
    setrlimit(RLIMIT_NOFILE, &few);
    const int settled = FinishInterruptedWrites(&kStore);
    const std::vector<std::string> problems = Problems();
    const int stored = StoreSet(kStore, {{"set/t5_in.dat", "x"}});
    setrlimit(RLIMIT_NOFILE, &files);
    EXPECT_EQ(settled, 0);
    ASSERT_FALSE(problems.empty());
    EXPECT_TRUE(Contains(problems[0], std::to_string(kDurableFolderUnavailable) + " ") &&
                Contains(problems[0], "cannot be listed now (Too many open files)")) << problems[0];
    EXPECT_EQ(stored, -1);
    EXPECT_EQ(StoreSet(kStore, {{"set/t5_in.dat", "y"}}), 0) << GetDurableWriteError();
    std::vector<std::string> expected = Bytes(Contents(21));
    expected[0] = "y";
    EXPECT_EQ(Found(), expected);

    const std::string left = "set/t5_in.dat.0123456789abcdef.tmp";
    WriteHostFile(left, "what another run left");
    EXPECT_EQ(StoreSet(kStore, {{"set/t5_in.dat", "z"}}), 0);
    EXPECT_EQ(FinishInterruptedWrites(&kStore), 0);
    EXPECT_TRUE(fs::exists(left)) << "a folder this run settled is not settled again";
    ReleaseDurableFolders();  // the next start
    EXPECT_EQ(FinishInterruptedWrites(&kStore), 0);
    EXPECT_FALSE(Leftovers());
}

// A folder whose reading fails part way (a disk error) is never taken for
// empty: a set that stood there is said to wait with its folder, and no
// store goes over it; once the folder reads again the set is finished
// first.
TEST_F(DurableSets, AFolderWhoseReadingFailsIsNeverTakenForEmpty) {
    const std::vector<std::string> before = Bytes(Contents(30));
    std::vector<std::pair<std::string, std::string>> set = Contents(31);
    set.pop_back();  // the files of set/ alone, whose record stands there only
    Put(before);
    {
        KillAtRename kill(2);
        StoreSet(kStore, set);
    }
    ReleaseDurableFolders();  // the next start
    Fsyncs().failList = "/set";
    EXPECT_EQ(FinishInterruptedWrites(&kStore), 0);
    const std::vector<std::string> problems = Problems();
    const int stored = StoreSet(kStore, {{"set/t5_in.dat", "x"}});
    const std::string why = GetDurableWriteError();
    Fsyncs().failList.clear();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], std::to_string(kDurableFolderUnavailable) + "  : the folder cannot be listed now "
                           "(Input/output error): nothing is stored or settled there until it can be (0/0)");
    EXPECT_EQ(stored, -1);
    EXPECT_TRUE(Contains(why, "set/t5_in.dat stands in a folder that cannot be used now")) << why;
    EXPECT_EQ(StoreSet(kStore, {{"set/t5_in.dat", "y"}}), 0) << GetDurableWriteError();
    std::vector<std::string> expected = Bytes(set);
    expected[0] = "y";
    expected.push_back(before.back());
    EXPECT_EQ(Found(), expected);
    EXPECT_FALSE(Leftovers());
}

// Two programs, each in a folder of its own (a/ and b/), whose replay/ is a
// link to one folder they share; a program's end is its folders let go.
class TwoPrograms : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(0);
        for (const char* program : {"a", "b"}) {
            fs::create_directories(program);
            fs::create_directory_symlink("../shared", std::string(program) + "/replay");
        }
        fs::create_directories("shared");
    }
    void TearDown() override {
        SetDurableStepHook(nullptr);
        ReleaseDurableFolders();
        SetLogOutput(1);
    }
    // Runs `work` as the program in folder, which then ends.
    template <class Work>
    auto As(const char* folder, Work work) {
        fs::current_path(folder);
        const auto result = work();
        fs::current_path("..");
        ReleaseDurableFolders();
        return result;
    }
    static std::string Replay(int files) {
        std::string all;
        for (int i = 1; i <= files; ++i) all += Read("shared/t" + std::to_string(i) + ".dat") + " ";
        return all;
    }
    static std::vector<std::pair<std::string, std::string>> Run(const std::string& run, int files, bool withSave) {
        std::vector<std::pair<std::string, std::string>> set;
        for (int i = 1; i <= files; ++i) set.push_back({"replay/t" + std::to_string(i) + ".dat", run});
        if (withSave) set.push_back({"save.dat", run + "'s save"});
        return set;
    }

    const DurableFolder folders_[2] = {{".", "save.dat"}, {"replay", "t"}};
    const DurableStore store_{folders_, 2, 8, 4096};
    ScopedTempDir dir_;
    SkippedFsyncs fast_;
};

TEST_F(TwoPrograms, TheNextProgramRollsAnInterruptedSetForwardBeforeItsOwnStoreAndNeverTearsIt) {
    for (int i = 1; i <= 3; ++i) WriteHostFile("shared/t" + std::to_string(i) + ".dat", "old");
    // a is killed once the first file of its set is renamed.
    As("a", [&] {
        KillAtRename kill(2);
        return StoreSet(store_, Run("A", 3, false));
    });
    EXPECT_EQ(Replay(3), "A old old ");
    // b stores t3 alone: a's set is finished first, b's file stands after it.
    EXPECT_EQ(As("b", [&] { return StoreSet(store_, {{"replay/t3.dat", "B"}}); }), 0) << GetDurableWriteError();
    EXPECT_EQ(Replay(3), "A A B ");
    EXPECT_EQ(As("a", [&] { return FinishInterruptedWrites(&store_); }), 0);
    EXPECT_EQ(Problems(), std::vector<std::string>{});
    EXPECT_EQ(Replay(3), "A A B ");
    EXPECT_FALSE(Leftovers());
}

TEST_F(TwoPrograms, ASetIsFoundFromEveryFolderItTouchesAlsoWhenTheProgramThatStoredItIsGone) {
    // a's run: six streams in the shared folder and a's save; killed after
    // its first rename. b's save is a's (b stores it where b's link would
    // lead): b's start finishes a's save too, before b reads it.
    for (int i = 1; i <= 6; ++i) WriteHostFile("shared/t" + std::to_string(i) + ".dat", "a1");
    WriteHostFile("a/save.dat", "a1's save");
    As("a", [&] {
        KillAtRename kill(2);
        return StoreSet(store_, Run("a2", 6, true));
    });
    const DurableFolder bFolders[] = {{"replay", "t"}, {"../a", "save.dat"}};
    const DurableStore bStore{bFolders, 2, 8, 4096};
    EXPECT_EQ(As("b", [&] { return FinishInterruptedWrites(&bStore); }), 1);
    EXPECT_EQ(Replay(6) + Read("a/save.dat"), "a2 a2 a2 a2 a2 a2 a2's save");
    EXPECT_FALSE(Leftovers());

    // Killed after three renames, then a's folder is deleted: b, which
    // stores in the shared folder alone, finishes the replay there.
    As("a", [&] {
        KillAtRename kill(4);  // three streams; the save, in the commit folder, comes last
        return StoreSet(store_, Run("a3", 6, true));
    });
    EXPECT_EQ(Replay(6), "a3 a3 a3 a2 a2 a2 ");
    fs::remove_all("a");
    EXPECT_EQ(As("b", [&] { return FinishInterruptedWrites(&store_); }), 0);
    EXPECT_EQ(Problems(), std::vector<std::string>{});
    EXPECT_EQ(Replay(6), "a3 a3 a3 a3 a3 a3 ");
}

// A set stood once its commit folder held its copy, or once a file of it
// was renamed: a set whose commit folder lost its copy after renames (that
// folder made anew) is finished, never dropped. One that never stood is
// never finished by a program that cannot see its commit folder, whatever
// bytes its files come to hold: that program says the set waits, and does
// not store over it; the program that stored it drops it.
TEST_F(TwoPrograms, ASetThatStoodIsNeverDroppedAndOneThatDidNotIsNeverFinishedFromAnotherFolder) {
    for (int i = 1; i <= 6; ++i) WriteHostFile("shared/t" + std::to_string(i) + ".dat", "a1");
    WriteHostFile("a/save.dat", "a1's save");
    As("a", [&] {
        KillAtRename kill(4);  // three streams renamed
        return StoreSet(store_, Run("a2", 6, true));
    });
    for (const fs::directory_entry& e : fs::directory_iterator("a"))
        if (e.path().extension() == ".commit") fs::remove(e.path());
    EXPECT_EQ(As("a", [&] { return FinishInterruptedWrites(&store_); }), 1);
    EXPECT_EQ(Problems(), std::vector<std::string>{});
    EXPECT_EQ(Replay(6) + Read("a/save.dat"), "a2 a2 a2 a2 a2 a2 a2's save");
    EXPECT_FALSE(Leftovers());

    // Killed as a's commit copy was to be written.
    As("a", [&] {
        SetDurableStepHook([](DurableStep step, const std::string& path) -> int64_t {
            return step == DurableStep::WriteRecord && !path.starts_with("replay/") ? 0 : -1;
        });
        return StoreSet(store_, Run("a3", 2, true));
    });
    SetDurableStepHook(nullptr);
    const std::vector<std::string> said = As("b", [&] {
        FinishInterruptedWrites(&store_);
        const std::vector<std::string> problems = Problems();
        EXPECT_EQ(StoreSet(store_, {{"replay/t1.dat", "a3"}}), -1);
        EXPECT_TRUE(Contains(GetDurableWriteError(), "waits for an earlier store")) << GetDurableWriteError();
        return problems;
    });
    ASSERT_EQ(said.size(), 1u);
    EXPECT_TRUE(said[0].starts_with(std::to_string(kDurableSetWaitsElsewhere) + " replay/t1.dat replay/store.") &&
                said[0].ends_with(".commit: it waits for a folder it was stored in that this program does not use "
                                  "(0/2)")) << said[0];
    EXPECT_EQ(As("a", [&] { return FinishInterruptedWrites(&store_); }), 0);
    EXPECT_EQ(Problems(), std::vector<std::string>{});
    EXPECT_EQ(As("b", [&] { return FinishInterruptedWrites(&store_); }), 0);
    EXPECT_EQ(Problems(), std::vector<std::string>{});
    EXPECT_EQ(Replay(6) + Read("a/save.dat"), "a2 a2 a2 a2 a2 a2 a2's save");
    EXPECT_FALSE(Leftovers());
}

// One folder reached by two of the store's folders (a link to it) is one
// place: a set there has one copy of its record, and the names either
// folder's rules keep are stored there, read back from the record byte for
// byte (a name that begins with a blank among them).
TEST_F(TwoPrograms, OneFolderUnderTwoPathsIsOnePlaceAndItsRecordNamesComeBackByteForByte) {
    const DurableFolder folders[] = {{"shared", " "}, {"a/replay", "t"}};
    const DurableStore store{folders, 2, 8, 4096};
    const std::vector<std::pair<std::string, std::string>> set = {
        {"shared/ save.dat", "new save"}, {"a/replay/t1.dat", "new one"}, {"a/replay/t2.dat", "new two"}};
    WriteHostFile("shared/ save.dat", "old save");
    int records = 0;
    SetDurableStepHook([&](DurableStep step, const std::string& path) -> int64_t {
        records += step == DurableStep::WriteRecord;
        return step == DurableStep::Rename && !path.ends_with(".commit") ? 0 : -1;
    });
    StoreSet(store, set);
    SetDurableStepHook(nullptr);
    EXPECT_EQ(records, 1);
    ReleaseDurableFolders();  // the next start
    EXPECT_EQ(FinishInterruptedWrites(&store), 1);
    EXPECT_EQ(Problems(), std::vector<std::string>{});
    EXPECT_EQ(Read("shared/ save.dat") + Replay(2), "new savenew one new two ");
    EXPECT_FALSE(Leftovers());
}

TEST_F(TwoPrograms, AFolderAnotherRunningProgramHoldsIsRefusedAtOnceAndNothingIsWritten) {
    WriteHostFile("shared/t1.dat", "old");
    fs::current_path("b");
    {
        HeldFolder held("replay");
        for (int call = 0; call < 2; ++call) {
            EXPECT_EQ(call == 0 ? FinishInterruptedWrites(&store_) : StoreSet(store_, Run("B", 1, true)), -1);
            EXPECT_EQ(std::string(GetDurableWriteError()),
                      "the folder replay (" + fs::canonical("../shared").string() + ") is used by another running program");
        }
        EXPECT_FALSE(fs::exists("save.dat")) << "nothing of the refused set is written, the save neither";
        // What it took itself it let go again: another program may take it.
        const int here = open(".", O_RDONLY | O_DIRECTORY);
        EXPECT_EQ(flock(here, LOCK_EX | LOCK_NB), 0);
        close(here);
    }
    EXPECT_EQ(StoreSet(store_, Run("B", 1, true)), 0) << GetDurableWriteError();
    fs::current_path("..");
    EXPECT_EQ(Replay(1) + Read("b/save.dat"), "B B's save");
    // While this program holds the folders, another that reaches one is refused.
    const int other = open("shared", O_RDONLY | O_DIRECTORY);
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), -1);
    close(other);
}

// A store run from game/ with the folders set/ (names "t<n>.dat") and
// linked/, a link to elsewhere/ (a folder moved to another disk), beside
// outside/, whose files no store may change.
class StoresBesideOtherFiles : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(0);
        WriteHostFile("outside/x", "the file outside");
        WriteHostFile("outside/x.tmp", "what a record would put in its place");
        fs::create_directories("game/set");
        fs::create_directories("elsewhere");
        fs::create_directory_symlink("../elsewhere", "game/linked");
        fs::current_path("game");
    }
    void TearDown() override {
        SetLogOutput(1);
        SetDurableStepHook(nullptr);
        Fsyncs() = FsyncSpy{};
        ReleaseDurableFolders();
    }
    // As the next run's start does.
    std::vector<std::string> Settle(int expectFinished = 0) {
        ReleaseDurableFolders();
        EXPECT_EQ(FinishInterruptedWrites(&store_), expectFinished);
        return Problems();
    }
    int Store(const std::vector<std::pair<std::string, std::string>>& set) { return StoreSet(store_, set); }
    static int StoredName(const char* name) { return std::string(name).ends_with(".dat"); }
    static std::string Outside() { return Read("../outside/x") + "|" + Read("../outside/x.tmp"); }
    // A record of this version naming files (folder, name, new bytes, previous bytes or "(absent)").
    static std::string Record(const std::vector<std::tuple<std::string, std::string, std::string, std::string>>& files) {
        std::vector<durable::RecordedFile> lines;
        for (const auto& [folder, name, fresh, previous] : files) {
            struct stat st {};
            stat(folder.c_str(), &st);
            lines.push_back({{st.st_dev, st.st_ino}, durable::CopyOf(fresh.data(), fresh.size()),
                             previous == "(absent)" ? durable::Copy{} : durable::CopyOf(previous.data(), previous.size()), name});
        }
        return durable::RecordText(lines);
    }
    static constexpr const char* kId = "0123456789abcdef";

    const DurableFolder folders_[3] = {{"set", "t", StoredName}, {"linked", "t"}, {".", "record.dat"}};
    DurableStore store_{folders_, 3, 4, 64};
    ScopedTempDir dir_;
    SkippedFsyncs fast_;
};

TEST_F(StoresBesideOtherFiles, RecordsThisProgramCannotActOnAreLeftAsTheyAreAndSaidAndHoldUpNoStore) {
    const std::string outside = Outside();
    const std::string temporary = durable::TemporaryName("t1.dat", kId);
    struct Planted {
        std::string name, text, problem, temporary;
    };
    const std::vector<Planted> planted = {
        // Another version's record, with its temporary.
        {"Stores.commit", "durable store record 2\n1 0badc0de 3 00000000 -1 00000000 set/t1.dat\nend 00000000\n",
         "another version of the program", "t1.dat.0badc0de.tmp"},
        {durable::RecordName(kId), Record({{"set", "t1.dat", "new", "(absent)"}}).substr(0, 40), "it is damaged", temporary},
        {durable::RecordName(kId), Record({{"set", "../../outside/x", "x", "the file outside"}}),
         "a file the store does not keep", temporary},
        {durable::RecordName(kId), Record({{"set", "notes.txt", "x", "(absent)"}}), "a file the store does not keep",
         temporary},
    };
    for (const Planted& record : planted) {
        WriteHostFile("set/" + record.name, record.text);
        WriteHostFile("set/" + record.temporary, "new");
        const std::vector<std::string> problems = Settle();
        ASSERT_EQ(problems.size(), 1u) << record.problem;
        EXPECT_EQ(problems[0].rfind(std::to_string(kDurableRecordUnusable) + " set/" + record.name, 0), 0u) << problems[0];
        EXPECT_TRUE(Contains(problems[0], record.problem)) << problems[0];
        // Left as it is, with its temporaries; the stores go on.
        EXPECT_EQ(Read("set/" + record.name) + Read("set/" + record.temporary), record.text + "new");
        EXPECT_EQ(Store({{"set/t2.dat", "two"}}), 0) << GetDurableWriteError();
        EXPECT_EQ(Outside(), outside);
        fs::remove("set/" + record.name);
    }
    // A folder at a record's name, and a record that cannot be read now (one
    // a run as root left): said, and no store is held up.
    fs::create_directory("set/" + durable::RecordName(kId));
    EXPECT_TRUE(Contains(Settle().at(0), "it is no regular file"));
    fs::remove("set/" + durable::RecordName(kId));
    WriteHostFile("set/" + durable::RecordName(kId), Record({{"set", "t1.dat", "new", "(absent)"}}));
    Fsyncs().failOpen = durable::RecordName(kId);
    EXPECT_TRUE(Contains(Settle().at(0), "it cannot be read (Input/output error)"));
    EXPECT_EQ(Store({{"set/t3.dat", "three"}, {"record.dat", "x"}}), 0) << GetDurableWriteError();
    EXPECT_EQ(Read("set/" + temporary), "new") << "its temporary stays while it may count on it";
    Fsyncs().failOpen.clear();
    // Readable again, whole and true: finished.
    EXPECT_EQ(Settle(1), std::vector<std::string>{});
    EXPECT_EQ(Read("set/t1.dat"), "new");
}

TEST_F(StoresBesideOtherFiles, ASetIsSettledOnlyWhereItsFoldersWereOpenedAndNoTemporaryWithOtherNamesIsTaken) {
    const std::string outside = Outside();
    // set/ swapped for a link to a folder of the attacker's as the first
    // rename is to happen: the settling stays in the folder it opened.
    for (const char* file : {"linked/t1.dat", "set/t1.dat", "set/t2.dat"})
        WriteHostFile(durable::TemporaryName(file, kId), "new");
    const std::string record = Record({{"set", "t1.dat", "new", "(absent)"}, {"set", "t2.dat", "new", "(absent)"},
                                       {"linked", "t1.dat", "new", "(absent)"}});
    WriteHostFile("set/" + durable::RecordName(kId), record);
    WriteHostFile("linked/" + durable::RecordName(kId), record);
    WriteHostFile("evil/t1.dat", "a file in the other folder");
    WriteHostFile(durable::TemporaryName("evil/t1.dat", kId), "new");
    fs::create_directory_symlink("evil", "swap");
    SetDurableStepHook([](DurableStep step, const std::string& path) -> int64_t {
        if (step == DurableStep::Rename && path == "set/t1.dat") renameat2(AT_FDCWD, "set", AT_FDCWD, "swap", RENAME_EXCHANGE);
        return -1;
    });
    EXPECT_EQ(Settle(1), std::vector<std::string>{});
    SetDurableStepHook(nullptr);
    EXPECT_EQ(Read("../elsewhere/t1.dat") + Read("swap/t1.dat") + Read("swap/t2.dat"), "newnewnew");
    EXPECT_EQ(Read("evil/t1.dat") + Read(durable::TemporaryName("evil/t1.dat", kId)), "a file in the other foldernew");
    fs::rename("swap", "set2");
    fs::rename("set", "swap");
    fs::rename("set2", "set");
    // A temporary with another name (a hard link to a file outside that
    // holds the recorded bytes) is never taken; a folder at a file's name
    // drops that file.
    fs::create_hard_link("../outside/x", durable::TemporaryName("set/t3.dat", kId));
    fs::create_directory("set/t4.dat");
    WriteHostFile("set/" + durable::RecordName(kId),
                  Record({{"set", "t3.dat", "the file outside", "(absent)"}, {"set", "t4.dat", "x", "(absent)"}}));
    const std::vector<std::string> problems = Settle();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0], std::to_string(kDurableSetDropped) + " set/t3.dat set/t3.dat: keeps its previous copy: its "
                           "new one has other names (hard links) (0/2)");
    EXPECT_EQ(problems[1], std::to_string(kDurableSetDropped) + " set/t3.dat set/t4.dat: is no regular file (0/2)");
    EXPECT_FALSE(fs::exists("set/t3.dat"));
    EXPECT_EQ(Outside(), outside);
    EXPECT_FALSE(Leftovers("set"));
}

TEST_F(StoresBesideOtherFiles, AFolderThatCannotBeOpenedNowIsSaidAndHoldsUpNoOtherStore) {
    // A set across linked/ (its commit folder) and the working directory,
    // killed once its file in linked/ was renamed; then the disk is gone.
    WriteHostFile("record.dat", "old");
    WriteHostFile("linked/t1.dat", "old");
    {
        KillAtRename kill(2);
        Store({{"linked/t1.dat", "new"}, {"record.dat", "new"}});
    }
    ReleaseDurableFolders();
    fs::rename("../elsewhere", "../unmounted");
    const std::vector<std::string> problems = Settle();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_TRUE(problems[0].starts_with(std::to_string(kDurableFolderUnavailable) + "  : the folder cannot be opened "
                                        "now (Link has been severed)")) << problems[0];
    EXPECT_EQ(Store({{"record.dat", "newer"}}), 0) << GetDurableWriteError();
    EXPECT_EQ(Store({{"linked/t2.dat", "x"}}), -1);
    fs::rename("../unmounted", "../elsewhere");
    EXPECT_EQ(Settle(1), std::vector<std::string>{});
    EXPECT_EQ(Read("linked/t1.dat") + Read("record.dat"), "newnewer") << "the file stored since is left to that store";
    EXPECT_FALSE(Leftovers() || Leftovers("linked/"));
}

// A record in a folder it does not name (the disk mounted again under
// another device number, or the folder copied) is one no program can
// finish: it is said with what its files there hold, left with its
// temporary, and holds up no store; once it is removed, the next start
// takes the temporary.
TEST_F(StoresBesideOtherFiles, ARecordOfItsFolderUnderAnotherDeviceNumberIsSaidAndHoldsUpNoStore) {
    struct stat st {};
    ASSERT_EQ(stat("set", &st), 0);
    const durable::RecordedFile first{{st.st_dev + 1, st.st_ino}, durable::CopyOf("new", 3), {}, "t1.dat"};
    durable::RecordedFile second = first;
    second.name = "t2.dat";
    WriteHostFile("set/" + durable::RecordName(kId), durable::RecordText({first, second}));
    WriteHostFile(durable::TemporaryName("set/t1.dat", kId), "new");
    WriteHostFile("set/t2.dat", "new");
    const std::vector<std::string> problems = Settle();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], std::to_string(kDurableRecordUnusable) + " set/" + durable::RecordName(kId) +
                               " : it was stored in this folder under another device number or inode (the folder "
                               "copied, or its disk mounted again), so no program can finish it (1/2)");
    EXPECT_EQ(Store({{"set/t1.dat", "x"}, {"set/t2.dat", "x"}}), 0) << GetDurableWriteError();
    EXPECT_EQ(Read(durable::TemporaryName("set/t1.dat", kId)), "new");
    fs::remove("set/" + durable::RecordName(kId));
    EXPECT_EQ(Settle(), std::vector<std::string>{});
    EXPECT_FALSE(Leftovers());
}

// The names a store keeps follow one rule: any character but a control
// (C0, DEL, C1) or '/', up to 200 bytes. "£" (whose first byte the C1
// controls share) and names of 180 and 200 bytes are kept, in a store and
// in the record a kill left; a C1 control, an escape, malformed UTF-8 and
// 201 bytes are not.
TEST_F(StoresBesideOtherFiles, ANameIsKeptByOneRuleWhateverItsCharactersUpToItsLength) {
    const std::vector<std::pair<std::string, std::string>> kept = {
        {"set/t£.dat", "new"}, {"set/t" + std::string(175, 'e') + ".dat", "new"},
        {"set/t" + std::string(195, 'e') + ".dat", "new"}};
    {
        KillAtRename kill(2);
        Store(kept);
    }
    EXPECT_EQ(Settle(1), std::vector<std::string>{});
    for (const auto& [path, bytes] : kept) EXPECT_EQ(Read(path), bytes) << path.size();
    EXPECT_FALSE(Leftovers("set"));
    for (const std::string name : {"t\xc2\x85.dat", "t\x1b[2J.dat", "t\xa3.dat", "t\xc2.dat"})
        EXPECT_EQ(Store({{"set/" + name, "x"}}), -1) << name;
    EXPECT_EQ(Store({{"set/t" + std::string(196, 'e') + ".dat", "x"}}), -1);
    EXPECT_TRUE(Contains(GetDurableWriteError(), " is not a file the store keeps in its folders"));
    EXPECT_FALSE(Leftovers("set"));
}

// A kept file is read in parts and never past the most a set holds: one
// that holds more is no copy a set made. A set is refused before it writes
// over one, and a settling leaves it as it is, and says so.
TEST_F(StoresBesideOtherFiles, AFileOfMoreBytesThanASetHoldsIsNeverReadWholeAndRefusesItsSet) {
    WriteHostFile("set/t1.dat", "");
    ASSERT_EQ(truncate("set/t1.dat", off_t(1) << 30), 0);  // a gibibyte, sparse
    EXPECT_EQ(Store({{"set/t1.dat", "x"}, {"set/t2.dat", "y"}}), -1);
    EXPECT_TRUE(Contains(GetDurableWriteError(), "set/t1.dat holds more than 64 bytes")) << GetDurableWriteError();
    WriteHostFile("set/" + durable::RecordName(kId),
                  Record({{"set", "t1.dat", "new", "(absent)"}, {"set", "t2.dat", "new", "(absent)"}}));
    for (const char* file : {"set/t1.dat", "set/t2.dat"}) WriteHostFile(durable::TemporaryName(file, kId), "new");
    EXPECT_EQ(Settle(), std::vector<std::string>{std::to_string(kDurableSetDropped) + " set/t1.dat set/t1.dat: holds "
                                                  "more than 64 bytes (1/2)"});
    EXPECT_EQ(fs::file_size("set/t1.dat"), uintmax_t(1) << 30);
    EXPECT_EQ(Read("set/t2.dat"), "new");
    EXPECT_FALSE(Leftovers("set"));
}

TEST_F(StoresBesideOtherFiles, TheWriterRefusesBeforeWritingAnySetTheStartCouldNotFinish) {
    fs::create_directory("set/t3.dat");
    mkfifo("set/t4.dat", 0600);
    fs::create_symlink("../../outside/x", "set/t5.dat");
    const std::string absolute = (fs::current_path() / "set/t1.dat").string();
    const std::vector<std::vector<std::pair<std::string, std::string>>> refused = {
        {{"set/t1.dat", "x"}, {absolute, "x"}},        {{"set/../set/t1.dat", "x"}},
        {{"set/notes.txt", "x"}},                       {{"set/t1.dat.tmp", "x"}},
        {{"set/t1.dat", std::string(65, 'x')}},         {{"t1.dat", "x"}},
        {{"set/t1.dat", "x"}, {"set/t3.dat", "x"}},     {{"set/t4.dat", "x"}},
        {{"set/t5.dat", "x"}},                          {{"set/t1.dat", "x"}, {"set/t1.dat", "x"}},
        {{"set/t5\nin.dat", "x"}},
        {{"set/t1.dat", ""}, {"set/t2.dat", ""}, {"linked/t1.dat", ""}, {"linked/t2.dat", ""}, {"record.dat", ""}}};
    for (const auto& set : refused) {
        EXPECT_EQ(Store(set), -1) << set.back().first;
        EXPECT_NE(std::string(GetDurableWriteError()), "");
        EXPECT_FALSE(Leftovers()) << set.back().first;
    }
    EXPECT_FALSE(fs::exists("set/t1.dat"));
    EXPECT_EQ(Read("../outside/x"), "the file outside");
}

// A set member that can never be replaced (another user's file in a shared
// sticky folder, stored by a program that is neither its owner nor the
// folder's) refuses the whole set before anything is put in place.
TEST_F(StoresBesideOtherFiles, AMemberThatCannotBeReplacedRefusesItsSetBeforeAnythingIsWritten) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make files of other users";
    const uid_t program = 65534, other = 65533;
    ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(".", 0755), 0);
    ASSERT_EQ(chmod("set", 01777), 0);
    for (const char* file : {"set/t1.dat", "set/t2.dat", "set/t3.dat"}) {
        WriteHostFile(file, "a6");
        ASSERT_EQ(chown(file, std::string(file) == "set/t2.dat" ? other : program, program), 0);
    }
    ASSERT_EQ(chown(".", program, program), 0);
    const pid_t child = fork();
    if (child == 0) {
        ReleaseDurableFolders();
        const bool dropped = setgid(program) == 0 && setuid(program) == 0;
        const int result = Store({{"set/t1.dat", "a7"}, {"set/t2.dat", "a7"}, {"set/t3.dat", "a7"}});
        _exit(dropped && result == -1 && Contains(GetDurableWriteError(), "set/t2.dat cannot be replaced") ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Read("set/t1.dat") + Read("set/t2.dat") + Read("set/t3.dat"), "a6a6a6");
    EXPECT_FALSE(Leftovers());
}

// The owning group's rights over a file: its access list's group entry
// within the list's mask, or the group bits of its mode without a list.
unsigned GroupRights(int fd) {
    struct stat st {};
    fstat(fd, &st);
    char list[256];
    const ssize_t size = fgetxattr(fd, "system.posix_acl_access", list, sizeof list);
    unsigned group = (st.st_mode >> 3) & 7, mask = 7;
    for (ssize_t at = 4; at + 8 <= size; at += 8) {
        uint16_t entry[2];
        std::memcpy(entry, list + at, sizeof entry);
        if (entry[0] == 0x04) group = entry[1];
        if (entry[0] == 0x10) mask = entry[1];
    }
    return group & mask;
}

unsigned g_widestGroupRights = 0;

TEST_F(StoresBesideOtherFiles, AReplacedFileKeepsItsAccessAndIsNeverOpenToMoreOnTheWay) {
    WriteHostFile("set/t1.dat", "old");
    WriteHostFile("record.dat", "old");
    ASSERT_EQ(chmod("set/t1.dat", 0640), 0);
    ASSERT_EQ(chmod("record.dat", 0664), 0);  // more than the usual umask lets a new file have
    // An access list on t1.dat: user 65534 may read and write, the owning
    // group only read; the mask is read-write.
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
    g_widestGroupRights = 0;
    // The replaced t1.dat's temporary, looked at after each change of its access.
    Fsyncs().accessChanged = [](int fd) {
        char path[4096] = {};
        if (readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1) > 0 &&
            Contains(path, "/set/t1.dat."))
            g_widestGroupRights = std::max(g_widestGroupRights, GroupRights(fd));
    };
    EXPECT_EQ(Store({{"set/t1.dat", "new"}, {"record.dat", "new"}}), 0) << GetDurableWriteError();
    Fsyncs().accessChanged = nullptr;
    Fsyncs().recordCreates = false;
    // Every temporary and record was made private to its owner, and the
    // owning group never had more than reading on the way.
    ASSERT_GE(Fsyncs().created.size(), 4u);
    for (const auto& [name, mode] : Fsyncs().created) EXPECT_EQ(mode & 077, 0u) << name << " made " << std::oct << mode;
    EXPECT_LE(g_widestGroupRights, 04u) << "the owning group may only read the old t1.dat";
    auto statOf = [](const char* path) {
        struct stat st {};
        EXPECT_EQ(stat(path, &st), 0) << path;
        return st;
    };
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
    EXPECT_EQ(Read("set/t1.dat") + Read("record.dat"), "newnew");
}

}  // namespace
