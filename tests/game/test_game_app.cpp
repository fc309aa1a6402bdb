// The application object on virtual time: start-up and its failure, the
// frame pacing and draw-period skip, the boot scene, F12, the scene
// switches and what each one frees and saves.
#include "engine/draw2d.h"
#include "engine/files.h"
#include "engine/font.h"
#include "engine/input.h"
#include "engine/screen.h"
#include "engine/timer.h"
#include "durable_game.h"
#include "game/play/game_modes.h"
#include "game/replay/replay_files.h"
#include "game/savedata.h"
#include "game_fixture.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>

using namespace morpotta;

namespace {

uint64_t Now() { return platform::ClockMicroseconds(); }

TEST_F(GameTest, StartUpShowsTheLoadingPicture) {
    Start();
    // Nothing has been drawn since start-up put up the loading picture.
    const uint32_t* shown = nullptr;
    int width = 0, height = 0;
    ASSERT_TRUE(platform::HeadlessPresentedPixels(&shown, &width, &height));
    ASSERT_EQ(width, 640);
    ASSERT_EQ(height, 480);
    const std::vector<uint32_t> loading(shown, shown + 640 * 480);
    ClearDrawScreenToBackColor(nullptr);
    DrawGraphAt(0, 0, app_->data->bootPicture, 1);
    std::vector<uint32_t> picture(640 * 480);
    ASSERT_EQ(ReadDrawScreenPixels(picture.data()), 0);
    if (const char* dir = std::getenv("GAME_PNG_DIR")) {  // for a look
        DrawTextAt(0, 0, "Now Loading...", MakeScreenColor(255, 255, 255), 0);
        SaveDrawScreenToPng((std::filesystem::path(dir) / "loading.png").string().c_str());
    }
    int differ = 0, textPixels = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const size_t i = size_t(y) * 640 + size_t(x);
            const bool same = (loading[i] & 0xFFFFFF) == (picture[i] & 0xFFFFFF);
            if (y >= 20 || x >= 200) differ += !same;
            else textPixels += !same;
        }
    EXPECT_EQ(differ, 0);        // the picture's top
    EXPECT_GT(textPixels, 200);  // "Now Loading..." over it
}

TEST_F(GameTest, BootShowsTwoFramesThenTheTitle) {
    Start();
    EXPECT_EQ(app_->scene, GameApp::kSceneBoot);
    ASSERT_TRUE(Step());
    EXPECT_EQ(app_->scene, GameApp::kSceneBoot);  // the first ready update only counts
    EXPECT_EQ(script_.titlesAlive, 0);
    ASSERT_TRUE(Step());
    EXPECT_EQ(app_->scene, GameApp::kSceneTitle);
    EXPECT_EQ(script_.Count("title.init"), 1);
    EXPECT_EQ(app_->data->transitionCount, 0);  // the boot screen was captured for the dissolve
    EXPECT_EQ(app_->frameCount, 2);
}

TEST_F(GameTest, DrawPeriodSkipsWholeDraws) {
    StartWithDrawPeriod(2);
    StepUntil(20);
    // Titles from frame 2 on: drawn on frames 3, 6, 9, ... only, updated every frame.
    EXPECT_EQ(script_.titleDrawFrames, (std::vector<int>{3, 6, 9, 12, 15, 18}));
    EXPECT_EQ(script_.Count("title.update"), 18);
}

TEST_F(GameTest, FramesAreSixteenMillisecondsAndNeverWaitPastTheirEnd) {
    // Every second frame drawn: the undrawn ones show the pacing alone,
    // without the presentation's wait for the vertical sync.
    StartWithDrawPeriod(1);
    StepUntil(5);
    ASSERT_EQ(app_->frameCount % 2, 1);
    uint64_t before = Now();
    ASSERT_TRUE(app_->RunFrame());
    uint64_t took = Now() - before;
    EXPECT_GE(took, 15000u);
    EXPECT_LT(took, 17000u);
    // A frame whose update took 25 ms does not wait at all.
    ASSERT_TRUE(app_->RunFrame());
    script_.onTitleUpdate = [](FakeTitle&) { platform::AdvanceVirtualClock(25000); };
    before = Now();
    ASSERT_TRUE(app_->RunFrame());
    took = Now() - before;
    EXPECT_GE(took, 25000u);
    EXPECT_LT(took, 26000u);
}

TEST_F(GameTest, FramePacingSurvivesTheMillisecondCountWrap) {
    Start();
    StepUntil(3);
    // Move the clock to 5 ms before the 31-bit millisecond count wraps.
    const uint64_t period = uint64_t(1) << 31;  // milliseconds
    const uint64_t ms = Now() / 1000;
    const uint64_t target = (ms / period + 1) * period - 5;
    platform::AdvanceVirtualClock((target - ms) * 1000);
    ASSERT_GT(GetMillisecondCount(), 0x7FFFFFFF - 10);
    const uint64_t before = Now();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(app_->RunFrame());
    EXPECT_LE(Now() - before, 3u * 17000u);
    EXPECT_LT(GetMillisecondCount(), 100);  // the count did wrap on the way
}

TEST_F(GameTest, F12ReturnsToTheTitleOncePerPress) {
    Start();
    StepUntil(3);
    const int64_t at = platform::ScriptedInputFrame();
    KeyAt(at + 2, KEYCODE_F12, true);
    KeyAt(at + 30, KEYCODE_F12, false);
    KeyAt(at + 40, KEYCODE_F12, true);
    KeyAt(at + 41, KEYCODE_F12, false);
    std::vector<int> edges;
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(Step());
        // returnToTitle is consumed by the F12 step; the title's Init tells.
        edges.push_back(script_.Count("title.init"));
    }
    EXPECT_EQ(edges[1], 1);
    EXPECT_EQ(edges[2], 2);
    EXPECT_EQ(edges[39], 2);
    EXPECT_EQ(edges[40], 3);
    EXPECT_EQ(edges[49], 3);
}

TEST_F(GameTest, F12DuringPlayOrTheEndingFreesThatScene) {
    Start();
    StepUntil(3);
    FakeTitle* title = static_cast<FakeTitle*>(app_->title.get());
    title->start = true;
    ASSERT_TRUE(Step());
    ASSERT_EQ(app_->scene, GameApp::kScenePlay);
    ASSERT_EQ(script_.sessionsAlive, 1);
    KeyAt(platform::ScriptedInputFrame(), KEYCODE_F12, true);
    ASSERT_TRUE(Step());
    EXPECT_EQ(app_->scene, GameApp::kSceneTitle);
    EXPECT_EQ(script_.sessionsAlive, 0);
    EXPECT_EQ(app_->session, nullptr);
    KeyAt(platform::ScriptedInputFrame(), KEYCODE_F12, false);

    // Into the ending and out again by F12.
    title->start = true;
    script_.onSessionUpdate = [](FakeSession& s) { s.requests.ending = true; };
    ASSERT_TRUE(Step());
    ASSERT_TRUE(Step());
    ASSERT_EQ(app_->scene, GameApp::kSceneEnding);
    EXPECT_EQ(script_.sessionsAlive, 0);
    EXPECT_EQ(script_.endingsAlive, 1);
    KeyAt(platform::ScriptedInputFrame(), KEYCODE_F12, true);
    ASSERT_TRUE(Step());
    EXPECT_EQ(app_->scene, GameApp::kSceneTitle);
    EXPECT_EQ(script_.endingsAlive, 0);
}

TEST_F(GameTest, SessionsStartReplaceAndEndWithTheSaveStored) {
    Start();
    StepUntil(3);
    FakeTitle* title = static_cast<FakeTitle*>(app_->title.get());
    title->mode = 1;  // the final set: no lives
    title->stage = 11;
    title->start = true;
    ASSERT_TRUE(Step());
    ASSERT_EQ(app_->scene, GameApp::kScenePlay);
    EXPECT_EQ(script_.lastSetup.setNumber, 11);
    EXPECT_EQ(script_.lastSetup.lives, 0);
    EXPECT_FALSE(SaveFileExists());

    // The next session of the run takes over from the last; the save is written first.
    script_.onSessionUpdate = [](FakeSession& s) {
        EXPECT_TRUE(s.sawAllArrays);  // play reads all six input arrays
        s.requests.replace = true;
    };
    ASSERT_TRUE(Step());
    EXPECT_TRUE(SaveFileExists());
    EXPECT_EQ(script_.sessionsMade, 2);
    EXPECT_EQ(script_.sessionsAlive, 1);
    EXPECT_EQ(script_.lastSetup.setNumber, -1);
    EXPECT_EQ(script_.lastSetup.lives, 15);
    EXPECT_EQ(script_.Count("session.carry"), 1);

    // Back to the title.
    script_.onSessionUpdate = [](FakeSession& s) { s.requests.title = true; };
    const int inits = script_.Count("title.init");
    ASSERT_TRUE(Step());
    EXPECT_EQ(app_->scene, GameApp::kSceneTitle);
    EXPECT_EQ(script_.sessionsAlive, 0);
    EXPECT_EQ(script_.Count("title.init"), inits + 1);

    // The final set's ending, and back to the title when it is done.
    script_.onSessionUpdate = [](FakeSession& s) {
        s.result.isLastSet = true;
        s.requests.ending = true;
    };
    script_.onEndingUpdate = [](FakeEnding& e) { e.done = true; };
    title->start = true;
    ASSERT_TRUE(Step());
    ASSERT_TRUE(Step());
    EXPECT_EQ(app_->scene, GameApp::kSceneEnding);
    EXPECT_EQ(script_.lastEndingKind, 1);
    EXPECT_EQ(script_.Count("ending.messages"), 1);
    ASSERT_TRUE(Step());
    EXPECT_EQ(app_->scene, GameApp::kSceneTitle);
    EXPECT_EQ(script_.endingsAlive, 0);
    EXPECT_EQ(GameData::currentBgm, 0);  // the title music
}

TEST_F(GameTest, QuitFromTheTitleStoresTheSave) {
    WithContent();
    script_.onTitleUpdate = [](FakeTitle& t) { t.quit = true; };
    EXPECT_EQ(RunGame(FakeScenes(script_)), 0);
    EXPECT_TRUE(SaveFileExists());
    EXPECT_EQ(IsEngineInitialized(), 0);
    EXPECT_EQ(script_.titlesAlive, 0);
}

TEST_F(GameTest, ClosingTheWindowEndsWithoutStoringTheSave) {
    WithContent();
    int updates = 0;
    script_.onTitleUpdate = [&updates](FakeTitle&) {
        if (++updates == 5) platform::HeadlessPushEvent({platform::EventType::CloseRequested});
    };
    EXPECT_EQ(RunGame(FakeScenes(script_)), 0);
    EXPECT_EQ(updates, 5);
    EXPECT_FALSE(SaveFileExists());
    EXPECT_EQ(IsEngineInitialized(), 0);
}

TEST_F(GameTest, StartUpLeavesStandardErrorToThePlayerAndTracesTheRemotesInTheLog) {
    SetLogOutput(1);
    testing::internal::CaptureStderr();
    Start();
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "");
    // Four connection attempts, none found, each said in the log in its own line.
    std::string log = ScopedTempDir::ReadFile(dir_.path() / "Log.txt");
    EXPECT_NE(log.find("Paddlewise! : Connecting Wiimote 4:"), std::string::npos) << log;
    EXPECT_EQ(log.find("\n\n"), std::string::npos);
}

TEST_F(GameTest, ADamagedSaveIsInTheLogStartUpKeepsOrWithTheLogOffOnStandardErrorAlone) {
    WithContent();
    std::ofstream(SaveData::kFileName, std::ios::binary) << "ten bytes!";
    const std::string words = "Save data: morpoCatSave.dat holds 10 bytes instead of 992; using the defaults";
    // A developer's run with the log on: read before the engine starts, the
    // warning survives the start that makes the log anew.
    SetLogOutput(1);
    testing::internal::CaptureStderr();
    Start();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const std::string log = ScopedTempDir::ReadFile(dir_.path() / "Log.txt");
    const size_t warning = log.find(words);
    ASSERT_NE(warning, std::string::npos) << log;
    EXPECT_LT(warning, log.find("Engine start-up")) << log;
    app_.reset();
    ShutdownEngine();

    // The game's own run, the log off: the player hears of it on standard
    // error, and of nothing else.
    std::filesystem::remove(dir_.path() / "Log.txt");
    SetLogOutput(0);
    testing::internal::CaptureStderr();
    Start();
    const std::string said = testing::internal::GetCapturedStderr();
    SetLogOutput(1);
    EXPECT_EQ(said, "morpotta: " + words + "\n" + kNoGlDeviceLine);
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "Log.txt"));
}

// A record's store (the replay with the save holding the run's new best
// time) killed once its set stood. Every start settles before it reads the
// save: while another copy of the game holds the replay folder, the start
// is refused and reads nothing; the next start finishes the set, and the
// game goes on from the save it put in place.
TEST_F(GameTest, EveryStartSettlesBeforeItReadsTheSaveOrIsRefused) {
    WithContent();
    SaveData before, after;
    SaveData::SetDefaults(before);
    before.bestTime[3] = 50000;
    after = before;
    after.bestTime[3] = 40000;
    ASSERT_TRUE(SaveData::Store(before));
    const std::string oldSave = ScopedTempDir::ReadFile(SaveData::kFileName);
    std::filesystem::create_directory("replay");
    std::ofstream("replay/t3_meta.dat") << "6,";
    uint8_t bytes[SaveData::kFileSize];
    SaveData::Serialize(after, bytes);
    const std::string meta = "5,";
    const DurableFile record[] = {{"replay/t3_meta.dat", meta.data(), meta.size()}, {SaveData::kFileName, bytes, sizeof bytes}};
    {
        KillStoresOnceTheyStand kill;
        EXPECT_EQ(WriteFileSetDurably(&replay::GameStores(), record, std::size(record)), -1);
    }
    ReleaseDurableFolders();  // the killed copy's end

    // Another copy of the game holds the replay folder.
    const int holder = open("replay", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    script_.onTitleUpdate = [](FakeTitle& title) { title.quit = true; };  // a game that ran would end here
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunGame(FakeScenes(script_)), -1);
    const std::string said = testing::internal::GetCapturedStderr();
    SetLogOutput(1);
    close(holder);
    EXPECT_EQ(said, "morpotta: cannot start: the folder replay (" + std::filesystem::canonical("replay").string() +
                        ") is used by another running program, another copy of the game\n");
    EXPECT_EQ(script_.Count("title.init"), 0);
    EXPECT_EQ(ScopedTempDir::ReadFile(SaveData::kFileName), oldSave);

    Start();
    EXPECT_EQ(app_->data->save->bestTime[3], 40000);
    EXPECT_EQ(ScopedTempDir::ReadFile("replay/t3_meta.dat"), "5,");
    EXPECT_EQ(StoreLeftovers(), std::vector<std::string>{});
}

TEST_F(GameTest, AStoreStartUpCannotFinishIsSaidWithWhatItsFilesHold) {
    WithContent();
    std::filesystem::create_directory("replay");
    std::ofstream("replay/t3_meta.dat") << "6,";
    const std::string meta = "5,", stream = "n";
    const DurableFile set[] = {{"replay/t3_meta.dat", meta.data(), meta.size()},
                               {"replay/t3_inState0P.dat", stream.data(), stream.size()}};
    {
        KillStoresOnceTheyStand kill;
        EXPECT_EQ(WriteFileSetDurably(&replay::GameStores(), set, std::size(set)), -1);
    }
    ReleaseDurableFolders();
    // The meta file's new copy was lost since: it keeps its previous one.
    for (const std::string& left : StoreLeftovers("replay"))
        if (left.find("t3_meta.dat.") != std::string::npos) std::filesystem::remove(left);
    SetLogOutput(0);
    testing::internal::CaptureStderr();
    Start();
    const std::string said = testing::internal::GetCapturedStderr();
    SetLogOutput(1);
    EXPECT_EQ(said, "morpotta: The store of the replay of stage 3 could never be finished (replay/t3_meta.dat keeps its "
                    "previous copy: its new one is gone): 1 of its 2 files is new, the other as before\n" +
                        std::string(kNoGlDeviceLine));
    EXPECT_EQ(ScopedTempDir::ReadFile("replay/t3_meta.dat"), "6,");
    EXPECT_EQ(ScopedTempDir::ReadFile("replay/t3_inState0P.dat"), "n");
    EXPECT_EQ(StoreLeftovers(), std::vector<std::string>{});
}

TEST_F(GameTest, StartUpFailureEndsWhatStartedAndReturnsMinusOne) {
    // No resource tree: the loading picture cannot be read after the engine started.
    const int opened = platform::HeadlessOpenCount();
    EXPECT_EQ(RunGame(FakeScenes(script_)), -1);
    EXPECT_EQ(platform::HeadlessOpenCount(), opened + 1);
    EXPECT_EQ(IsEngineInitialized(), 0);
    EXPECT_FALSE(platform::Window().isOpen());
    EXPECT_EQ(script_.titlesAlive, 0);
    EXPECT_FALSE(SaveFileExists());

    // What a run that cannot start says on stderr, the log off as the game
    // has it; its result -1.
    const auto refusedRunSays = [&] {
        SetLogOutput(0);
        testing::internal::CaptureStderr();
        const int result = RunGame(FakeScenes(script_));
        const std::string said = testing::internal::GetCapturedStderr();
        SetLogOutput(1);
        EXPECT_EQ(result, -1);
        return said;
    };
    // No display to open its window on: the player hears why from the
    // engine, in the program's name (the game's own program: PlayerNotices).
    platform::HeadlessRefuseOpen(true);
    EXPECT_EQ(refusedRunSays(), std::string(program_invocation_short_name) +
                                    ": cannot start: no window could be opened (is a display available?)\n");
    platform::HeadlessRefuseOpen(false);

    // With its content, in a window that cannot show the loading picture:
    // the game would run unseen, so it ends saying why.
    WithContent();
    script_.onTitleUpdate = [](FakeTitle& title) { title.quit = true; };  // a game that ran would end here
    platform::HeadlessRefusePresent(true);
    EXPECT_EQ(refusedRunSays(), "morpotta: cannot start: the game's window cannot show its pictures\n");
    platform::HeadlessRefusePresent(false);
    EXPECT_EQ(IsEngineInitialized(), 0);
    EXPECT_FALSE(platform::Window().isOpen());
}

}  // namespace
