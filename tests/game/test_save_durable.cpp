// The save store flushes its temporary file before the rename and the
// folder after it; the test sees each flush and can make one fail
// (tests/common/fsync_spy.h).
#include "fsync_spy.h"
#include "game/replay/replay_files.h"
#include "game/savedata.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

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

TEST_F(DurableSaveTest, TheFileIsFlushedBeforeTheRenameAndTheFolderAfter) {
    ASSERT_TRUE(SaveData::Store(new_));
    const std::string folder = std::filesystem::canonical(dir_.path()).string();
    ASSERT_EQ(Fsyncs().synced.size(), 2u);
    EXPECT_EQ(Fsyncs().synced[0], folder + "/morpoCatSave.dat.tmp");
    EXPECT_EQ(Fsyncs().synced[1], folder);
    SaveData back;
    ASSERT_TRUE(SaveData::Load(back));
    EXPECT_EQ(back.highScore, 222);
    EXPECT_FALSE(std::filesystem::exists("morpoCatSave.dat.tmp"));
}

TEST_F(DurableSaveTest, AFailedFlushOfTheFileKeepsTheOldSave) {
    Fsyncs().failCall = 1;
    EXPECT_FALSE(SaveData::Store(new_));
    EXPECT_EQ(Fsyncs().synced.size(), 1u);
    EXPECT_EQ(Bytes(SaveData::kFileName), oldBytes_);
    EXPECT_FALSE(std::filesystem::exists("morpoCatSave.dat.tmp"));
}

TEST_F(DurableSaveTest, AFailedFlushOfTheFolderIsReportedWithTheNewSaveInPlace) {
    Fsyncs().failCall = 2;
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
        "tpa/d_replay/t3_meta.dat.tmp", "tpa/d_replay/t3_inState1P.dat.tmp"};
    std::filesystem::create_directories("replay");
    std::filesystem::create_directories("tpa/d_replay");
    for (const std::string& name : stored) std::ofstream(name) << "cut short";
    for (const std::string& name : others) std::ofstream(name) << "a user's file";
    EXPECT_EQ(replay::FinishInterruptedStores(), 0);
    for (const std::string& name : stored) EXPECT_FALSE(std::filesystem::exists(name)) << name;
    for (const std::string& name : others) EXPECT_TRUE(std::filesystem::exists(name)) << name;
}

}  // namespace
