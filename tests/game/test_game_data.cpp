// The game data: its texts and stage lists, the music by number, the unlock
// labels, the size limit of the files read whole (none of which needs the
// engine started), and on the generated
// tree the loading of every resource, its release, the screen transition
// and the device-restore callback.
#include "graphics/device/device.h"
#include "engine/draw2d.h"
#include "engine/graph.h"
#include "engine/model.h"
#include "engine/camera.h"
#include "engine/screen.h"
#include "foundation/log_internal.h"
#include "game/data/game_files.h"
#include "game/data/game_sound.h"
#include "game/data/game_text.h"
#include "game/data/text_fields.h"
#include "game/savedata.h"
#include "fifo_without_writer.h"
#include "game_fixture.h"
#include "graphics/screen/device_restore.h"

#include <fstream>
#include <set>

using namespace morpotta;

namespace {

void WriteFileMakingFolders(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

TEST(GameDataTexts, MenusAndUnlockLabels) {
    GameData data;
    EXPECT_EQ(data.mainMenuLabels[0], GameText("ゲームスタート"));
    EXPECT_EQ(data.mainMenuLabels[2], GameText("？？？"));
    EXPECT_EQ(data.optionLabels[7 * 3], GameText("<- ジョイスティックセッティング 3P ->"));
    EXPECT_EQ(data.optionLabels[7 * 3 + 2], GameText("ジャンプ   / 決定"));
    EXPECT_EQ(data.optionLabels[7 * 4 + 6], "");
    EXPECT_EQ(data.soundTestLabels[13], GameText("スタッフロール"));
    EXPECT_EQ(data.soundTestBgm[0], -1);
    EXPECT_EQ(data.soundTestBgm[7], 13);
    EXPECT_EQ(data.titleLogo, 0);
    EXPECT_EQ(data.catModels[12][3], 0);

    SaveData save;
    SaveData::SetDefaults(save);
    data.save = &save;
    data.UpdateUnlocks();
    EXPECT_EQ(data.mainMenuLabels[2], GameText("？？？"));
    save.finalSetUnlocked = 1;
    data.UpdateUnlocks();
    EXPECT_EQ(data.mainMenuLabels[2], GameText("ホントに最後のセット"));
    EXPECT_EQ(data.optionLabels[6], GameText("？？？"));
    save.soundTestUnlocked = 1;
    data.UpdateUnlocks();
    EXPECT_EQ(data.optionLabels[6], GameText("♪サウンドテスト♪"));
    EXPECT_EQ(data.optionLabels[5], GameText("Twitterにハイスコアをツイートする"));
}

TEST(GameDataTexts, SubstringsAndByteComparesStayInsideTheirText) {
    EXPECT_EQ(textfields::MakeSubstring("stage", 2, 10), "age");
    EXPECT_EQ(textfields::MakeSubstring("stage", 5, 1), "");
    EXPECT_EQ(textfields::MakeSubstring("stage", 99, 1), "");
    EXPECT_EQ(textfields::CompareBytes("end of set", "end", 3), 0);
    EXPECT_NE(textfields::CompareBytes("and", "end", 3), 0);
    EXPECT_NE(textfields::CompareBytes("en", "end", 3), 0);  // too short: never read past it
    EXPECT_EQ(textfields::CompareBytes("", "", 0), 0);
}

TEST(GameDataStageLists, GroupsTitlesAndNames) {
    ScopedTempDir dir;
    WriteFileMakingFolders("tpa/stage/stage_normal_list.txt",
              "stray line\r\n"
              "01first set\r\nHill\r\n\r\nCave\r\nend\r\n"
              "a1second\nOnly\nend\n");
    WriteFileMakingFolders("tpa/stage/stage_vs_list.txt", "arena\nfour cats\r\nbridge\nnarrow\nlast");
    GameData data;
    data.LoadStageLists();
    EXPECT_EQ(data.stageListCount[0], 2);  // the stray line and the blank line count for nothing
    EXPECT_EQ(data.stageListCount[1], 1);
    EXPECT_EQ(data.stageListCount[2], 0);
    EXPECT_EQ(data.MenuLabelText(0, -1), "first set");
    EXPECT_EQ(data.MenuLabelText(0, 0), "Hill");
    EXPECT_EQ(data.MenuLabelText(0, 1), "Cave");
    EXPECT_EQ(data.MenuLabelText(0, 2), "end");
    EXPECT_EQ(data.MenuLabelText(0, 3), "???");
    EXPECT_EQ(data.MenuLabelText(1, -1), "second");
    EXPECT_EQ(data.MenuLabelText(1, 0), "Only");
    EXPECT_EQ(data.MenuLabelText(2, -1), "");  // a group the file lacks
    EXPECT_EQ(data.MenuLabelText(2, 0), "???");
    EXPECT_EQ(data.MenuLabelText(12, 0), "???");
    EXPECT_EQ(data.MenuLabelText(-1, 0), "???");
    EXPECT_EQ(data.MenuLabelText(0, -2), "???");
    EXPECT_EQ(data.vsStageNames[0], "arena");
    EXPECT_EQ(data.vsStageNotes[0], "four cats");
    EXPECT_EQ(data.vsStageNames[2], "last");
    EXPECT_EQ(data.vsStageNotes[2], "");
    EXPECT_EQ(data.vsStageNames[3], "");
}

TEST(GameDataStageLists, MoreThanTwelveGroupsAreCutAndMissingFilesLeaveNothing) {
    ScopedTempDir dir;
    GameData data;
    data.LoadStageLists();  // no files at all
    EXPECT_EQ(data.stageNameText, "");
    EXPECT_EQ(data.stageListCount[0], 0);
    EXPECT_EQ(data.MenuLabelText(0, 0), "???");

    std::string text;
    for (int g = 0; g < 14; ++g) text += std::to_string(g % 10) + "xgroup" + std::to_string(g) + "\nstage\nend\n";
    WriteFileMakingFolders("tpa/stage/stage_normal_list.txt", text);
    data.LoadStageLists();
    EXPECT_EQ(data.MenuLabelText(11, -1), "group11");
    for (int g = 0; g < 12; ++g) EXPECT_EQ(data.stageListCount[g], 1) << g;
    EXPECT_EQ(data.stageListStart[12], int32_t(text.size()));
}

TEST(GameDataFiles, AFileOverTheLimitIsRefusedWithALogLine) {
    ScopedTempDir dir;
    const int previousOutput = GetLogOutput();
    SetLogOutput(1);
    StartLog();
    std::string text = "stale";
    WriteFileMakingFolders("tpa/stage/stage_normal_list.txt", "0xgroup\nstage\nend\n");
    EXPECT_TRUE(ReadGameFile("tpa/stage/stage_normal_list.txt", &text));
    EXPECT_EQ(text, "0xgroup\nstage\nend\n");

    // One byte too many (a sparse file: nothing is written to the disk).
    std::filesystem::resize_file("tpa/stage/stage_normal_list.txt", uint64_t(kMaxGameFileBytes) + 1);
    EXPECT_FALSE(ReadGameFile("tpa/stage/stage_normal_list.txt", &text));
    EXPECT_EQ(text, "");
    GameData data;
    data.LoadStageLists();
    EXPECT_EQ(data.stageListCount[0], 0);
    EndLog();
    SetLogOutput(previousOutput);
    const std::string log = ScopedTempDir::ReadFile("Log.txt");
    EXPECT_NE(log.find("tpa/stage/stage_normal_list.txt is " + std::to_string(kMaxGameFileBytes + 1) + " bytes"),
              std::string::npos)
        << log;
}

// A FIFO where a game file or the save belongs is refused at once, with a
// log line, rather than waited on: the game would hang at start-up.
TEST(GameDataFiles, AFifoIsRefusedAtOnceWithALogLine) {
    ScopedTempDir dir;
    const int previousOutput = GetLogOutput();
    SetLogOutput(1);
    StartLog();
    std::filesystem::create_directories("tpa/stage");
    std::string text = "stale";
    EXPECT_TRUE(ReturnsWithoutAWriter("tpa/stage/stage_normal_list.txt",
                                      [&text] { EXPECT_FALSE(ReadGameFile("tpa/stage/stage_normal_list.txt", &text)); }));
    EXPECT_EQ(text, "");
    SaveData save;
    save.drawPeriod = 7;
    EXPECT_TRUE(ReturnsWithoutAWriter(SaveData::kFileName, [&save] { EXPECT_FALSE(SaveData::Load(save)); }));
    SaveData defaults;
    SaveData::SetDefaults(defaults);
    EXPECT_EQ(save.drawPeriod, defaults.drawPeriod) << "the defaults";
    EndLog();
    SetLogOutput(previousOutput);
    const std::string log = ScopedTempDir::ReadFile("Log.txt");
    EXPECT_NE(log.find("stage_normal_list.txt is not a regular file"), std::string::npos) << log;
    EXPECT_NE(log.find(std::string(SaveData::kFileName) + " is not a regular file"), std::string::npos) << log;
}

TEST(GameDataMusic, PlaysByNumberAndNeverRestartsTheSameNumber) {
    std::vector<gamesound::Call> calls;
    gamesound::SetRecorder([&calls](const gamesound::Call& c) { calls.push_back(c); });
    GameData data;
    data.loopSound = 77;
    GameData::currentBgm = -1;
    data.PlayBgm(3);
    ASSERT_EQ(calls.size(), 3u);  // stop music, stop the looping sound, play
    EXPECT_EQ(calls[2].kind, gamesound::Call::kPlayMusicFile);
    EXPECT_STREQ(calls[2].file, "tpa\\Music\\track020_desert_battle.mp3");
    EXPECT_EQ(calls[2].playType, 3);
    data.PlayBgm(3);
    EXPECT_EQ(calls.size(), 3u);
    data.PlayBgm(1);
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[5].kind, gamesound::Call::kPlayHandle);
    EXPECT_EQ(calls[5].handle, 77);
    data.PlayBgm(20);  // no such music: silence
    ASSERT_EQ(calls.size(), 8u);
    EXPECT_EQ(calls[7].kind, gamesound::Call::kStopHandle);
    EXPECT_EQ(GameData::currentBgm, 20);
    gamesound::SetRecorder({});
    GameData::currentBgm = -1;
}

TEST_F(GameTest, LoadAllLeavesNoFailedHandleAndReleaseFreesEachOnce) {
    Start();
    GameData& data = *app_->data;
    EXPECT_EQ(data.ready, 1);
    int live = 0;
    data.ForEachHandle([&live](int& h, GameData::ResourceKind) {
        EXPECT_GE(h, 0);
        live += h > 0;
    });
    // Every field but cat kind 7's four models and face.
    int fields = 0;
    data.ForEachHandle([&fields](int&, GameData::ResourceKind) { ++fields; });
    EXPECT_EQ(live, fields - 5);
    EXPECT_EQ(data.catFaces[6], 0);
    EXPECT_EQ(data.sceneBackgrounds[5], data.sceneBackgrounds[11]);
    EXPECT_NE(data.blockModels[5][0], data.blockModels[6][0]);  // each EX world its own instance
    EXPECT_GE(data.stageListCount[11], 1);
    EXPECT_NE(data.vsStageNames[4], "");
    EXPECT_NE(data.MenuLabelText(0, -1), "");
    EXPECT_NE(data.MenuLabelText(0, 0), "???");

    const int graphs = CountGraphs();
    data.LoadAll();  // again: released first
    EXPECT_EQ(CountGraphs(), graphs);
    data.ReleaseAll();
    data.ForEachHandle([](int& h, GameData::ResourceKind) { EXPECT_EQ(h, 0); });
    EXPECT_EQ(CountGraphs(), 1);  // the loading picture stays for the life of the engine
}

TEST_F(GameTest, AMissingPictureAndDamagedMusicAreSaidOnceEachWithWhatTheGameDoesInstead) {
    namespace fs = std::filesystem;
    // The content with a picture gone and a piece of music damaged.
    LinkContentTreeInto(dir_.path(), {"item", "Music"});
    for (const char* folder : {"item", "Music"}) {
        const fs::path to = dir_.path() / "tpa" / folder;
        fs::create_directory(to);
        for (const fs::directory_entry& f : fs::directory_iterator(ContentTreeRoot() / "tpa" / folder))
            if (f.path().filename() != "door0.png" && f.path().filename() != "wolf.mp3")
                fs::create_symlink(f.path(), to / f.path().filename());
    }
    WriteFileMakingFolders("tpa/Music/wolf.mp3", "no music at all");
    SetLogOutput(0);
    testing::internal::CaptureStderr();
    app_ = std::make_unique<GameApp>(FakeScenes(script_));
    ASSERT_EQ(app_->startFailed, 0);
    GameData& data = *app_->data;
    for (int n : {5, 0, 5}) data.PlayBgm(n);
    data.LoadAll();  // the picture is missed again
    const std::string said = testing::internal::GetCapturedStderr();
    SetLogOutput(1);
    EXPECT_EQ(said,
              std::string(kNoGlDeviceLine) +
              "morpotta: tpa/item/door0.png is missing: the game goes on without drawing it\n"
              "morpotta: tpa/Music/wolf.mp3 cannot be read as music: the game goes on without that music\n");
    EXPECT_EQ(data.doorPics[0], -1);
}

TEST_F(GameTest, TheTransitionDissolvesTheCaptureAndEndsOnItsLastFrame) {
    Start();
    GameData& data = *app_->data;
    std::vector<uint32_t> pixels(640 * 480);
    // Pixels where the red old screen still shows more than half.
    auto countRed = [&pixels]() {
        EXPECT_EQ(ReadDrawScreenPixels(pixels.data()), 0);
        int red = 0;
        for (uint32_t p : pixels) red += (p >> 16 & 0xFF) > 128;
        return red;
    };
    ClearDrawScreenToBackColor(nullptr);
    DrawRectangle(0, 0, 640, 480, MakeScreenColor(255, 0, 0), 1);
    data.CaptureScreen();
    std::vector<int> shown;
    for (int frame = 0; frame < 32; ++frame) {
        ClearDrawScreenToBackColor(nullptr);
        data.DrawScreenTransition(-1);
        shown.push_back(countRed());
    }
    EXPECT_EQ(shown[0], 640 * 480);  // the old screen whole at first
    for (int f = 1; f < 30; ++f) EXPECT_LE(shown[f], shown[f - 1]) << f;
    EXPECT_LT(shown[15], 640 * 480);
    EXPECT_GT(shown[15], 0);
    EXPECT_EQ(shown[30], 0);  // gone from the 31st frame on
    EXPECT_EQ(shown[31], 0);
    EXPECT_EQ(data.transitionCount, 30);
}

// Needs the GL device: a device loss must leave every picture as it was.
TEST_F(GameOnDeviceTest, PicturesAreTheSameAfterADeviceLoss) {
    Start();
    ASSERT_EQ(HardwareRenderingActive(), 1);
    GameData& data = *app_->data;
    const int cat = data.catModels[0][0];
    auto frame = [&]() {
        std::vector<uint32_t> pixels(640 * 480);
        ClearDrawScreenToBackColor(nullptr);
        DrawGraphAt(0, 0, data.titleLogo, 1);
        const float eye[3] = {0, 0, -300}, target[3] = {0, 0, 0}, up[3] = {0, 1, 0};
        SetCameraEyeTargetUp(eye, target, up);
        SetModelPosition(cat, 0, 0, 0);
        DrawModel(cat);
        EXPECT_EQ(ReadDrawScreenPixels(pixels.data()), 0);
        return pixels;
    };
    const std::vector<uint32_t> before = frame();
    ASSERT_EQ(RestoreLostGraphicsDevice(), 0);
    const std::vector<uint32_t> after = frame();
    int lit = 0;
    for (uint32_t p : before) lit += (p & 0xFFFFFF) != 0;
    EXPECT_GT(lit, 5000);
    EXPECT_EQ(before, after);
}

}  // namespace
