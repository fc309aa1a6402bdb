// The save store flushes its temporary file before the rename and the
// folder after it; the test sees each flush and can make one fail
// (tests/common/fsync_spy.h). What the player is told of the save and of
// the stores start-up settles is true, and start-up removes only what a
// store of the game's left.
#include "durable_game.h"
#include "engine/files.h"
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

// A temporary a store of the set with this id would write for path.
std::string TemporaryOf(const std::string& path, const char* id = "0123456789abcdef") {
    return path + "." + id + ".tmp";
}

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
    void TearDown() override {
        Fsyncs() = FsyncSpy{};
        ReleaseDurableFolders();
    }
    ScopedTempDir dir_;
    SaveData old_, new_;
    std::string oldBytes_;
};

// The save alone is a set of one of the game's stores: its rename is whole
// by itself, so its temporary is flushed before the rename and the folder
// after it, and no record is written.
TEST_F(DurableSaveTest, TheFileIsFlushedBeforeTheRenameAndTheFolderAfter) {
    ASSERT_TRUE(SaveData::Store(new_));
    const std::string folder = std::filesystem::canonical(dir_.path()).string();
    ASSERT_EQ(Fsyncs().synced.size(), 2u);
    EXPECT_EQ(WithoutSetIds(Fsyncs().synced[0]), folder + "/morpoCatSave.dat.<id>.tmp");
    EXPECT_EQ(Fsyncs().synced[1], folder);
    SaveData back;
    ASSERT_TRUE(SaveData::Load(back));
    EXPECT_EQ(back.highScore, 222);
    EXPECT_EQ(StoreLeftovers(), std::vector<std::string>{});
}

TEST_F(DurableSaveTest, AFailedFlushOfTheFileKeepsTheOldSave) {
    Fsyncs().failCall = 1;
    EXPECT_FALSE(SaveData::Store(new_));
    EXPECT_EQ(Fsyncs().synced.size(), 1u);
    EXPECT_EQ(Bytes(SaveData::kFileName), oldBytes_);
    EXPECT_EQ(StoreLeftovers(), std::vector<std::string>{});
}

TEST_F(DurableSaveTest, AFailedFlushOfTheFolderIsReportedWithTheNewSaveInPlace) {
    Fsyncs().failCall = 2;  // the folder's, after the rename
    EXPECT_FALSE(SaveData::Store(new_));
    SaveData back;
    ASSERT_TRUE(SaveData::Load(back));
    EXPECT_EQ(back.highScore, 222);
}

TEST_F(DurableSaveTest, ALeftoverTemporaryIsRemovedAtStartAndNotByLoading) {
    { std::ofstream(TemporaryOf(SaveData::kFileName)) << "half a save"; }
    SaveData back;
    ASSERT_TRUE(SaveData::Load(back));
    EXPECT_EQ(back.highScore, 111);
    EXPECT_TRUE(std::filesystem::exists(TemporaryOf(SaveData::kFileName)));
    ReleaseDurableFolders();  // the next start
    EXPECT_TRUE(replay::FinishInterruptedStores());
    EXPECT_FALSE(std::filesystem::exists(TemporaryOf(SaveData::kFileName)));
    EXPECT_EQ(Bytes(SaveData::kFileName), oldBytes_);
    EXPECT_TRUE(replay::FinishInterruptedStores());  // nothing left: nothing happens
}

TEST_F(DurableSaveTest, TheStartRemovesTheTemporariesOfTheNamesTheStoresWriteAndNoOthers) {
    const std::vector<std::string> stored = {"morpoCatSave.dat", "replay/t71_inState0P.dat",
                                             "replay/t71_keyboardState3P.dat", "replay/t5_meta.dat",
                                             "tpa/d_replay/t3_mouseState1PType6.dat", "tpa/d_replay/t3_metaType2.dat"};
    // A user's files that share the beginning of those names or look like
    // a temporary of them, and temporaries of names the stores never write.
    std::vector<std::string> others = {
        "morpoCatSave.dat.old", "replay/tnotes.txt",         "replay/t71_inState0P.dat.bak",
        "replay/t071_meta.dat", "replay/t5_metaType2.dat",   "replay/t5_jumpState0P.dat",
        "tpa/d_replay/t3_meta.dat", "tpa/d_replay/t3_inState1P.dat", "replay/t-1_meta.dat",
        "replay/t3_inState-1P.dat", "replay/t3_inState4P.dat", "replay/t100_meta.dat"};
    for (std::string& name : others) name = TemporaryOf(name);
    for (const std::string& name : stored) {
        others.push_back(name + ".0badc0de.tmp");
        others.push_back(TemporaryOf(name, "0123456789ABCDEF"));
    }
    std::filesystem::create_directories("replay");
    std::filesystem::create_directories("tpa/d_replay");
    for (const std::string& name : stored) std::ofstream(TemporaryOf(name)) << "cut short";
    for (const std::string& name : others) std::ofstream(name) << "a user's";
    ReleaseDurableFolders();  // the next start
    EXPECT_TRUE(replay::FinishInterruptedStores());
    // The demo replays' folder is a recording's, settled by its next store.
    EXPECT_TRUE(std::filesystem::exists(TemporaryOf(stored.back())));
    EXPECT_EQ(FinishInterruptedWrites(&replay::GameStores(true)), 0);
    for (const std::string& name : stored) EXPECT_FALSE(std::filesystem::exists(TemporaryOf(name))) << name;
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

TEST_F(SaveNoticeTest, WhatThePlayerIsToldOfTheSaveIsTrue) {
    // No save yet, and none can be stored (its new copy's flush fails):
    // none is said to be kept.
    std::filesystem::remove(SaveData::kFileName);
    Fsyncs().failCall = int(Fsyncs().synced.size()) + 1;
    EXPECT_FALSE(SaveData::Store(new_));
    Fsyncs().failCall = 0;
    EXPECT_FALSE(std::filesystem::exists(SaveData::kFileName));
    // A FIFO is not replaced, as loading says.
    ASSERT_EQ(mkfifo(SaveData::kFileName, 0600), 0);
    SaveData back;
    EXPECT_FALSE(SaveData::Load(back));
    EXPECT_FALSE(SaveData::Store(new_));
    EXPECT_TRUE(std::filesystem::is_fifo(SaveData::kFileName));
    std::filesystem::remove(SaveData::kFileName);
    // A save moved to another folder and linked back stays linked, and is
    // stored with the replay whose best time it holds, in its own folder.
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
    EXPECT_EQ(StoreLeftovers(), std::vector<std::string>{});
    // A save with more bytes after its record.
    std::filesystem::remove(SaveData::kFileName);
    WriteFile(SaveData::kFileName, oldBytes_ + std::string(1000, 'j'));
    EXPECT_TRUE(SaveData::Load(back));
    std::vector<std::string> said = Said();
    for (std::string& line : said) line = WithoutSetIds(line);
    EXPECT_EQ(said, (std::vector<std::string>{
                        "Save data: morpoCatSave.dat was not stored (flushing morpoCatSave.dat.<id>.tmp: Input/output "
                        "error); there is no save yet",
                        "Save data: morpoCatSave.dat is a FIFO, not a file; the game starts with the defaults and "
                        "stores nothing until it is moved away",
                        "Save data: morpoCatSave.dat holds 1992 bytes, more than a save's 992: its first 992 are "
                        "read, and its next store keeps only those"}));
}

// A store of a save linked to a file elsewhere, killed before its rename,
// leaves its temporary beside that file. The next start finishes what was
// left there, but never while another program (a copy of the game sharing
// that file) holds the folder: that start is refused, saying so.
TEST_F(SaveNoticeTest, WhatAKilledStoreOfALinkedSaveLeftGoesAtTheNextStartAndNotWhileAnotherCopyRuns) {
    std::filesystem::create_directory("synced");
    ASSERT_TRUE(SaveData::Store(old_, "synced/morpoCatSave.dat"));
    std::filesystem::remove(SaveData::kFileName);
    std::filesystem::create_symlink("synced/morpoCatSave.dat", SaveData::kFileName);
    {
        KillStoresOnceTheyStand kill;
        SaveData::Store(new_);
    }
    ReleaseDurableFolders();  // the killed program's end
    Said().clear();
    ASSERT_EQ(StoreLeftovers("synced").size(), 1u);
    const std::string synced = std::filesystem::canonical("synced").string();
    const int holder = open("synced", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    EXPECT_FALSE(replay::FinishInterruptedStores());
    EXPECT_EQ(StoreLeftovers("synced").size(), 1u);
    close(holder);
    EXPECT_TRUE(replay::FinishInterruptedStores());
    EXPECT_EQ(StoreLeftovers("synced"), std::vector<std::string>{});
    EXPECT_TRUE(std::filesystem::is_symlink(SaveData::kFileName));
    EXPECT_EQ(Bytes("synced/morpoCatSave.dat"), oldBytes_);
    EXPECT_EQ(Said(), std::vector<std::string>{"cannot start: the folder " + synced +
                                               " is used by another running program, another copy of the game"});
}

TEST_F(SaveNoticeTest, AReplayFolderReachedThroughALinkIsSettledAndEachStoreNotSettledIsToldInTheGamesWords) {
    // The player moved replay/ to another disk and linked it back; a store
    // of stage 7 was killed once its record stood.
    std::filesystem::create_directories("disk/replay");
    std::filesystem::create_directory_symlink("disk/replay", "replay");
    const std::string meta = "5,", stream = "n";
    WriteFile("replay/t7_meta.dat", "6,");
    const DurableFile set[] = {{"replay/t7_inState0P.dat", stream.data(), 1}, {"replay/t7_meta.dat", meta.data(), 2}};
    {
        KillStoresOnceTheyStand kill;
        EXPECT_EQ(WriteFileSetDurably(&replay::GameStores(), set, 2), -1);
    }
    ReleaseDurableFolders();
    EXPECT_TRUE(replay::FinishInterruptedStores());
    EXPECT_EQ(Bytes("disk/replay/t7_meta.dat") + Bytes("disk/replay/t7_inState0P.dat"), "5,n");
    EXPECT_EQ(StoreLeftovers("disk"), std::vector<std::string>{});
    // A record start-up can never read: left as it is, every start, told once.
    ASSERT_EQ(mkfifo("replay/store.0123456789abcdef.commit", 0600), 0);
    for (int start = 0; start < 2; ++start) {
        ReleaseDurableFolders();
        EXPECT_TRUE(replay::FinishInterruptedStores());
    }
    std::filesystem::remove("replay/store.0123456789abcdef.commit");
    // A set whose replay folder is gone for now (the disk not mounted).
    WriteFile("disk/replay/t8_meta.dat", "6,");
    const DurableFile eight[] = {{"replay/t8_inState0P.dat", stream.data(), 1}, {"replay/t8_meta.dat", meta.data(), 2}};
    {
        KillStoresOnceTheyStand kill;
        EXPECT_EQ(WriteFileSetDurably(&replay::GameStores(), eight, 2), -1);
    }
    ReleaseDurableFolders();
    std::filesystem::rename("disk", "unmounted");
    EXPECT_TRUE(replay::FinishInterruptedStores());
    EXPECT_EQ(Said(), (std::vector<std::string>{
                          "replay/store.0123456789abcdef.commit is left as it is (it is no regular file): remove it "
                          "(as the user who owns it, when that is another) to keep the files as they are",
                          "replay: the folder cannot be opened now (Link has been severed): nothing is stored or "
                          "settled there until it can be"}));
    ReleaseDurableFolders();
    std::filesystem::rename("unmounted", "disk");
    EXPECT_TRUE(replay::FinishInterruptedStores());
    EXPECT_EQ(Bytes("disk/replay/t8_meta.dat") + Bytes("disk/replay/t8_inState0P.dat"), "5,n");
    EXPECT_EQ(StoreLeftovers("disk"), std::vector<std::string>{});
}

// The game's folder copied (cp -a) while a replay store in it stood cut
// short, three of its streams renamed: the copy's records name the folders
// it came from, so no program can finish them there. The copy's start says
// so, with what their files hold and what to do; the copy stores the
// stage's replay all the same, and once the records are removed its next
// start takes their temporaries.
TEST_F(SaveNoticeTest, APendingSetInACopiedFolderIsToldTrulyAndHoldsUpNoStore) {
    StoredReplay run;
    run.playerKinds = {6};
    run.text.push_back({"0", "1", "2", "3", "4", "5"});
    std::filesystem::create_directories("game/replay");
    std::filesystem::current_path("game");
    for (const char* word : {"in", "action", "slope", "analog", "mouse", "keyboard"})
        WriteFile("replay/t3_" + std::string(word) + "State0P.dat", "o");
    WriteFile("replay/t3_meta.dat", "o");
    int renames = 0;
    SetDurableStepHook([&](DurableStep step, const std::string& path) -> int64_t {
        return step == DurableStep::Rename && !path.ends_with(".commit") && ++renames == 4 ? 0 : -1;
    });
    replay::ReplayFiles().SaveStreams(run, gamemode::kTimeAttack, 3, &new_);
    SetDurableStepHook(nullptr);
    ReleaseDurableFolders();  // the killed game's end
    std::filesystem::copy(".", "../copy", std::filesystem::copy_options::recursive);
    std::filesystem::current_path("../copy");
    Said().clear();
    EXPECT_TRUE(replay::FinishInterruptedStores());
    std::vector<std::string> said = Said();
    for (std::string& line : said) line = WithoutSetIds(line);
    const std::string why = " is left as it is (it was stored in this folder under another device number or inode "
                            "(the folder copied, or its disk mounted again), so no program can finish it; ";
    const std::string what = "): remove it (as the user who owns it, when that is another) to keep the files as they are";
    EXPECT_EQ(said, (std::vector<std::string>{"store.<id>.commit" + why + "its files here are as before" + what,
                                              "replay/store.<id>.commit" + why + "3 of its 7 files here are new, the "
                                              "others as before" + what}));
    EXPECT_TRUE(replay::ReplayFiles().SaveStreams(run, gamemode::kTimeAttack, 3, &new_));
    EXPECT_EQ(Bytes("replay/t3_slopeState0P.dat") + Bytes("replay/t3_meta.dat"), "26,");
    for (const std::string& left : StoreLeftovers())
        if (left.ends_with(".commit")) std::filesystem::remove(left);
    ReleaseDurableFolders();
    Said().clear();
    EXPECT_TRUE(replay::FinishInterruptedStores());
    EXPECT_EQ(Said(), std::vector<std::string>{});
    EXPECT_EQ(StoreLeftovers(), std::vector<std::string>{});
    std::filesystem::current_path(dir_.path());
}

// A replay set whose third rename fails on a disk error once its record
// stands: seven of its eight files, the save among them, are already new.
// The player is told so, and the save's next store finishes the set first.
// A save that cannot be put in place is told once, and holds up no later
// store.
TEST_F(SaveNoticeTest, AReplayStoredButNotWholeIsToldTrulyAndTheSavesNextStoreFinishesIt) {
    StoredReplay run;
    run.playerKinds = {6};
    run.text.push_back({"0", "1", "2", "3", "4", "5"});
    Fsyncs().failRename = "t3_slopeState0P.dat";
    EXPECT_TRUE(replay::ReplayFiles().SaveStreams(run, gamemode::kTimeAttack, 3, &new_)) << "it stands";
    Fsyncs().failRename.clear();
    EXPECT_EQ(Said(), (std::vector<std::string>{
                          "Replay of stage 3 was stored with its best time in morpoCatSave.dat, but not whole on the "
                          "disk: replay/t3_slopeState0P.dat could not be renamed into place: Input/output error; 7 of its "
                          "8 files hold their new copies, and the next start puts the rest in place"}));
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
    EXPECT_EQ(StoreLeftovers(), std::vector<std::string>{});
    EXPECT_EQ(Said().size(), 1u);

    // The save cannot be put in place for a while: said once, and the
    // replays go on.
    Fsyncs().failRename = SaveData::kFileName;
    for (int store = 0; store < 3; ++store) EXPECT_FALSE(SaveData::Store(new_));
    EXPECT_TRUE(replay::ReplayFiles().SaveStreams(run, gamemode::kTimeAttack, 4, &new_));
    EXPECT_EQ(Bytes("replay/t4_meta.dat"), "6,");
    Fsyncs().failRename.clear();
    ASSERT_EQ(Said().size(), 3u);
    EXPECT_EQ(Said()[1], "Save data: morpoCatSave.dat was not stored (morpoCatSave.dat could not be renamed into "
                         "place: Input/output error); the previous save is kept");
    EXPECT_EQ(Said()[2], "Replay of stage 4 was stored with its best time in morpoCatSave.dat, but not whole on the "
                         "disk: morpoCatSave.dat could not be renamed into place: Input/output error; 7 of its 8 files "
                         "hold their new copies, and the next start puts the rest in place");
    new_.difficulty = 2;
    EXPECT_TRUE(SaveData::Store(new_));
    ASSERT_TRUE(SaveData::Load(back));
    EXPECT_EQ(back.difficulty, 2);
    EXPECT_EQ(StoreLeftovers(), std::vector<std::string>{});
}

}  // namespace
