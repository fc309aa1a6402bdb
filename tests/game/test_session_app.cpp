// The play session inside the running game (headless, software drawing,
// keyboard through the scripted input): GameApp makes it when the title
// starts play, draws it, and acts on its requests; the session's screens
// are saved as PNG files for a look.
#include "engine/input.h"
#include "engine/lifecycle.h"
#include "engine/log.h"
#include "game/draw/draw_calls.h"
#include "game/play/cat_actor.h"
#include "game/input/input_manager.h"
#include "fsync_spy.h"
#include "game_fixture.h"
#include "session_fixture.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <utility>

namespace {

class SessionAppTest : public GameTest {
protected:
    // The game with its own play session behind a stand-in title that
    // starts `mode` on `stage` with the keyboard (and the mouse as the
    // second player when `players` is 2).
    void StartPlay(int32_t mode, int32_t stage, int players = 1) {
        WithContent();
        ASSERT_NO_FATAL_FAILURE(StartWithPlaySessions());
        ASSERT_NO_FATAL_FAILURE(PlayNext(mode, stage, players));
    }
    // The title, once back, starts another session of the run.
    void PlayNext(int32_t mode, int32_t stage, int players = 1) {
        started_ = false;
        const int keyboard = SlotOf(input::kKeyboard), mouse = SlotOf(input::kMouse);
        ASSERT_GE(keyboard, 0);
        ASSERT_GE(mouse, 0);
        script_.onTitleUpdate = [this, mode, stage, keyboard, mouse, players](FakeTitle& title) {
            if (started_) return;  // one session, then the title stays
            started_ = true;
            title.start = true;
            title.mode = mode;
            title.stage = stage;
            title.entries[0] = keyboard;
            title.entries[1] = players > 1 ? mouse : -1;
        };
        while (app_->scene != GameApp::kScenePlay) ASSERT_TRUE(Step());
    }
    int SlotOf(int type) const {
        for (int slot = 0; slot < input::kSlotCount; ++slot) {
            if (app_->input->devices[slot] && app_->input->devices[slot]->type == type) return slot;
        }
        return -1;
    }
    // The game whose title (a stand-in) starts the game's own play sessions.
    void StartWithPlaySessions() {
        scene::Factory factory = FakeScenes(script_);
        factory.makeSession = [](const scene::Context& context, const scene::SessionSetup& setup) {
            return std::make_unique<PlaySession>(context, setup);
        };
        app_ = std::make_unique<GameApp>(std::move(factory));
        script_.app = app_.get();
        ASSERT_EQ(app_->startFailed, 0);
    }
    bool started_ = false;
    PlaySession* Session() const { return dynamic_cast<PlaySession*>(app_->session.get()); }
    void Keys(std::initializer_list<int> keys, bool down) {
        for (int key : keys) KeyAt(platform::ScriptedInputFrame(), key, down);
    }
    void Press(std::initializer_list<int> keys) {
        Keys(keys, true);
        ASSERT_TRUE(Step());
        Keys(keys, false);
        ASSERT_TRUE(Step());
    }
    template <class Condition>
    bool StepUntil(Condition done, int limit) {
        for (int i = 0; i < limit && !done(); ++i) {
            if (!Step()) return false;
        }
        return done();
    }
    // The screen as the last frame drew it, saved for a look; 0xRRGGBB.
    std::vector<uint32_t> Shot(const char* name) {
        std::vector<uint32_t> pixels(640 * 480);
        EXPECT_EQ(ReadDrawScreenPixels(pixels.data()), 0);
        for (uint32_t& c : pixels) c &= 0xFFFFFF;
        SaveScreenPng(name);
        return pixels;
    }
};

TEST_F(SessionAppTest, PauseAndBackToTheTitleWithTheSaveWritten) {
    StartPlay(0, 0);
    PlaySession* s = Session();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->phase, PlaySession::kScene);
    EXPECT_EQ(s->playerEntries[0], SlotOf(input::kKeyboard));
    // The title dissolves over the whole scene, score panel included.
    ASSERT_TRUE(StepUntil([&] { return app_->data->transitionCount >= 30; }, 60));
    ASSERT_EQ(s->phase, PlaySession::kScene);
    const std::vector<uint32_t> scene = Shot("session_scene.png");
    EXPECT_GT(PixelsOfColour(scene, 220, 10, 400, 30, 0xFFFFFF), 50) << "the score panel over the scene";
    for (int i = 0; i < 20 && s->phase == PlaySession::kScene; ++i) Press({KEYCODE_ESCAPE});
    ASSERT_EQ(s->phase, 0);
    ASSERT_TRUE(StepUntil([&] { return !s->CurrentStage()->ready; }, 200));

    Press({KEYCODE_ESCAPE});
    ASSERT_EQ(s->phase, PlaySession::kPause);
    const std::vector<uint32_t> pause = Shot("session_pause.png");
    EXPECT_GT(PixelsOfColour(pause, 250, 160, 400, 200, 0xFFFFFF), 100) << "PAUSE";
    EXPECT_GT(PixelsOfColour(pause, 100, 230, 500, 250, 0xFFFFFF), 100) << "the way back to the title";

    Keys({KEYCODE_ESCAPE, KEYCODE_ENTER, KEYCODE_BACKSPACE}, true);
    ASSERT_TRUE(Step());
    EXPECT_EQ(app_->scene, GameApp::kSceneTitle);
    EXPECT_FALSE(app_->session);
    EXPECT_EQ(script_.Count("title.reset"), 1);
    EXPECT_TRUE(SaveFileExists());
    EXPECT_EQ(GameData::currentBgm, 0) << "the title music again";
}

TEST_F(SessionAppTest, DamagedStageFilesAreRefusedAndEachSessionGoesBackToTheTitle) {
    namespace fs = std::filesystem;
    // The content, with a stage folder of the test's own whose stages 3 to 7
    // are damaged as a disk or a copy damages them.
    LinkContentTreeInto(dir_.path(), {"stage"});
    fs::copy(ContentTreeRoot() / "tpa" / "stage", dir_.path() / "tpa" / "stage");
    auto damage = [&](int stage, const std::function<void(std::string&)>& how) {
        const fs::path file = dir_.path() / "tpa" / "stage" / ("stage_normal" + std::to_string(stage) + ".stg");
        std::string text = ScopedTempDir::ReadFile(file);
        how(text);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    };
    damage(3, [](std::string& t) { t.clear(); });
    damage(4, [](std::string& t) { t.resize(t.size() / 2 + 1); });  // cut off: the start or the goal is gone
    damage(5, [](std::string& t) { t.erase(1, 1); });                // a byte lost: every row after it shifts
    damage(6, [](std::string& t) { t[t.find('G')] = ' '; });
    damage(7, [](std::string& t) { t[t.find('s')] = ' '; });

    SetLogOutput(1);
    ASSERT_NO_FATAL_FAILURE(StartWithPlaySessions());
    const int keyboard = SlotOf(input::kKeyboard);
    const int damaged[] = {3, 4, 5, 6, 7};
    size_t started = 0;
    script_.onTitleUpdate = [&](FakeTitle& title) {
        if (started == std::size(damaged)) return;
        title.start = true;
        title.mode = gamemode::kTimeAttack;
        title.stage = damaged[started++];
        title.entries[0] = keyboard;
    };
    for (int frame = 0; frame < 400 && !(started == std::size(damaged) && app_->scene == GameApp::kSceneTitle); ++frame)
        ASSERT_TRUE(Step());
    EXPECT_EQ(started, std::size(damaged));
    EXPECT_EQ(app_->scene, GameApp::kSceneTitle);
    EXPECT_EQ(script_.sessionsMade, 0) << "the fake factory made none: every session was the game's own";

    // A picture the content lacks is said once, however often it is drawn;
    // no picture (handle 0, a slot without a cat) is said never.
    for (int k = 0; k < 3; ++k) {
        gamedraw::Graph(0, 0, -1);
        gamedraw::Graph(0, 0, 0);
        gamedraw::Billboard(-1, {0, 0, 850}, 10.0f, 0.0f);
    }
    app_.reset();
    ShutdownEngine();
    const std::string log = ScopedTempDir::ReadFile(dir_.path() / "Log.txt");
    const char* why[] = {"holds no map", "has no ", "is cut short", "has no goal", "has no start cell"};
    for (size_t k = 0; k < std::size(damaged); ++k) {
        const std::string line = "tpa/stage/stage_normal" + std::to_string(damaged[k]) + ".stg ";
        const size_t at = log.find(line);
        ASSERT_NE(at, std::string::npos) << log;
        EXPECT_EQ(at, log.rfind(line)) << "one line for stage " << damaged[k];
        EXPECT_EQ(log.compare(at + line.size(), std::strlen(why[k]), why[k]), 0) << log.substr(at, 120);
    }
    EXPECT_EQ(log.find("Bad graph handle"), std::string::npos) << log;
    const std::string missing = "A picture the content lacks (handle -1) is not drawn";
    EXPECT_NE(log.find(missing), std::string::npos) << log;
    EXPECT_EQ(log.find(missing), log.rfind(missing));
}

TEST_F(SessionAppTest, ATimeAttackRecordReachesTheSaveFile) {
    StartPlay(gamemode::kTimeAttack, 0);
    PlaySession* s = Session();
    ASSERT_TRUE(s);
    Stage* stage = s->CurrentStage();
    ASSERT_TRUE(StepUntil([&] { return !stage->ready && !stage->go; }, 300));
    ASSERT_TRUE(StepUntil(
        [&] {
            PutOnGoal(*stage);
            return s->phase == PlaySession::kTimeAttackResult;
        },
        100));
    const int32_t time = stage->elapsed;
    ASSERT_TRUE(StepUntil([&] { return s->phaseTimer > 40 && s->frameCounter % 60 >= 35; }, 200));
    const std::vector<uint32_t> result = Shot("session_time_attack.png");
    EXPECT_GT(PixelsOfColour(result, 220, 230, 330, 255, 0xFFFF00), 30) << "the new time in yellow";
    EXPECT_GT(LitPixels(result, 0, 330, 640, 400), 1000) << "the new-record picture";

    Press({KEYCODE_ESCAPE});
    EXPECT_EQ(app_->scene, GameApp::kSceneTitle);
    EXPECT_EQ(GameData::currentBgm, 1) << "the stage's music goes on into the time-attack select";
    const std::string bytes = ScopedTempDir::ReadFile(dir_.path() / "morpoCatSave.dat");
    ASSERT_EQ(bytes.size(), SaveData::kFileSize);
    int32_t storedTime, storedCat;
    std::memcpy(&storedTime, bytes.data() + 192, 4);
    std::memcpy(&storedCat, bytes.data() + 592, 4);
    EXPECT_EQ(storedTime, time);
    EXPECT_EQ(storedCat, input::kKeyboard);
    // The replay went to the user's record files, and the record replays.
    EXPECT_TRUE(std::filesystem::exists(dir_.path() / "replay" / "t0_meta.dat"));
    EXPECT_TRUE(std::filesystem::exists(dir_.path() / "replay" / "t0_keyboardState0P.dat"));
    const int32_t entries[4] = {SlotOf(input::kKeyboard), -1, -1, -1};
    PlaySession replay(app_->data.get(), StageDevicesOf(*app_->input), entries, 0, gamemode::kReplayUser, 15);
    EXPECT_FALSE(replay.TakeRequests().title);
    ASSERT_EQ(replay.StageCount(), 1);
    EXPECT_EQ(replay.CurrentStage()->Cat(0)->kind, input::kKeyboard);
}

// A best time is kept only with its replay. A record whose store fails (a
// flush of the disk fails) is not kept: the save stored on the way back to
// the title, and with the run's next record, holds the best time before
// it, beside the replay stored before (none here).
TEST_F(SessionAppTest, ARecordWhoseStoreFailedIsNotKeptAndTheNextRecordStoresOnlyItsOwn) {
    StartPlay(gamemode::kTimeAttack, 0);
    const SaveData before = *app_->data->save;
    // The stage played to its goal and its result shown: its time.
    const auto playToTheResult = [&]() -> int32_t {
        PlaySession* s = Session();
        Stage* stage = s ? s->CurrentStage() : nullptr;
        if (!stage || !StepUntil([&] { return !stage->ready && !stage->go; }, 300)) return -1;
        const bool result = StepUntil(
            [&] {
                PutOnGoal(*stage);
                return s->phase == PlaySession::kTimeAttackResult;
            },
            100);
        return result && StepUntil([&] { return s->phaseTimer > 30; }, 40) ? stage->elapsed : -1;
    };
    const int32_t first = playToTheResult();
    ASSERT_GT(first, 0);
    ASSERT_LT(first, before.bestTime[0]);
    Fsyncs().recording = true;
    Fsyncs().failCall = 1;  // the replay's first temporary
    Press({KEYCODE_ESCAPE});
    Fsyncs() = FsyncSpy{};
    ASSERT_EQ(app_->scene, GameApp::kSceneTitle);
    EXPECT_FALSE(std::filesystem::exists("replay/t0_meta.dat"));
    EXPECT_EQ(app_->data->save->bestTime[0], before.bestTime[0]);
    SaveData stored;
    ASSERT_TRUE(SaveData::Load(stored));
    EXPECT_EQ(stored.bestTime[0], before.bestTime[0]) << "the save stored on the way back to the title";

    ASSERT_NO_FATAL_FAILURE(PlayNext(gamemode::kTimeAttack, 1));
    const int32_t second = playToTheResult();
    ASSERT_GT(second, 0);
    Press({KEYCODE_ESCAPE});
    ASSERT_TRUE(SaveData::Load(stored));
    EXPECT_EQ(stored.bestTime[0], before.bestTime[0]) << "the save stored with the next record's replay";
    EXPECT_EQ(stored.bestTime[1], second);
    EXPECT_TRUE(std::filesystem::exists("replay/t1_meta.dat"));
    EXPECT_FALSE(std::filesystem::exists("replay/t0_meta.dat"));
}

TEST_F(SessionAppTest, ATimeAttackRunIsStoredAndTheReplayModePlaysItBack) {
    StartPlay(gamemode::kTimeAttack, 0);
    PlaySession* s = Session();
    ASSERT_TRUE(s);
    Stage* stage = s->CurrentStage();
    // The keyboard cat runs right (J) and jumps (1) now and then.
    std::map<int32_t, std::pair<int32_t, int32_t>> played;
    Keys({KEYCODE_J}, true);
    ASSERT_TRUE(StepUntil([&] { return stage->playFrames >= 200; }, 300));
    for (int i = 0; i < 90; ++i) {
        Keys({KEYCODE_1}, i % 30 < 8);
        ASSERT_TRUE(Step());
        played[stage->playFrames] = {stage->Cat(0)->x, stage->Cat(0)->y};
    }
    ASSERT_TRUE(StepUntil(
        [&] {
            PutOnGoal(*stage);
            return s->phase == PlaySession::kTimeAttackResult;
        },
        100));
    Keys({KEYCODE_J, KEYCODE_1}, false);
    ASSERT_TRUE(StepUntil([&] { return s->phaseTimer >= PlaySession::kEndFrames; }, 40));
    Press({KEYCODE_ESCAPE});
    ASSERT_EQ(app_->scene, GameApp::kSceneTitle);
    EXPECT_EQ(ScopedTempDir::ReadFile(dir_.path() / "replay" / "t0_meta.dat"), "6,");
    EXPECT_EQ(ScopedTempDir::ReadFile(dir_.path() / "replay" / "t0_mouseState0P.dat"), "n");

    // The title's replay select starts mode 11 on the stage: the same cat
    // goes the same way without a key pressed.
    started_ = false;
    script_.onTitleUpdate = [this](FakeTitle& title) {
        if (started_) return;
        started_ = true;
        title.start = true;
        title.mode = gamemode::kReplayUser;
        title.stage = 0;
        title.entries[0] = -1;
    };
    ASSERT_TRUE(StepUntil([&] { return app_->scene == GameApp::kScenePlay; }, 10));
    s = Session();
    ASSERT_TRUE(s);
    stage = s->CurrentStage();
    ASSERT_EQ(stage->mode, gamemode::kReplayUser);
    ASSERT_EQ(stage->Cat(0)->kind, input::kKeyboard);
    std::map<int32_t, std::pair<int32_t, int32_t>> replayed;
    for (int i = 0; i < 400 && stage->playFrames < played.rbegin()->first; ++i) {
        ASSERT_TRUE(Step());
        if (played.count(stage->playFrames)) replayed[stage->playFrames] = {stage->Cat(0)->x, stage->Cat(0)->y};
    }
    EXPECT_EQ(replayed, played);
    EXPECT_NE(played.begin()->second, played.rbegin()->second) << "the cat went somewhere";
}

TEST_F(SessionAppTest, TheSetEndAndVersusResultScreens) {
    StartPlay(0, 0);
    PlaySession* s = Session();
    ASSERT_TRUE(s);
    for (int i = 0; i < 20 && s->phase == PlaySession::kScene; ++i) Press({KEYCODE_ESCAPE});
    s->stageIndex = s->StageCount() - 1;
    Stage* last = s->CurrentStage();
    ASSERT_TRUE(StepUntil(
        [&] {
            if (!last->ready && !last->go) PutOnGoal(*last);
            return s->phase == PlaySession::kSetEnd;
        },
        600));
    ASSERT_TRUE(StepUntil([&] { return s->bonusPending == 0 && s->frameCounter % 60 >= 35; }, 600));
    const std::vector<uint32_t> setEnd = Shot("session_set_end.png");
    EXPECT_GT(PixelsOfColour(setEnd, 20, 190, 300, 215, MakeScreenColor(255, 125, 0) & 0xFFFFFF), 30) << "the set's name";
    EXPECT_GT(PixelsOfColour(setEnd, 20, 240, 300, 265, 0xFFFFFF), 30) << "the clear bonus";
    EXPECT_GT(PixelsOfColour(setEnd, 370, 450, 640, 470, 0xFFFFFF), 30) << "the prompt";
    Press({KEYCODE_ESCAPE});
    EXPECT_EQ(app_->scene, GameApp::kScenePlay);
    ASSERT_TRUE(Session());
    EXPECT_EQ(Session()->setNumber, 1) << "the next set";
}

TEST_F(SessionAppTest, AVersusRoundResult) {
    StartPlay(gamemode::kVersus, 0, 2);
    PlaySession* s = Session();
    ASSERT_TRUE(s);
    Stage* stage = s->CurrentStage();
    ASSERT_TRUE(stage->Cat(1));
    ASSERT_TRUE(StepUntil([&] { return !stage->ready && !stage->go; }, 300));
    stage->Cat(1)->gems = 50;
    stage->elapsed = stage->timeLimit + 1;
    ASSERT_TRUE(StepUntil([&] { return s->phase == PlaySession::kRoundResult && s->phaseTimer > 40 &&
                                       s->frameCounter % 60 >= 35; },
                          400));
    const std::vector<uint32_t> round = Shot("session_versus_round.png");
    EXPECT_GT(PixelsOfColour(round, 280, 60, 420, 95, 0xFFFFFF), 50) << "RESULT";
    EXPECT_GT(LitPixels(round, 150, 190, 180, 230), 50) << "the second player's jewel";
    EXPECT_GT(PixelsOfColour(round, 70, 400, 500, 420, 0xFFFFFF), 30) << "the prompt";
    EXPECT_EQ(s->wins[1], 1);
}

TEST_F(SessionAppTest, ARoundEndsWithNothingOverTheFieldInThePictureKeptBehindItsResult) {
    StartPlay(gamemode::kVersus, 0, 2);
    PlaySession* s = Session();
    ASSERT_TRUE(s);
    Stage* stage = s->CurrentStage();
    ASSERT_TRUE(StepUntil([&] { return !stage->ready && !stage->go; }, 300));
    // The cats in mid-field, where the camera closing in at the round's end
    // keeps them in view to the last frame.
    for (int slot = 0; slot < 2; ++slot) {
        CatActor* cat = stage->Cat(slot);
        cat->x = cat->markX = stage->grid.columns * 16 + slot * 40;
        cat->y = cat->markY = stage->grid.rows * 16;
        cat->vx = cat->vy = 0;
    }
    stage->Cat(1)->gems = 3;  // the second player wins the round
    stage->elapsed = stage->timeLimit + 1;
    // The calls of the frame drawn last before the result: the picture the
    // result keeps behind it.
    std::vector<gamedraw::Call> lastPlayFrame;
    gamedraw::SetRecorder([&lastPlayFrame](const gamedraw::Call& c) { lastPlayFrame.push_back(c); });
    for (int i = 0; i < 400 && s->phase != PlaySession::kRoundResult; ++i) {
        lastPlayFrame.clear();
        ASSERT_TRUE(Step());
    }
    gamedraw::SetRecorder(nullptr);
    ASSERT_EQ(s->phase, PlaySession::kRoundResult);
    EXPECT_EQ(s->wins[1], 1);
    // No text over the field (the cats' labels, the clock, "2P WIN!"), no
    // label picture, and everything of the field as faded as its blocks:
    // each model drawn at its last opacity, each billboard at its alpha.
    std::map<int, float> opacity;
    int texts = 0, labels = 0, models = 0, boards = 0;
    for (const gamedraw::Call& c : lastPlayFrame) {
        if (c.kind == gamedraw::Call::kText) ++texts;
        if (c.kind == gamedraw::Call::kGraph && c.handle == app_->data->jewelPic) ++labels;
        if (c.kind == gamedraw::Call::kModelOpacity) opacity[c.handle] = c.scale;
        if (c.kind == gamedraw::Call::kModel) {
            ++models;
            EXPECT_LE(opacity.count(c.handle) ? opacity[c.handle] : 1.0f, 0.1f) << "model " << c.handle;
        }
        if (c.kind == gamedraw::Call::kBillboard) {
            ++boards;
            EXPECT_LE(c.alpha, 26) << "billboard " << c.handle;
        }
    }
    EXPECT_EQ(texts, 0) << "of " << lastPlayFrame.size() << " calls";
    EXPECT_EQ(labels, 0);
    EXPECT_GT(models, 10);
    EXPECT_GT(boards, 0) << "the gems' sparkles";
    ASSERT_TRUE(StepUntil([&] { return s->phaseTimer > 40; }, 100));
    Shot("session_versus_round_mid_field.png");
}

}  // namespace
