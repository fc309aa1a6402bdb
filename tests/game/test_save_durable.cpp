// The save store flushes its temporary file before the rename and the
// folder after it; the test sees each flush and can make one fail
// (tests/common/fsync_spy.h). What the player is told of the save and of
// the stores start-up settles is true, and no file planted beside the save
// is written through.
#include "engine/files.h"
#include "foundation/file_write_steps.h"
#include "fsync_spy.h"
#include "game/data/player_notice.h"
#include "game/play/game_modes.h"
#include "game/replay/replay_files.h"
#include "game/savedata.h"
#include "scoped_temp_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace morpotta;

namespace {

std::vector<std::string>& Said() {
    static std::vector<std::string> lines;
    return lines;
}

std::string Bytes(const char* name) { return ScopedTempDir::ReadFile(name); }

class DurableSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        SaveData::SetDefaults(old_);
        old_.highScore = 111;
        ASSERT_TRUE(SaveData::Store(old_));
        oldBytes_ = Bytes(SaveData::kFileName);
        SaveData::SetDefaults(new_);
        new_.highScore = 222;
        Fsyncs() = FsyncSpy{};
        Fsyncs().recording = true;
    }
    void TearDown() override { Fsyncs() = FsyncSpy{}; }
    ScopedTempDir dir_;
    SaveData old_, new_;
    std::string oldBytes_;
};

// The save is a set of the game's stores: its temporary and the folder are
// flushed before its commit record, the record before the rename, and the
// folder after it.
TEST_F(DurableSaveTest, TheFileIsFlushedBeforeTheRenameAndTheFolderAfter) {
    ASSERT_TRUE(SaveData::Store(new_));
    const std::string folder = std::filesystem::canonical(dir_.path()).string();
    EXPECT_EQ(Fsyncs().synced, (std::vector<std::string>{folder + "/morpoCatSave.dat.tmp", folder,
                                                         folder + "/morpoCatSave.dat.commit", folder, folder}));
    SaveData back;
    ASSERT_TRUE(SaveData::Load(back));
    EXPECT_EQ(back.highScore, 222);
    EXPECT_FALSE(std::filesystem::exists("morpoCatSave.dat.tmp"));
    EXPECT_FALSE(std::filesystem::exists("morpoCatSave.dat.commit"));
}

TEST_F(DurableSaveTest, AFailedFlushOfTheFileKeepsTheOldSave) {
    Fsyncs().failCall = 1;
    EXPECT_FALSE(SaveData::Store(new_));
    EXPECT_EQ(Fsyncs().synced.size(), 1u);
    EXPECT_EQ(Bytes(SaveData::kFileName), oldBytes_);
    EXPECT_FALSE(std::filesystem::exists("morpoCatSave.dat.tmp"));
}

TEST_F(DurableSaveTest, AFailedFlushOfTheFolderIsReportedWithTheNewSaveInPlace) {
    Fsyncs().failCall = 5;  // the folder's, after the rename
    EXPECT_FALSE(SaveData::Store(new_));
    SaveData back;
    ASSERT_TRUE(SaveData::Load(back));
    EXPECT_EQ(back.highScore, 222);
}

TEST_F(DurableSaveTest, ALeftoverTemporaryIsRemovedAtStartAndNotByLoading) {
    { std::ofstream("morpoCatSave.dat.tmp") << "half a save"; }
    SaveData back;
    ASSERT_TRUE(SaveData::Load(back));
    EXPECT_EQ(back.highScore, 111);
    EXPECT_TRUE(std::filesystem::exists("morpoCatSave.dat.tmp"));
    replay::FinishInterruptedStores();
    EXPECT_FALSE(std::filesystem::exists("morpoCatSave.dat.tmp"));
    EXPECT_EQ(Bytes(SaveData::kFileName), oldBytes_);
    replay::FinishInterruptedStores();  // nothing left: nothing happens
}

TEST_F(DurableSaveTest, TheStartRemovesTheTemporariesOfTheNamesTheStoresWriteAndNoOthers) {
    const std::vector<std::string> stored = {"morpoCatSave.dat.tmp", "replay/t71_inState0P.dat.tmp",
                                             "replay/t71_keyboardState3P.dat.tmp", "replay/t5_meta.dat.tmp",
                                             "tpa/d_replay/t3_mouseState1PType6.dat.tmp",
                                             "tpa/d_replay/t3_metaType2.dat.tmp"};
    // A user's files that share the beginning of those names.
    const std::vector<std::string> others = {
        "morpoCatSave.dat.old.tmp", "replay/tnotes.txt.tmp",         "replay/t71_inState0P.dat.bak.tmp",
        "replay/t071_meta.dat.tmp", "replay/t5_metaType2.dat.tmp",   "replay/t5_jumpState0P.dat.tmp",
        "tpa/d_replay/t3_meta.dat.tmp", "tpa/d_replay/t3_inState1P.dat.tmp", "replay/t-1_meta.dat.tmp",
        "replay/t3_inState-1P.dat.tmp", "replay/t3_inState4P.dat.tmp", "replay/t100_meta.dat.tmp"};
    std::filesystem::create_directories("replay");
    std::filesystem::create_directories("tpa/d_replay");
    for (const std::string& name : stored) std::ofstream(name) << "cut short";
    for (const std::string& name : others) std::ofstream(name) << "a user's file";
    EXPECT_EQ(replay::FinishInterruptedStores(), 0);
    for (const std::string& name : stored) EXPECT_FALSE(std::filesystem::exists(name)) << name;
    for (const std::string& name : others) EXPECT_TRUE(std::filesystem::exists(name)) << name;
}

class SaveNoticeTest : public DurableSaveTest {
protected:
    void SetUp() override {
        DurableSaveTest::SetUp();
        Said().clear();
        ForgetReportedSubjects();
        SetPlayerNoticeSink([](const char* line) { Said().push_back(line); });
    }
    void TearDown() override {
        SetPlayerNoticeSink(nullptr);
        DurableSaveTest::TearDown();
    }
    static void WriteFile(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
};

TEST_F(SaveNoticeTest, NoLinkPlantedAtTheSavesTemporaryIsWrittenThrough) {
    std::filesystem::create_directory("outside");
    WriteFile("outside/notes", "a user's file");
    std::filesystem::create_symlink("outside/notes", "morpoCatSave.dat.tmp");
    ASSERT_TRUE(SaveData::Store(new_));
    std::filesystem::create_hard_link("outside/notes", "morpoCatSave.dat.tmp");
    ASSERT_TRUE(SaveData::Store(new_));
    EXPECT_EQ(Bytes("outside/notes"), "a user's file");
    EXPECT_EQ(Bytes(SaveData::kFileName).size(), SaveData::kFileSize);
}

TEST_F(SaveNoticeTest, WhatThePlayerIsToldOfTheSaveIsTrue) {
    // No save yet, and none can be stored: none is said to be kept.
    std::filesystem::remove(SaveData::kFileName);
    std::filesystem::create_directory("morpoCatSave.dat.tmp");
    EXPECT_FALSE(SaveData::Store(new_));
    std::filesystem::remove("morpoCatSave.dat.tmp");
    // A FIFO is not replaced, as loading says.
    ASSERT_EQ(mkfifo(SaveData::kFileName, 0600), 0);
    SaveData back;
    EXPECT_FALSE(SaveData::Load(back));
    EXPECT_FALSE(SaveData::Store(new_));
    EXPECT_TRUE(std::filesystem::is_fifo(SaveData::kFileName));
    std::filesystem::remove(SaveData::kFileName);
    // A save moved to another folder and linked back stays linked, stored
    // after the replay whose best time it holds.
    std::filesystem::create_directory("synced");
    ASSERT_TRUE(SaveData::Store(old_, "synced/morpoCatSave.dat"));
    std::filesystem::create_symlink("synced/morpoCatSave.dat", SaveData::kFileName);
    StoredReplay run;
    run.playerKinds = {6};
    run.text.resize(1);
    EXPECT_TRUE(replay::ReplayFiles().SaveStreams(run, gamemode::kTimeAttack, 3, &new_));
    EXPECT_EQ(Bytes("replay/t3_meta.dat"), "6,");
    EXPECT_TRUE(std::filesystem::is_symlink(SaveData::kFileName));
    EXPECT_TRUE(SaveData::Load(back, "synced/morpoCatSave.dat"));
    EXPECT_EQ(back.highScore, 222);
    // A save with more bytes after its record.
    std::filesystem::remove(SaveData::kFileName);
    WriteFile(SaveData::kFileName, oldBytes_ + std::string(1000, 'j'));
    EXPECT_TRUE(SaveData::Load(back));
    EXPECT_EQ(Said(), (std::vector<std::string>{
                          "Save data: morpoCatSave.dat was not stored (creating morpoCatSave.dat.tmp: Is a directory); "
                          "there is no save yet",
                          "Save data: morpoCatSave.dat is a FIFO, not a file; the game starts with the defaults and "
                          "stores nothing until it is moved away",
                          "Save data: morpoCatSave.dat holds 1992 bytes, more than a save's 992: its first 992 are "
                          "read, and its next store keeps only those"}));
}

// A store of a save linked to a file elsewhere, killed before its rename,
// leaves its temporary beside that file, outside the game's stores. The
// next start removes it, but never while another program (a copy of the
// game sharing that file) holds the folder, whose store it may be.
TEST_F(SaveNoticeTest, WhatAKilledStoreOfALinkedSaveLeftGoesAtTheNextStartOnceItsFolderIsFree) {
    std::filesystem::create_directory("synced");
    ASSERT_TRUE(SaveData::Store(old_, "synced/morpoCatSave.dat"));
    std::filesystem::remove(SaveData::kFileName);
    std::filesystem::create_symlink("synced/morpoCatSave.dat", SaveData::kFileName);
    WriteFile("synced/morpoCatSave.dat.tmp", oldBytes_.substr(0, 100));
    const int holder = open("synced", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    SetDurableLockWait(50);
    replay::FinishInterruptedStores();
    EXPECT_TRUE(std::filesystem::exists("synced/morpoCatSave.dat.tmp"));
    close(holder);
    SetDurableLockWait(5000);
    replay::FinishInterruptedStores();
    EXPECT_FALSE(std::filesystem::exists("synced/morpoCatSave.dat.tmp"));
    EXPECT_TRUE(std::filesystem::is_symlink(SaveData::kFileName));
    EXPECT_EQ(Bytes("synced/morpoCatSave.dat"), oldBytes_);
    EXPECT_EQ(Said(), std::vector<std::string>{});
}

TEST_F(SaveNoticeTest, AReplayFolderReachedThroughALinkIsSettledAndEachStoreNotSettledIsToldInTheGamesWords) {
    // The player moved replay/ to another disk and linked it back; a store
    // of stage 7 was killed after its record.
    std::filesystem::create_directories("disk/replay");
    std::filesystem::create_directory_symlink("disk/replay", "replay");
    const std::string meta = "5,", stream = "n";
    WriteFile("replay/t7_meta.dat", "6,");
    const DurableFile set[] = {{"replay/t7_inState0P.dat", stream.data(), 1}, {"replay/t7_meta.dat", meta.data(), 2}};
    int renames = 0;
    SetDurableStepHook([&](DurableStep step, const std::string&) -> int64_t {
        return step == DurableStep::Rename && ++renames == 2 ? 0 : -1;
    });
    EXPECT_EQ(WriteFileSetDurably(&replay::GameStores(), set, 2), -1);
    SetDurableStepHook(nullptr);
    // Beside it, a record start-up can never read.
    ASSERT_EQ(mkfifo("replay/t9_meta.dat.commit", 0600), 0);
    EXPECT_EQ(replay::FinishInterruptedStores(), 1);
    EXPECT_EQ(Bytes("disk/replay/t7_meta.dat"), "5,");
    EXPECT_EQ(Said(), (std::vector<std::string>{
                          "The store of the replay of stage 9 cut short when the game last ended was refused (it is a "
                          "FIFO): nothing of it was put in place"}));
}

// A replay set whose third rename fails on a disk error once its record is
// whole: seven of its eight files, the save among them, are already new.
// The player is told so, and the save's next store finishes the set first.
TEST_F(SaveNoticeTest, AReplayStoredButNotSettledIsToldSoAndTheSavesNextStoreFinishesIt) {
    StoredReplay run;
    run.playerKinds = {6};
    run.text.push_back({"0", "1", "2", "3", "4", "5"});
    Fsyncs().failRename = "t3_slopeState0P.dat";
    EXPECT_FALSE(replay::ReplayFiles().SaveStreams(run, gamemode::kTimeAttack, 3, &new_));
    Fsyncs().failRename.clear();
    EXPECT_EQ(Said(), (std::vector<std::string>{
                          "Replay of stage 3 was stored with its best time in morpoCatSave.dat, but is not settled on "
                          "the disk (renaming replay/t3_slopeState0P.dat.tmp: Input/output error): the game finishes "
                          "storing it at its next start"}));
    // An option changed on the title: the save is stored again.
    new_.difficulty = 1;
    EXPECT_TRUE(SaveData::Store(new_));
    std::string streams;
    for (const char* word : {"in", "action", "slope", "analog", "mouse", "keyboard"})
        streams += Bytes(("replay/t3_" + std::string(word) + "State0P.dat").c_str());
    EXPECT_EQ(streams, "012345");
    SaveData back;
    ASSERT_TRUE(SaveData::Load(back));
    EXPECT_EQ(back.highScore * 10 + back.difficulty, 2221);
    EXPECT_FALSE(std::filesystem::exists("replay/t3_inState0P.dat.commit"));
    EXPECT_EQ(Said().size(), 1u);
}

}  // namespace
