// The whole game end to end, as a player at the keyboard goes through it:
// the game starts headless on the generated content and is driven only by
// keys, frame by frame: boot, the title, Hard chosen in the options, a run
// from set 0 (each stage played by the planner's stored run for the
// keyboard cat, pressed key by key), a time attack of the first stage whose
// record is saved with its replay, the replay watched from the title, and
// quit. CI runs the short way (set 0 only, seconds); the whole run through
// every set and the ending is the disabled case below (minutes).
#include "engine/input.h"
#include "engine/window.h"
#include "game/data/game_text.h"
#include "game/ending/ending_scene.h"
#include "game/input/input_manager.h"
#include "game/play/game_modes.h"
#include "game/play/sim/input_script.h"
#include "game/savedata.h"
#include "game/session/play_session.h"
#include "game/title/title_scene.h"
#include "game_fixture.h"
#include "proof_file.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>

namespace {

// The keys behind the keyboard block's words that the stored runs press,
// and behind the button words.
int KeyOfKeyboardWord(int word) {
    static const std::map<int, int> kKeys = {{0, KEYCODE_1},  {25, KEYCODE_A}, {26, KEYCODE_S}, {27, KEYCODE_D},
                                             {31, KEYCODE_J}, {32, KEYCODE_K}, {33, KEYCODE_L}};
    auto it = kKeys.find(word);
    return it == kKeys.end() ? -1 : it->second;
}
constexpr int kButtonKeys[8] = {KEYCODE_UP,        KEYCODE_RIGHT, KEYCODE_DOWN,  KEYCODE_LEFT,
                                KEYCODE_BACKSPACE, KEYCODE_LEFTSHIFT, KEYCODE_ENTER, KEYCODE_ESCAPE};

class WholeGame : public GameTest {
protected:
    void SetUp() override {
        GameTest::SetUp();
        WithContent();
        app_ = std::make_unique<GameApp>();
        ASSERT_EQ(app_->startFailed, 0);
    }

    // ---- keys ----
    // The keys held from the next frame on (all others up).
    void Hold(const std::set<int>& keys) {
        for (int k : down_)
            if (!keys.count(k)) KeyAt(platform::ScriptedInputFrame(), k, false);
        for (int k : keys)
            if (!down_.count(k)) KeyAt(platform::ScriptedInputFrame(), k, true);
        down_ = keys;
    }
    bool Frame(const std::set<int>& keys = {}) {
        Hold(keys);
        return Step();
    }
    void Tap(int key) {
        ASSERT_TRUE(Frame({key}));
        ASSERT_TRUE(Frame());
    }

    // ---- the title ----
    TitleScene& Title() { return static_cast<TitleScene&>(*app_->title); }
    void PastTheIntro() {
        for (int i = 0; i < 20 && Title().introTimer != 0; ++i) Tap(KEYCODE_ENTER);
        ASSERT_EQ(Title().introTimer, 0);
    }
    void ChooseMainMenu(const char* label) {
        const int row = Title().MainMenuRow(GameText(label));
        for (int i = 0; i < 6 && Title().cursor != row; ++i) Tap(KEYCODE_DOWN);
        ASSERT_EQ(Title().cursor, row) << label;
        Tap(KEYCODE_ENTER);
    }
    // On the entry screen: the keyboard joins and starts.
    void JoinAndStart() {
        ASSERT_EQ(Title().screen, TitleScene::kEntry);
        Tap(KEYCODE_ENTER);
        ASSERT_GE(Title().entries[0], 0);
        ASSERT_EQ(app_->input->devices[Title().entries[0]]->type, input::kKeyboard);
        Tap(KEYCODE_ESCAPE);
        ASSERT_EQ(app_->scene, GameApp::kScenePlay);
    }

    // ---- play ----
    PlaySession* Session() { return dynamic_cast<PlaySession*>(app_->session.get()); }
    // The keys of the stored run of the stage's keyboard cat for the stage
    // frame about to be played.
    std::set<int> RunKeys(const Stage& stage) {
        const ProvenRun* run = StoredProof(stage.stageNumber).Run(input::kKeyboard);
        if (!run) {
            ADD_FAILURE() << "no stored run for stage " << stage.stageNumber;
            return {};
        }
        auto [it, added] = scripts_.try_emplace(stage.stageNumber);
        std::string error;
        if (added) {
            EXPECT_TRUE(it->second.Parse(run->script, &error)) << error;
        }
        playsim::DeviceBlocks blocks;
        it->second.Apply(stage.playFrames + 1, 0, input::kKeyboard, blocks);
        std::set<int> keys;
        for (int w = 0; w < input::kKeyboardWords; ++w) {
            if (!blocks.keyboard[w]) continue;
            const int key = KeyOfKeyboardWord(w);
            EXPECT_GE(key, 0) << "keyboard word " << w;
            keys.insert(key);
        }
        for (int b = 0; b < 8; ++b)
            if (blocks.buttons.held[b]) keys.insert(kButtonKeys[b]);
        return keys;
    }
    // Keeps the frame just drawn, once per name, for a look:
    // build/<preset>/e2e_frames/<name>.png. The run draws on the software
    // path (headless window), which draws no 3-D models: the frames show
    // the pictures, the HUD and the text, without cats, enemies or blocks.
    void Look(const std::string& name) {
        if (!looked_.insert(name).second) return;
        const std::filesystem::path dir = std::filesystem::path(MORPOTTA_BUILD_DIR) / "e2e_frames";
        std::filesystem::create_directories(dir);
        EXPECT_EQ(SaveDrawScreenToPng((dir / (name + ".png")).string().c_str()), 0) << name;
    }

    // One frame of a session as the player plays it: the stored run in
    // play, START through the scenes, decide held over the bonus count and
    // START on the screens that wait for it.
    bool SessionFrame(PlaySession& s) {
        Stage* stage = s.CurrentStage();
        if (PlaySession::IsPlayPhase(s.phase) && stage && !stage->finished) {
            if (stage != lastStage_) {
                lastStage_ = stage;
                stagesPlayed_.push_back(stage->stageNumber);
            }
            const bool played = Frame(RunKeys(*stage));
            if (stage->playFrames == 160) Look("stage" + std::to_string(stage->stageNumber) + "_mode" + std::to_string(s.phase));
            return played;
        }
        if (stage && stage->finished && stage == lastStage_ && stage->grid.Count(tile::kGoalOpen) && !stage->roundOver) {
            ++goalsReached_;
            lastStage_ = nullptr;
        }
        const bool waitingForStart = s.phase == PlaySession::kScene ||
                                     (s.phase == PlaySession::kSetEnd && s.bonusPending == 0 && s.phaseTimer >= 30) ||
                                     ((s.phase == PlaySession::kTimeAttackResult ||
                                       s.phase == PlaySession::kReplayResult) &&
                                      s.phaseTimer >= 30);
        const std::string phase = "set" + std::to_string(s.setNumber) + "_phase" + std::to_string(s.phase);
        const bool done = waitingForStart ? Frame(++beat_ % 2 ? std::set<int>{KEYCODE_ESCAPE} : std::set<int>{})
                                          : Frame(s.phase == PlaySession::kSetEnd ? std::set<int>{KEYCODE_ENTER}
                                                                                  : std::set<int>{});
        if (waitingForStart && ++waitedIn_[phase] == 3) Look(phase);
        return done;
    }

    // ---- the parts of the game a run goes through ----
    // Boot, then the title with its intro, and Hard chosen in the options
    // (stages cleared on it open for time attack).
    void BootAndChooseHard() {
        while (app_->scene == GameApp::kSceneBoot) ASSERT_TRUE(Frame());
        ASSERT_EQ(app_->scene, GameApp::kSceneTitle);
        PastTheIntro();
        ChooseMainMenu("オプション");
        ASSERT_EQ(Title().screen, TitleScene::kOptions);
        Tap(KEYCODE_DOWN);
        Tap(KEYCODE_ENTER);
        ASSERT_EQ(app_->data->save->difficulty, 1);
        Tap(KEYCODE_BACKSPACE);
        ASSERT_EQ(Title().screen, TitleScene::kMainMenu);
    }
    // Plays the run's sessions while `more` holds (and the game plays),
    // noting the sets met.
    void PlayRunWhile(const std::function<bool(const PlaySession&)>& more) {
        for (int guard = 0; guard < 200000 && app_->scene == GameApp::kScenePlay; ++guard) {
            PlaySession* s = Session();
            ASSERT_TRUE(s);
            ASSERT_FALSE(s->gameOverMenu) << "game over in set " << s->setNumber;
            if (!more(*s)) return;
            const bool newSet = sets_.empty() || sets_.back() != s->setNumber;
            if (newSet) sets_.push_back(s->setNumber);
            ASSERT_TRUE(SessionFrame(*s));
            // A set's first frame: the screen before still dissolving away.
            if (newSet) Look("set" + std::to_string(s->setNumber) + "_start");
        }
    }
    // The ending: its script skipped, the roll hurried with decide, START
    // on the closing screen; then the title.
    void EndingToTheTitle() {
        for (int guard = 0; guard < 20000 && app_->scene == GameApp::kSceneEnding; ++guard) {
            auto* ending = dynamic_cast<EndingScene*>(app_->ending.get());
            ASSERT_TRUE(ending);
            if (ending->phase == EndingScene::kRoll) {
                ASSERT_TRUE(Frame({KEYCODE_ENTER}));
                if (++rollFrames_ == 400) Look("ending_roll");
            } else {
                Look("ending_phase" + std::to_string(ending->phase));
                ASSERT_TRUE(Frame(++beat_ % 2 ? std::set<int>{KEYCODE_ESCAPE} : std::set<int>{}));
            }
        }
        ASSERT_EQ(app_->scene, GameApp::kSceneTitle);
        ASSERT_TRUE(Frame());
    }
    // From the title: a time attack of the first stage whose record is
    // saved with its replay, the replay watched from the replay select, and
    // quit from the title.
    void TimeAttackItsReplayAndQuit() {
        PastTheIntro();
        ChooseMainMenu("タイムアタック");
        ASSERT_EQ(Title().screen, TitleScene::kTimeAttack);
        ASSERT_EQ(Title().StageIndex(), 0);
        Tap(KEYCODE_ENTER);
        JoinAndStart();
        ASSERT_EQ(Session()->phase, gamemode::kTimeAttack);
        const int goalsBefore = goalsReached_;
        int32_t recorded = 0;
        for (int guard = 0; guard < 5000 && app_->scene == GameApp::kScenePlay; ++guard) {
            if (Session()->CurrentStage()->finished) recorded = Session()->CurrentStage()->elapsed;
            ASSERT_TRUE(SessionFrame(*Session()));
        }
        ASSERT_EQ(app_->scene, GameApp::kSceneTitle);
        EXPECT_EQ(goalsReached_, goalsBefore + 1);
        EXPECT_EQ(Title().screen, TitleScene::kTimeAttack);
        EXPECT_EQ(recorded, StoredProof(0).Run(input::kKeyboard)->elapsed);
        EXPECT_EQ(app_->data->save->bestTime[0], recorded);
        EXPECT_EQ(ScopedTempDir::ReadFile(dir_.path() / "replay" / "t0_meta.dat"), "6,");
        EXPECT_TRUE(std::filesystem::exists(dir_.path() / "replay" / "t0_keyboardState0P.dat"));

        // The replay select (START on the stage select) plays the record
        // back: the same cat to the goal in the same time, no key pressed.
        ASSERT_TRUE(Frame());  // START let go after the result
        Tap(KEYCODE_ESCAPE);
        ASSERT_EQ(Title().screen, TitleScene::kTimeAttackReplay);
        Tap(KEYCODE_ENTER);
        for (int guard = 0; guard < 10 && app_->scene != GameApp::kScenePlay; ++guard) ASSERT_TRUE(Frame());
        ASSERT_EQ(app_->scene, GameApp::kScenePlay);
        ASSERT_EQ(Session()->phase, gamemode::kReplayUser);
        int32_t replayed = 0;
        for (int guard = 0; guard < 5000 && app_->scene == GameApp::kScenePlay; ++guard) {
            PlaySession& s = *Session();
            if (s.CurrentStage()->finished && s.CurrentStage()->grid.Count(tile::kGoalOpen))
                replayed = s.CurrentStage()->elapsed;
            if (PlaySession::IsPlayPhase(s.phase)) {
                ASSERT_TRUE(Frame());
                if (s.CurrentStage()->playFrames == 160) Look("replay_stage0");
            } else {
                ASSERT_TRUE(SessionFrame(s));
            }
        }
        ASSERT_EQ(app_->scene, GameApp::kSceneTitle);
        EXPECT_EQ(replayed, recorded);
        ASSERT_TRUE(Frame());

        // The title again (from the replay select it starts afresh), and
        // quit: the save is written and the loop ends.
        ASSERT_EQ(Title().screen, TitleScene::kMainMenu);
        PastTheIntro();
        const int row = Title().MainMenuRow(GameText("終了"));
        for (int i = 0; i < 6 && Title().cursor != row; ++i) Tap(KEYCODE_DOWN);
        ASSERT_EQ(Title().cursor, row);
        Hold({KEYCODE_ENTER});
        EXPECT_FALSE(Step()) << "the game ends after the quit";
        EXPECT_TRUE(SaveFileExists());
    }
    void PrintTime(const char* what, std::chrono::steady_clock::time_point started) const {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf("%s: %d frames in %.1f s\n", what, app_->frameCount, seconds);
    }

    std::set<int> down_;
    std::map<int, playsim::InputScript> scripts_;
    std::vector<int32_t> sets_;
    std::set<std::string> looked_;
    std::map<std::string, int> waitedIn_;
    int rollFrames_ = 0;
    const Stage* lastStage_ = nullptr;
    std::vector<int> stagesPlayed_;
    int goalsReached_ = 0;
    int beat_ = 0;
};

// Short enough for every CI run: set 0 played through by the stored runs
// until the next set's first scene, F12 back to the title, then the time
// attack, its saved replay watched, and quit.
TEST_F(WholeGame, BootSetZeroATimeAttackItsReplayAndQuit) {
    const auto started = std::chrono::steady_clock::now();
    BootAndChooseHard();
    ChooseMainMenu("ゲームスタート");
    JoinAndStart();
    PlayRunWhile([](const PlaySession& s) { return s.setNumber == 0; });
    ASSERT_EQ(app_->scene, GameApp::kScenePlay);
    ASSERT_EQ(Session()->setNumber, 1) << "set 0 cleared, the next set begun";
    EXPECT_EQ(sets_, (std::vector<int32_t>{0}));
    EXPECT_EQ(stagesPlayed_, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(goalsReached_, 5) << "every stage played to its goal by its stored run";
    EXPECT_EQ(app_->data->save->stageCleared[0], 1);
    // F12 returns to the title from anywhere.
    Tap(KEYCODE_F12);
    ASSERT_EQ(app_->scene, GameApp::kSceneTitle);
    TimeAttackItsReplayAndQuit();
    PrintTime("set 0, time attack, replay", started);
}

// The whole game (about 27,000 frames: minutes under the sanitizers, so
// not in CI): every set of a run to the ending, the title again, the time
// attack and its replay, and quit. Run it with
//   build/<preset>/tests/test_e2e --gtest_also_run_disabled_tests --gtest_filter='*WholeRun*'
TEST_F(WholeGame, DISABLED_WholeRunToTheEndingATimeAttackItsReplayAndQuit) {
    const auto started = std::chrono::steady_clock::now();
    BootAndChooseHard();
    ChooseMainMenu("ゲームスタート");
    JoinAndStart();
    // Set 0, the sets after it (on Hard the keyboard's extra set among
    // them) and the ending.
    PlayRunWhile([](const PlaySession&) { return true; });
    ASSERT_EQ(app_->scene, GameApp::kSceneEnding);
    EXPECT_EQ(sets_, (std::vector<int32_t>{0, 1, 2, 3, 4 + input::kKeyboard, 4}));
    EXPECT_EQ(stagesPlayed_.size(), 75u);
    EXPECT_EQ(goalsReached_, 75) << "every stage played to its goal by its stored run";
    EXPECT_EQ(app_->data->save->stageCleared[0], 1);
    EXPECT_GT(app_->data->save->highScore, 0);
    EndingToTheTitle();
    TimeAttackItsReplayAndQuit();
    PrintTime("whole game", started);
}

}  // namespace
