// The title inside the running game (headless, the game's own scenes, the
// keyboard through the scripted input): left alone on the main menu it
// starts the attract demo, which START ends; the keyboard then takes a
// player from the title into play.
#include "engine/input.h"
#include "game/input/input_manager.h"
#include "game/play/game_modes.h"
#include "game/session/play_session.h"
#include "game/title/title_scene.h"
#include "game_fixture.h"

#include <array>

namespace {

struct MadeSession {
    int32_t setNumber, mode;
    std::array<int32_t, 4> entries;
};

class TitleAppTest : public GameTest {
protected:
    void StartGame() {
        WithContent();
        scene::Factory factory = scene::GameScenes();
        factory.makeSession = [this, make = factory.makeSession](const scene::Context& context,
                                                                  const scene::SessionSetup& setup) {
            MadeSession made{setup.setNumber, setup.mode, {}};
            for (int k = 0; k < 4; ++k) made.entries[size_t(k)] = setup.entries[k];
            sessions_.push_back(made);
            return make(context, setup);
        };
        app_ = std::make_unique<GameApp>(std::move(factory));
        ASSERT_EQ(app_->startFailed, 0);
        while (app_->scene != GameApp::kSceneTitle) ASSERT_TRUE(Step());
        ASSERT_TRUE(dynamic_cast<TitleScene*>(app_->title.get()));
    }
    TitleScene& Title() { return static_cast<TitleScene&>(*app_->title); }
    void Press(int key) {
        KeyAt(platform::ScriptedInputFrame(), key, true);
        ASSERT_TRUE(Step());
        KeyAt(platform::ScriptedInputFrame(), key, false);
        ASSERT_TRUE(Step());
    }
    int KeyboardSlot() const {
        for (int slot = 0; slot < input::kSlotCount; ++slot)
            if (app_->input->devices[slot] && app_->input->devices[slot]->type == input::kKeyboard) return slot;
        return -1;
    }

    std::vector<MadeSession> sessions_;
};

TEST_F(TitleAppTest, TheIdleDemoStartsByItselfEndsOnStartAndTheKeyboardStartsPlay) {
    WithContent();
    StartGame();
    int titleFrames = 0;
    while (app_->scene == GameApp::kSceneTitle && titleFrames < 2000) {
        // Moving the cursor does not hold the demo off.
        if (titleFrames == 400) KeyAt(platform::ScriptedInputFrame(), KEYCODE_DOWN, true);
        if (titleFrames == 401) KeyAt(platform::ScriptedInputFrame(), KEYCODE_DOWN, false);
        ASSERT_TRUE(Step());
        ++titleFrames;
    }
    ASSERT_EQ(app_->scene, GameApp::kScenePlay);
    EXPECT_EQ(titleFrames, TitleScene::kIdleFramesToDemo + 1);
    ASSERT_EQ(sessions_.size(), 1u);
    EXPECT_EQ(sessions_[0].mode, gamemode::kAttractDemo);
    EXPECT_EQ(sessions_[0].entries, (std::array<int32_t, 4>{-1, -1, -1, -1}));
    EXPECT_EQ(app_->session->Phase(), gamemode::kAttractDemo);
    auto* demo = dynamic_cast<PlaySession*>(app_->session.get());
    ASSERT_TRUE(demo && demo->CurrentStage());
    EXPECT_NE(demo->CurrentStage()->Cat(0), nullptr);  // the demo's own cat, without a player

    for (int i = 0; i < 60; ++i) ASSERT_TRUE(Step());
    EXPECT_EQ(app_->scene, GameApp::kScenePlay);
    Press(KEYCODE_ESCAPE);  // START
    ASSERT_EQ(app_->scene, GameApp::kSceneTitle);
    EXPECT_EQ(Title().screen, TitleScene::kMainMenu);
    EXPECT_EQ(Title().idleFrames, 1);  // counted afresh from the return

    Press(KEYCODE_ENTER);  // ends the intro
    EXPECT_EQ(Title().introTimer, 0);
    Press(KEYCODE_ENTER);  // ゲームスタート
    ASSERT_EQ(Title().screen, TitleScene::kEntry);
    Press(KEYCODE_ENTER);  // joins
    EXPECT_EQ(Title().entries[0], KeyboardSlot());
    Press(KEYCODE_ESCAPE);  // START
    ASSERT_EQ(app_->scene, GameApp::kScenePlay);
    ASSERT_EQ(sessions_.size(), 2u);
    EXPECT_EQ(sessions_[1].mode, gamemode::kNormal);
    EXPECT_EQ(sessions_[1].setNumber, 0);
    EXPECT_EQ(sessions_[1].entries[0], KeyboardSlot());
}

}  // namespace
