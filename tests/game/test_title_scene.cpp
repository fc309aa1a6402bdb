// The title's menus driven button by button on the generated content: the
// intro, key repeat and wrap-around, the main menu and options by their
// labels, the time-attack groups with the preview and the 100-stage bound,
// play and replay select, key assignment, the entry screen and the idle
// demo.
#include "engine/input.h"
#include "game/play/game_modes.h"
#include "game/play/stage.h"
#include "title_fixture.h"

#include <numeric>

namespace {

using input::kAction;
using input::kDown;
using input::kJump;
using input::kLeft;
using input::kPause;
using input::kRight;
using input::kUp;
using platform::ScriptedInputKind;

TEST_F(TitleTest, TheIntroHoldsTheMenuAndTheDecideThatEndsItChoosesNothing) {
    EXPECT_EQ(T().introTimer, 1);
    Frames(10, {{0, kDown}});
    EXPECT_EQ(T().cursor, 0);  // menu input waits for the intro
    Frame({{0, kJump}});
    EXPECT_EQ(T().introTimer, 0);
    Frames(3, {{0, kJump}});  // still the same press
    EXPECT_EQ(T().screen, TitleScene::kMainMenu);
    EXPECT_EQ(SoundCount(kDecide), 0);

    // Left alone, the intro runs 180 frames.
    T().screen = TitleScene::kMainMenu;
    T().Init();
    Frames(178);
    EXPECT_GT(T().introTimer, 0);
    Frame();
    EXPECT_EQ(T().introTimer, 0);
}

TEST_F(TitleTest, AHeldCursorRepeatsAfterFifteenFramesThenEveryFiveAndWraps) {
    SkipIntro();
    std::vector<int> moves;
    for (int held = 0; held <= 31; ++held) {
        const int before = T().cursor;
        Frame({{0, kDown}});
        if (T().cursor != before) moves.push_back(held);
    }
    EXPECT_EQ(moves, (std::vector<int>{0, 15, 20, 25, 30}));
    EXPECT_EQ(T().cursor, 5);
    EXPECT_EQ(T().cursorDirection, -1);
    EXPECT_EQ(SoundCount(kMove), 5);
    Frame();
    Tap(kDown);
    EXPECT_EQ(T().cursor, 0);  // past the last row to the first
    Tap(kUp);
    EXPECT_EQ(T().cursor, 5);
    EXPECT_EQ(T().cursorDirection, 1);
    // The first device that holds a menu button acts; the others wait.
    Frame({{1, kUp}, {0, kDown}});
    EXPECT_EQ(T().cursor, 0);
}

TEST_F(TitleTest, MainMenuRowsActByTheirLabels) {
    SkipIntro();
    ChooseMainMenu("？？？");
    EXPECT_EQ(T().screen, TitleScene::kMainMenu);
    EXPECT_FALSE(T().TakeQuitRequest());

    Save().finalSetUnlocked = 1;
    Data().UpdateUnlocks();
    ChooseMainMenu("ホントに最後のセット");
    EXPECT_EQ(T().screen, TitleScene::kEntry);
    EXPECT_EQ(T().mode, gamemode::kFinal);
    EXPECT_EQ(T().stage, 11);
    EXPECT_EQ(T().returnScreen, TitleScene::kMainMenu);
    Tap(kAction, 2);  // a device that has not joined leaves the entry
    EXPECT_EQ(T().screen, TitleScene::kMainMenu);

    Tap(kAction);  // cancel on the main menu goes to "終了"
    EXPECT_EQ(T().cursor, 5);
    Tap(kJump);
    EXPECT_TRUE(T().TakeQuitRequest());
    EXPECT_FALSE(T().TakeQuitRequest());
}

TEST_F(TitleTest, OptionsToggleSkipEmptyRowsAndWrapPages) {
    SkipIntro();
    ChooseMainMenu("オプション");
    ASSERT_EQ(T().screen, TitleScene::kOptions);
    EXPECT_EQ(T().cursor, 1);
    Tap(kDown);  // むずかしさ
    Tap(kJump);
    EXPECT_EQ(Save().difficulty, 1);
    Tap(kJump);
    EXPECT_EQ(Save().difficulty, 0);
    Tap(kDown);  // 描画周期 cycles 0, 1, 2
    std::vector<int> periods;
    for (int i = 0; i < 3; ++i) {
        Tap(kJump);
        periods.push_back(Save().drawPeriod);
    }
    EXPECT_EQ(periods, (std::vector<int>{1, 2, 0}));
    Tap(kDown);  // ウインドウ / フルスクリーン
    Tap(kJump);
    EXPECT_EQ(Save().windowed, 0);
    EXPECT_EQ(T().windowModeChanged, 1);

    Tap(kLeft);
    EXPECT_EQ(T().page, 4);
    EXPECT_EQ(T().cursor, 4);  // the cursor stays
    Tap(kRight);
    Tap(kRight);
    EXPECT_EQ(T().page, 1);
    Tap(kDown);  // デフォルトへ戻す
    EXPECT_EQ(T().cursor, 5);
    Tap(kDown);  // the empty end row is passed over
    EXPECT_EQ(T().cursor, 1);
    Tap(kUp);
    EXPECT_EQ(T().cursor, 5);
    Save().keyRows[0][0] = 64, Save().keyRows[0][1] = 128, Save().keyRows[0][2] = 256;
    Tap(kJump);
    EXPECT_EQ(Save().keyRows[0][0], 16);
    EXPECT_EQ(Save().keyRows[0][1], 32);
    EXPECT_EQ(Save().keyRows[0][2], 4096);

    T().cursor = 1;  // [タイトルへ戻る]
    Tap(kJump);
    EXPECT_EQ(T().screen, TitleScene::kMainMenu);
    EXPECT_EQ(T().cursor, T().MainMenuRow(GameText("オプション")));
}

TEST_F(TitleTest, TimeAttackGroupsRunInOrderWithTheFinalGroupOnceTheSoundTestIsOpen) {
    const int32_t* count = Data().stageListCount;
    SkipIntro();
    ChooseMainMenu("タイムアタック");
    ASSERT_EQ(T().screen, TitleScene::kTimeAttack);
    std::vector<int> pages;
    for (int i = 0; i < 5; ++i) {
        Tap(kRight);
        pages.push_back(T().page);
    }
    EXPECT_EQ(pages, (std::vector<int>{1, 2, 3, 4, 0}));
    Tap(kLeft);
    EXPECT_EQ(T().page, 4);

    Save().soundTestUnlocked = 1;
    pages.clear();
    for (int i = 0; i < 2; ++i) {
        Tap(kRight);
        pages.push_back(T().page);
    }
    for (int i = 0; i < 3; ++i) {
        Tap(kLeft);
        pages.push_back(T().page);
    }
    EXPECT_EQ(pages, (std::vector<int>{11, 0, 11, 4, 3}));

    // Above the first stage: the previous group's last; past the last
    // stage: the next group's first.
    T().page = 0, T().cursor = 0, T().scrollTop = 0;
    Tap(kUp);
    EXPECT_EQ(T().page, 11);
    EXPECT_EQ(T().cursor, count[11] - 1);
    EXPECT_EQ(T().scrollTop, std::max(count[11] - 6, 0));
    Tap(kDown);
    EXPECT_EQ(T().page, 0);
    EXPECT_EQ(T().cursor, 0);
    EXPECT_EQ(T().scrollTop, 0);
    for (int i = 0; i < count[0]; ++i) Tap(kDown);
    EXPECT_EQ(T().page, 1);
    EXPECT_EQ(T().cursor, 0);
    ASSERT_GT(count[1], 8);
    for (int i = 0; i < 8; ++i) Tap(kDown);
    EXPECT_EQ(T().scrollTop, 3);  // six rows in sight

    // A page change keeps the cursor on a stage of the new group.
    ASSERT_LT(count[0], 8);
    Tap(kLeft);
    EXPECT_EQ(T().page, 0);
    EXPECT_EQ(T().cursor, count[0] - 1);
    EXPECT_LE(T().scrollTop, T().cursor);
    EXPECT_GE(T().scrollTop, T().cursor - 5);
}

TEST_F(TitleTest, OnlyClearedStagesPreviewAndStartAndStartSwapsPlayAndReplay) {
    SkipIntro();
    ChooseMainMenu("タイムアタック");
    EXPECT_FALSE(T().preview);
    Tap(kJump);  // not cleared on Hard: nothing
    EXPECT_EQ(T().screen, TitleScene::kTimeAttack);

    Save().stageCleared[2] = 1;
    Tap(kDown);
    EXPECT_FALSE(T().preview);
    Tap(kDown);
    ASSERT_TRUE(T().preview);
    EXPECT_EQ(T().preview->stageNumber, 2);
    EXPECT_GT(T().preview->grid.columns, 2);

    Frames(20, {{0, kPause}});  // held START swaps once
    EXPECT_EQ(T().screen, TitleScene::kTimeAttackReplay);
    Frame();
    Tap(kPause);
    EXPECT_EQ(T().screen, TitleScene::kTimeAttack);
    Tap(kPause);
    EXPECT_EQ(T().screen, TitleScene::kTimeAttackReplay);

    // The replay of a record starts at once, with no players entered.
    T().entries[0] = 0;
    Tap(kJump);
    EXPECT_EQ(T().mode, gamemode::kReplayUser);
    EXPECT_EQ(T().stage, 2);
    ASSERT_TRUE(T().TakeStartRequest());
    EXPECT_EQ(T().screen, TitleScene::kTimeAttackReplay);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(T().entries[k], -1);

    // Play: one player joins and starts. (The first frame after a start
    // takes no press.)
    Frame();
    Tap(kPause);
    Tap(kJump);
    EXPECT_EQ(T().screen, TitleScene::kEntry);
    EXPECT_EQ(T().mode, gamemode::kTimeAttack);
    EXPECT_EQ(T().returnScreen, TitleScene::kTimeAttack);
    Tap(kJump);
    Frame({{0, kPause}});
    ASSERT_TRUE(T().TakeStartRequest());
    EXPECT_EQ(T().entries[0], 0);
    // Back from the run the select is as it was.
    T().Init();
    EXPECT_EQ(T().screen, TitleScene::kTimeAttack);
    EXPECT_EQ(T().cursor, 2);
    EXPECT_TRUE(T().preview);
}

TEST_F(TitleTest, AStageIndexPastTheHundredSavedStagesIsRefused) {
    Save().soundTestUnlocked = 1;
    for (uint8_t& cleared : Save().stageCleared) cleared = 1;
    const int before = std::accumulate(Data().stageListCount, Data().stageListCount + 11, 0);
    Data().stageListCount[11] = 100 - before + 5;  // a list five stages too long
    SkipIntro();
    ChooseMainMenu("タイムアタック");
    Tap(kLeft);
    ASSERT_EQ(T().page, 11);
    T().cursor = 99 - before;
    EXPECT_EQ(T().StageIndex(), 99);
    T().PrepareStagePreview();
    EXPECT_TRUE(T().preview);

    T().cursor = 100 - before;
    EXPECT_EQ(T().StageIndex(), -1);
    T().PrepareStagePreview();
    EXPECT_FALSE(T().preview);
    Tap(kJump);
    EXPECT_EQ(T().screen, TitleScene::kTimeAttack);
    T().scrollTop = 97 - before;
    T().Draw();  // rows 97..102: the ones past the save draw no record
}

TEST_F(TitleTest, KeyAssignmentSwapsTakesOnlyNewPressesAndEndsOnF1) {
    Script(ScriptedInputKind::JoystickAttach, 1, 2, 16);
    SkipIntro();
    ChooseMainMenu("オプション");
    Tap(kRight);  // joystick 1P
    Tap(kDown);   // ジャンプ / 決定
    // The joystick's A (its decide) chooses the row, and counts for the
    // row only once pressed anew.
    Script(ScriptedInputKind::JoystickButton, 1, 0, 1);
    Tap(kJump);
    ASSERT_EQ(T().keyAssignActive, 1);
    EXPECT_EQ(T().lastAssignBit, 16);
    int32_t* row = Save().keyRows[0];
    Frames(3);
    EXPECT_EQ(row[0], 16);
    EXPECT_EQ(T().cursor, 2);
    Script(ScriptedInputKind::JoystickButton, 1, 0, 0);
    Frame();
    Frame({{0, kAction}});  // menu buttons do nothing while keys are assigned
    EXPECT_EQ(T().screen, TitleScene::kOptions);

    Script(ScriptedInputKind::JoystickButton, 1, 2, 1);  // C
    Frames(4);
    EXPECT_EQ(row[0], 64);
    EXPECT_EQ(T().cursor, 3);  // on to the next row, once for a held button
    Script(ScriptedInputKind::JoystickButton, 1, 2, 0);
    Frame();
    Script(ScriptedInputKind::JoystickButton, 1, 2, 1);  // C again, for cancel: the two swap
    Frame();
    EXPECT_EQ(row[0], 32);
    EXPECT_EQ(row[1], 64);
    EXPECT_EQ(T().cursor, 4);
    Script(ScriptedInputKind::JoystickButton, 1, 2, 0);
    Frame();
    Script(ScriptedInputKind::JoystickButton, 1, 0, 1);  // A for pause: past the last row back to the first
    Frame();
    EXPECT_EQ(row[2], 16);
    EXPECT_EQ(T().cursor, 2);
    Script(ScriptedInputKind::JoystickButton, 1, 0, 0);
    Frame();

    T().AssignKey(0, 1 << 20);  // a button without a name
    EXPECT_EQ(row[0], 32);
    EXPECT_EQ(T().cursor, 2);

    const int cancels = SoundCount(kCancel);
    Script(ScriptedInputKind::Key, 0, KEYCODE_F1, 1);  // F1
    Frame();
    EXPECT_EQ(T().keyAssignActive, 0);
    EXPECT_EQ(T().lastAssignBit, 0);
    EXPECT_EQ(SoundCount(kCancel), cancels + 1);
    Script(ScriptedInputKind::Key, 0, KEYCODE_F1, 0);
    Frame();
    EXPECT_EQ(row[0], 32);
    EXPECT_EQ(row[1], 64);
    EXPECT_EQ(row[2], 16);
}

TEST_F(TitleTest, VersusEntryNeedsTwoPlayersWhoJoinAndLeave) {
    SkipIntro();
    ChooseMainMenu("vsモード");
    Tap(kDown);
    Tap(kDown);
    Frame({{0, kJump}});
    ASSERT_EQ(T().screen, TitleScene::kEntry);
    EXPECT_EQ(T().mode, gamemode::kVersus);
    EXPECT_EQ(T().stage, 2);
    Frame({{0, kJump}});  // the press that chose the stage does not join
    EXPECT_EQ(T().entries[0], -1);
    Frame();
    Frame({{0, kJump}});
    EXPECT_EQ(T().entries[0], 0);
    EXPECT_FLOAT_EQ(T().panelPos[0], -0.2f + 0.001f);
    Frame({{0, kPause}});  // one player is not enough
    EXPECT_FALSE(T().startRequested);
    Frame({{2, kJump}});
    EXPECT_EQ(T().entries[1], 2);
    Frame({{3, kPause}});  // START of a device that has not joined
    EXPECT_FALSE(T().startRequested);
    Frame({{0, kAction}});  // player 1 leaves; player 2 moves up
    EXPECT_EQ(T().entries[0], 2);
    EXPECT_EQ(T().entries[1], -1);
    EXPECT_EQ(T().screen, TitleScene::kEntry);
    Frame();
    Frame({{1, kJump}, {3, kJump}, {0, kJump}});
    EXPECT_EQ(T().entries[1], 0);
    EXPECT_EQ(T().entries[2], 1);
    EXPECT_EQ(T().entries[3], 3);
    Frame({{3, kPause}});
    ASSERT_TRUE(T().TakeStartRequest());
    EXPECT_EQ(T().frameCount, 0);
    EXPECT_EQ(T().screen, TitleScene::kVersusSelect);

    // Story play takes one player; a device that has not joined leaves.
    T().screen = TitleScene::kMainMenu;
    T().Init();
    SkipIntro();
    ChooseMainMenu("ゲームスタート");
    Frame({{1, kJump}, {0, kJump}});
    EXPECT_EQ(T().entries[0], 0);
    EXPECT_EQ(T().entries[1], -1);
    Frame();
    Frame({{1, kAction}});
    EXPECT_EQ(T().screen, TitleScene::kMainMenu);
    EXPECT_EQ(T().entries[0], -1);
}

TEST_F(TitleTest, TheSoundTestSilencesTheTitleAndGivesItBackUnlessARowPlayed) {
    Save().soundTestUnlocked = 1;
    Data().UpdateUnlocks();
    SkipIntro();
    EXPECT_EQ(GameData::currentBgm, 0);
    ChooseMainMenu("オプション");
    T().cursor = 6;
    Tap(kJump);
    ASSERT_EQ(T().screen, TitleScene::kSoundTest);
    EXPECT_EQ(GameData::currentBgm, -1);
    Tap(kAction);
    EXPECT_EQ(T().screen, TitleScene::kOptions);
    EXPECT_EQ(T().cursor, 6);
    EXPECT_EQ(GameData::currentBgm, 0);

    Tap(kJump);
    Tap(kUp);  // row 13, past the first row
    EXPECT_EQ(T().cursor, 13);
    Tap(kJump);
    EXPECT_EQ(GameData::currentBgm, Data().soundTestBgm[13]);
    Tap(kAction);
    EXPECT_EQ(GameData::currentBgm, Data().soundTestBgm[13]);  // the chosen music plays on
    Tap(kJump);
    Tap(kJump);  // row 0 leads back
    EXPECT_EQ(T().screen, TitleScene::kOptions);
    EXPECT_EQ(GameData::currentBgm, 0);
}

TEST_F(TitleTest, EighteenHundredFramesOnTheMainMenuStartTheDemoWhateverIsPressed) {
    Frames(1000, {{0, kDown}});
    Frames(800, {{1, kUp}});
    EXPECT_FALSE(T().startRequested);
    Frame();
    ASSERT_TRUE(T().startRequested);
    EXPECT_EQ(T().mode, gamemode::kAttractDemo);
    EXPECT_EQ(T().stage, TitleScene::kDemoStage);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(T().entries[k], -1);
    EXPECT_EQ(Data().transitionCount, 0);

    // Any other screen holds the count at 0.
    T().screen = TitleScene::kMainMenu;
    T().Init();
    SkipIntro();
    ChooseMainMenu("vsモード");
    Frames(1900);
    EXPECT_FALSE(T().startRequested);
    EXPECT_EQ(T().idleFrames, 0);
}

}  // namespace
