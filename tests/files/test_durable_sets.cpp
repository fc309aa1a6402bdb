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

#include <filesystem>
#include <string>
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

}  // namespace
