// The ending: the fade after the script, the roll's lengths and its speed
// on decide, the congratulation's end taken once however far the roll
// jumps, the START latch from play, the closing messages and the staff
// roll's credits and layout; then on the generated content, the ending
// drawn (the roll and the closing screen saved as PNG) and a run through
// GameApp from the session's request back to the title.
#include "engine/draw2d.h"
#include "engine/graph.h"
#include "engine/screen.h"
#include "game/data/game_data.h"
#include "game/data/game_text.h"
#include "game/ending/ending_scene.h"
#include "game/ending/staff_roll.h"
#include "game/input/input_device.h"
#include "game/input/input_manager.h"
#include "game/savedata.h"
#include "game/session/play_session.h"
#include "game_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

class EndingTest : public ::testing::Test {
protected:
    void SetUp() override {
        SaveData::SetDefaults(save_);
        data_.save = &save_;
        devices_[0] = &keyboard_;
    }

    // An ending whose script is `scriptText` (the file is not read in
    // these tests: no resource tree).
    std::unique_ptr<EndingScene> Ending(int kind, const std::string& scriptText = "wait 1\n") {
        auto ending = std::make_unique<EndingScene>(kind, entries_, devices_, &data_);
        ending->script = ScenarioScript::FromText(scriptText, true, ending->PlayerKind() - 1, &data_, false);
        return ending;
    }
    void Frame(EndingScene& e) { e.Update(slots_); }
    // Runs frames until the phase is `phase`; the frames it took (-1: not within limit).
    int RunToPhase(EndingScene& e, int phase, int limit = 20000) {
        for (int frames = 0; frames < limit; ++frames) {
            if (e.phase == phase) return frames;
            Frame(e);
        }
        return -1;
    }
    void Hold(int button, bool down) { pad_.held[button] = down ? 1 : 0; }

    GameData data_;
    SaveData save_;
    InputDevice keyboard_{0, input::kKeyboard, nullptr};
    InputDevice* devices_[input::kSlotCount] = {};
    int32_t entries_[4] = {0, -1, -1, -1};
    input::ButtonBlock pad_{};
    input::ButtonBlock* slots_[input::kSlotCount] = {&pad_};
};

TEST_F(EndingTest, TheScriptIsFollowedByAFadeOf240Frames) {
    auto e = Ending(0, "mes \"fin\"\n");
    EXPECT_EQ(e->PlayerKind(), input::kKeyboard);
    EXPECT_EQ(e->script->playerCat, input::kKeyboard - 1);
    Frame(*e);
    ASSERT_EQ(e->script->state, ScenarioScript::kMessage);
    for (int i = 0; i < 50; ++i) Frame(*e);
    EXPECT_EQ(e->fade, 0);  // the message waits for decide
    Hold(input::kJump, true);
    int frames = 0;
    while (e->fade == 0 && frames++ < 10) Frame(*e);
    ASSERT_EQ(e->fade, 1);  // the frame the script ended
    EXPECT_EQ(RunToPhase(*e, EndingScene::kRoll), 240);
    EXPECT_EQ(e->fade, 241);
    EXPECT_EQ(e->rollPos, 0);
}

TEST_F(EndingTest, RollLengthsAndTheCongratulationsEndTakenOnce) {
    for (int kind : {0, 1}) {
        auto e = Ending(kind);
        ASSERT_GT(RunToPhase(*e, EndingScene::kRoll), 0);
        std::vector<int> captures;  // roll positions at which the screen was captured
        int fadeInFrames = -1;
        int frames = 0;
        for (; e->phase == EndingScene::kRoll && frames < 20000; ++frames) {
            data_.transitionCount = 30;
            const int32_t at = e->rollPos;
            Frame(*e);
            if (data_.transitionCount == 0) captures.push_back(at);
            if (fadeInFrames < 0 && e->fade == 0) fadeInFrames = frames + 1;
        }
        ASSERT_EQ(e->phase, EndingScene::kClosing) << kind;
        EXPECT_EQ(captures, std::vector<int>{900}) << kind;
        EXPECT_EQ(fadeInFrames, 241) << kind;
        if (kind == 1) {
            EXPECT_EQ(frames, 901);  // closes on the frame at 900
            EXPECT_EQ(e->fade, 0);
        } else {
            // Past 5700 the roll fades out for 240 frames, then closes.
            EXPECT_EQ(frames, 5701 + 241);
            EXPECT_EQ(e->fade, 241);
            EXPECT_EQ(RunToPhase(*e, -1, 241), -1);
            EXPECT_EQ(e->fade, 0);  // and the closing screen fades in
        }
    }
}

TEST_F(EndingTest, DecideRunsTheRollFiveTimesFaster) {
    auto e = Ending(0);
    ASSERT_GT(RunToPhase(*e, EndingScene::kRoll), 0);
    Hold(input::kJump, true);
    for (int i = 1; i <= 100; ++i) {
        Frame(*e);
        ASSERT_EQ(e->rollPos, 5 * i);
    }
    Hold(input::kJump, false);
    Frame(*e);
    EXPECT_EQ(e->rollPos, 501);
    Hold(input::kJump, true);
    const int frames = RunToPhase(*e, EndingScene::kClosing);
    // (5701 - 501) / 5 frames of roll, then the 241 frames of the fade.
    EXPECT_EQ(frames, 1040 + 241);
}

TEST_F(EndingTest, DecideJumpingPast900StillClosesTheFinalSetOnce) {
    for (int kind : {1, 0}) {
        auto e = Ending(kind);
        ASSERT_GT(RunToPhase(*e, EndingScene::kRoll), 0);
        while (e->rollPos < 898) Frame(*e);
        Hold(input::kJump, true);
        Frame(*e);
        ASSERT_EQ(e->rollPos, 903);  // 900 itself is never seen
        data_.transitionCount = 30;
        Frame(*e);
        EXPECT_EQ(data_.transitionCount, 0) << kind;  // captured
        EXPECT_EQ(e->pastCongratulation, 1);
        EXPECT_EQ(e->phase, kind == 1 ? EndingScene::kClosing : EndingScene::kRoll) << kind;
        if (kind == 0) {
            data_.transitionCount = 30;
            for (int i = 0; i < 100; ++i) Frame(*e);
            EXPECT_EQ(data_.transitionCount, 30);  // not again
        }
        Hold(input::kJump, false);
    }
}

TEST_F(EndingTest, AStartHeldFromPlayMustBeLetGoAndPressedAgain) {
    auto e = Ending(1, "wait 5\n");
    Hold(input::kPause, true);
    Frame(*e);
    EXPECT_EQ(pad_.held[input::kPause], 0);  // cleared on the first frame
    EXPECT_EQ(e->startLatch, 1);
    // Still held all through: it neither skips the script nor closes the ending.
    Hold(input::kJump, true);
    for (int i = 0; i < 2000 && e->phase != EndingScene::kClosing; ++i) {
        Hold(input::kPause, true);
        Frame(*e);
    }
    ASSERT_EQ(e->phase, EndingScene::kClosing);
    for (int i = 0; i < 30; ++i) Frame(*e);
    EXPECT_FALSE(e->TakeDone());
    Hold(input::kPause, false);
    Frame(*e);
    EXPECT_FALSE(e->TakeDone());
    Hold(input::kPause, true);
    data_.transitionCount = 30;
    Frame(*e);
    EXPECT_TRUE(e->TakeDone());
    EXPECT_EQ(data_.transitionCount, 0);  // the screen captured for the title's dissolve
    EXPECT_FALSE(e->TakeDone());         // taken
    for (int i = 0; i < 10; ++i) Frame(*e);
    EXPECT_FALSE(e->TakeDone());  // holding on does not end it twice
    // Only the first player's START counts.
    e = Ending(1, "wait 1\n");
    input::ButtonBlock other{};
    slots_[1] = &other;
    ASSERT_GT(RunToPhase(*e, EndingScene::kClosing), 0);
    Hold(input::kPause, false);
    Frame(*e);
    other.held[input::kPause] = 1;
    for (int i = 0; i < 10; ++i) Frame(*e);
    EXPECT_FALSE(e->TakeDone());
}

TEST_F(EndingTest, MessagesFollowTheKindTheDifficultyAndTheUnlocks) {
    const std::string title = GameText("★　ゲームクリアおめでとう　★");
    struct Case {
        int kind;
        int32_t difficulty;
        uint8_t finalSetUnlocked;
        bool newSet, soundTest;
        std::vector<const char*> lines;  // messages 1..3 ("" none)
    } cases[] = {
        {0, 0, 0, true, true, {"Easyクリアおめでとう！", "次はHardモードに挑戦だ！", ""}},
        {0, 1, 0, true, false,
         {"Hardクリアおめでとう！", "メニューから新しいセットが遊べるようになったよ！", "…途中で出会った謎のねこの正体は？"}},
        {0, 1, 0, false, false,
         {"Hardクリアおめでとう！", "最後までコンティニューをせずに、", "途中で割り込む謎のねこのセットをクリアしよう。"}},
        {0, 1, 1, false, false, {"Hardクリアおめでとう！", "", ""}},
        {1, 1, 1, false, true,
         {"ホントに最後のセットクリアおめでとう！", "ここまで遊んでくれてありがとう！！", "サウンドテストが使えるようになったよ。"}},
        {1, 0, 1, true, false, {"ホントに最後のセットクリアおめでとう！", "ここまで遊んでくれてありがとう！！", ""}},
    };
    for (const Case& c : cases) {
        save_.difficulty = c.difficulty;
        save_.finalSetUnlocked = c.finalSetUnlocked;
        auto e = Ending(c.kind);
        e->ChooseMessages(c.newSet, c.soundTest, 1234, true);
        EXPECT_EQ(e->messages[0], title);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(e->messages[i + 1], GameText(c.lines[size_t(i)])) << c.kind << " " << i;
        EXPECT_EQ(e->score, 1234);
        EXPECT_EQ(e->soundTestMessage, c.soundTest);
        EXPECT_EQ(e->highScoreMessage, 1);
    }
}

TEST(StaffRoll, CreditsAreReadWithinTheirBounds) {
    const std::string kana = GameText("あ");  // two bytes
    std::string text = "graphics:one\r\nsound:two\n\n  \nthanks:three\nbogus line\nkey:value\nclosing:first\n";
    text += "thanks:" + std::string(59, 'x') + kana + "\n";  // the character that does not fit whole is left out
    for (int i = 0; i < 10; ++i) text += "graphics:g" + std::to_string(i) + "\n";
    text += "closing:last";
    int skipped = 0;
    const staffroll::Credits c = staffroll::ParseCredits(text, &skipped);
    EXPECT_EQ(skipped, 2);
    ASSERT_EQ(c.groups[0].size(), size_t(staffroll::kMaxEntries));
    EXPECT_EQ(c.groups[0][0], "one");
    EXPECT_EQ(c.groups[0][7], "g6");
    EXPECT_EQ(c.groups[1], std::vector<std::string>{"two"});
    EXPECT_EQ(c.groups[2], (std::vector<std::string>{"three", std::string(59, 'x')}));
    EXPECT_EQ(c.closing, "last");
    EXPECT_TRUE(staffroll::ReadCredits("tpa\\scenario\\no_such_roll.txt").closing.empty());
}

TEST(StaffRoll, TheRollFitsItsLengthWhateverTheCredits) {
    staffroll::Credits few, full;
    few.groups[2] = {"a"};
    for (auto& group : full.groups) group.assign(staffroll::kMaxEntries, std::string(60, 'x'));
    for (const staffroll::Credits* credits : {&few, &full}) {
        const std::vector<staffroll::Row> rows = staffroll::Layout(*credits);
        ASSERT_FALSE(rows.empty());
        for (size_t i = 1; i < rows.size(); ++i) EXPECT_GE(rows[i].top, rows[i - 1].top + rows[i - 1].height);
        EXPECT_EQ(rows.back().kind, staffroll::Row::kClosing);
        // The closing line is in place before the roll fades out at 5700:
        // the gaps stretch for short credits, never past that point.
        EXPECT_EQ(rows.back().top, staffroll::kClosingTop) << credits->groups[0].size();
        int cast = 0, models = 0;
        for (const staffroll::Row& row : rows) {
            cast += row.kind == staffroll::Row::kCast;
            models += row.kind == staffroll::Row::kModels;
        }
        EXPECT_EQ(cast, 12);
        EXPECT_EQ(models, 1);
    }
}

// ---------------------------------------------------------------- on the generated content

// Drawn on the GL device, so the roll's cat models show in the pictures.
class EndingOnDeviceTest : public GameOnDeviceTest {
protected:
    static std::vector<uint32_t> Draw(EndingScene& e) {
        return DrawnScreen([&e] { e.Draw(); });
    }
};

TEST_F(EndingOnDeviceTest, DrawsTheRollAndTheClosingScreen) {
    Start();
    ASSERT_EQ(HardwareRenderingActive(), 1);
    GameData& data = *app_->data;
    ASSERT_GT(app_->input->deviceCount, 0);
    const int32_t entries[4] = {0, -1, -1, -1};
    EndingScene e(0, entries, app_->input->devices, &data);
    e.ChooseMessages(false, true, 123456, false);
    data.transitionCount = 30;  // no dissolve over the pictures
    // The script's scene, and the same half way through the fade to black.
    input::ButtonBlock none{};
    input::ButtonBlock* idle[input::kSlotCount] = {&none};
    for (int i = 0; i < 200 && e.script->state != ScenarioScript::kMessage; ++i) e.Update(idle);
    ASSERT_EQ(e.script->state, ScenarioScript::kMessage);
    const std::vector<uint32_t> scene = Draw(e);
    e.fade = 120;
    const std::vector<uint32_t> fading = Draw(e);
    SaveScreenPng("ending_script_fade.png");
    auto brightness = [](const std::vector<uint32_t>& p) {
        int64_t sum = 0;
        for (uint32_t c : p) sum += ((c >> 16) & 255) + ((c >> 8) & 255) + (c & 255);
        return sum;
    };
    ASSERT_GT(brightness(scene), 0);
    EXPECT_NEAR(double(brightness(fading)) / double(brightness(scene)), 0.5, 0.05);
    e.fade = 0;
    e.phase = EndingScene::kRoll;

    // The congratulation, with the final set's lines.
    e.rollPos = 300;
    std::vector<uint32_t> shown = Draw(e);
    SaveScreenPng("ending_congratulation.png");
    const uint32_t yellow = 0xFFFF00, white = 0xFFFFFF;
    EXPECT_GT(PixelsOfColour(shown, 30, 160, 600, 200, yellow), 300);
    EXPECT_GT(PixelsOfColour(shown, 160, 250, 520, 330, white), 300);
    EXPECT_GT(LitPixels(shown, 0, 20, 640, 130), 3000);  // the rows of faces

    // The cast with the faces, then the cat models' line-up, then the
    // credits; the closing line stops in the middle.
    auto rowTop = [&e](staffroll::Row::Kind kind, int nth = 0) {
        for (const staffroll::Row& row : e.rollRows)
            if (row.kind == kind && nth-- == 0) return row.top;
        return -1;
    };
    // The roll position that shows a row's top at screen row y.
    auto showAt = [](int32_t top, int y) { return EndingScene::kRollCongratulation + 480 + top - y; };
    e.rollPos = showAt(rowTop(staffroll::Row::kHeading), 0);
    shown = Draw(e);
    SaveScreenPng("ending_roll_cast.png");
    EXPECT_GT(PixelsOfColour(shown, 0, 0, 640, 40, yellow), 100);     // the heading
    EXPECT_GT(PixelsOfColour(shown, 250, 60, 640, 480, white), 500);  // the names
    EXPECT_GT(LitPixels(shown, 170, 60, 250, 480), 5000);          // the faces
    e.rollPos = showAt(rowTop(staffroll::Row::kModels), 0);
    shown = Draw(e);
    SaveScreenPng("ending_roll_models.png");
    for (int column : {110, 250, 390, 530}) EXPECT_GT(LitPixels(shown, column - 50, 25, column + 50, 125), 1500) << column;
    e.rollPos = showAt(rowTop(staffroll::Row::kHeading, 2), 100);
    shown = Draw(e);
    SaveScreenPng("ending_roll_credits.png");
    EXPECT_GT(PixelsOfColour(shown, 0, 100, 640, 140, yellow), 100);
    EXPECT_GT(PixelsOfColour(shown, 0, 170, 640, 480, white), 500);
    e.rollPos = EndingScene::kRollEnd;
    shown = Draw(e);
    SaveScreenPng("ending_roll_end.png");
    EXPECT_GT(PixelsOfColour(shown, 0, 200, 640, 270, white), 300);
    EXPECT_EQ(LitPixels(shown, 0, 0, 640, 190), 0);

    // The closing screen.
    e.phase = EndingScene::kClosing;
    e.kind = 1;
    e.fade = 0;
    e.frameCount = 100;
    e.ChooseMessages(false, true, 123456, false);
    shown = Draw(e);
    SaveScreenPng("ending_closing.png");
    // Edged text on the light backdrop: its cores in the pure colours.
    EXPECT_GT(PixelsOfColour(shown, 220, 10, 300, 32, yellow), 30);  // "スコア:"
    EXPECT_GT(PixelsOfColour(shown, 300, 10, 400, 32, white), 40);   // 00123456
    EXPECT_GT(PixelsOfColour(shown, 180, 150, 460, 168, yellow), 80);
    for (int line = 0; line < 3; ++line)
        EXPECT_GT(PixelsOfColour(shown, 50, 200 + 40 * line, 600, 218 + 40 * line, white), 50) << line;
    // The fade darkens it all evenly.
    e.fade = 120;
    const std::vector<uint32_t> faded = Draw(e);
    EXPECT_EQ(PixelsOfColour(faded, 0, 0, 640, 480, white), 0);
}

TEST_F(GameTest, TheRunsEndGoesThroughTheEndingBackToTheTitleWithTheSaveStored) {
    // The game's own session and ending behind a stand-in title; every
    // fourth frame drawn, since the run is long.
    SaveData save;
    SaveData::SetDefaults(save);
    save.drawPeriod = 3;
    ASSERT_TRUE(SaveData::Store(save));
    WithContent();
    scene::Factory factory = FakeScenes(script_);
    factory.makeSession = scene::GameScenes().makeSession;
    factory.makeEnding = scene::GameScenes().makeEnding;
    app_ = std::make_unique<GameApp>(std::move(factory));
    script_.app = app_.get();
    ASSERT_EQ(app_->startFailed, 0);
    StepUntil(3);
    ASSERT_EQ(app_->input->devices[0]->type, input::kKeyboard);  // the first player plays on the keyboard
    FakeTitle* title = static_cast<FakeTitle*>(app_->title.get());
    title->stage = 4;  // the last normal set
    title->start = true;
    ASSERT_TRUE(Step());
    ASSERT_EQ(app_->scene, GameApp::kScenePlay);

    // The set is over: START at its end asks for the ending, and is held on.
    auto* session = dynamic_cast<PlaySession*>(app_->session.get());
    ASSERT_NE(session, nullptr);
    session->setCleared = 1;
    session->sessionOver = 1;
    session->score = 4321;
    session->bonusPending = 0;
    session->phase = PlaySession::kSetEnd;
    session->phaseTimer = 1000;
    KeyAt(platform::ScriptedInputFrame(), KEYCODE_ESCAPE, true);
    for (int i = 0; i < 5 && app_->scene != GameApp::kSceneEnding; ++i) ASSERT_TRUE(Step());
    ASSERT_EQ(app_->scene, GameApp::kSceneEnding);
    EXPECT_EQ(app_->session, nullptr);
    auto* ending = dynamic_cast<EndingScene*>(app_->ending.get());
    ASSERT_NE(ending, nullptr);
    EXPECT_EQ(ending->kind, 0);
    EXPECT_EQ(ending->score, 4321);
    EXPECT_EQ(ending->messages[1], GameText("Easyクリアおめでとう！"));
    std::filesystem::remove(dir_.path() / "morpoCatSave.dat");
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(Step());
    EXPECT_EQ(ending->phase, EndingScene::kScript);  // the held START skips nothing
    EXPECT_NE(ending->script->state, ScenarioScript::kEnded);
    EXPECT_EQ(ending->fade, 0);

    // Pressed anew, START skips the script; decide hurries the roll; START closes.
    auto press = [this](int key) {
        KeyAt(platform::ScriptedInputFrame(), key, true);
        ASSERT_TRUE(Step());
        KeyAt(platform::ScriptedInputFrame(), key, false);
        ASSERT_TRUE(Step());
    };
    KeyAt(platform::ScriptedInputFrame(), KEYCODE_ESCAPE, false);
    ASSERT_TRUE(Step());
    press(KEYCODE_ESCAPE);
    EXPECT_EQ(ending->script->state, ScenarioScript::kEnded);
    EXPECT_GT(ending->fade, 0);
    KeyAt(platform::ScriptedInputFrame(), KEYCODE_ENTER, true);
    for (int i = 0; i < 3000 && ending->phase != EndingScene::kClosing; ++i) ASSERT_TRUE(Step());
    ASSERT_EQ(ending->phase, EndingScene::kClosing);
    KeyAt(platform::ScriptedInputFrame(), KEYCODE_ENTER, false);
    ASSERT_TRUE(Step());  // START seen up in the closing screen
    EXPECT_FALSE(SaveFileExists());
    press(KEYCODE_ESCAPE);
    EXPECT_EQ(app_->scene, GameApp::kSceneTitle);
    EXPECT_EQ(app_->ending, nullptr);
    EXPECT_TRUE(SaveFileExists());
    EXPECT_EQ(GameData::currentBgm, 0);  // the title music again
}

}  // namespace
