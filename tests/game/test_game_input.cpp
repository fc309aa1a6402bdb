// The application reads its input manager: every frame the buttons, in
// play all six arrays; the scenes get the manager's device slots.
#include "engine/input.h"
#include "game/input/input_manager.h"
#include "game_fixture.h"

namespace {

TEST_F(GameTest, OutsidePlayOnlyTheButtonsAreReadInPlayAllSix) {
    Start();
    ASSERT_NE(app_->input, nullptr);
    EXPECT_EQ(app_->input->deviceCount, 2);  // keyboard and mouse
    StepUntil(3);
    ASSERT_EQ(app_->scene, GameApp::kSceneTitle);
    KeyAt(platform::ScriptedInputFrame(), KEYCODE_ENTER, true);
    ASSERT_TRUE(Step());
    ASSERT_NE(app_->buttons[0], nullptr);
    EXPECT_EQ(app_->buttons[0]->held[input::kJump], 1);
    EXPECT_EQ(app_->keyboards[0], nullptr);  // not read outside play
    EXPECT_EQ(app_->mice[1], nullptr);

    FakeTitle* title = static_cast<FakeTitle*>(app_->title.get());
    title->start = true;
    ASSERT_TRUE(Step());
    ASSERT_EQ(app_->scene, GameApp::kScenePlay);
    KeyAt(platform::ScriptedInputFrame(), KEYCODE_SPACE, true);
    ASSERT_TRUE(Step());
    ASSERT_NE(app_->keyboards[0], nullptr);
    EXPECT_EQ(app_->keyboards[0][48], 1);
    EXPECT_NE(app_->mice[1], nullptr);
    EXPECT_EQ(app_->actions[0], nullptr);
    EXPECT_EQ(app_->buttons[2], nullptr);
}

}  // namespace
