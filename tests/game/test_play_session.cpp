// Play sessions on the generated content, as a player meets them: a whole
// run from set 0's first scene to the ending request, game over and
// continue, the extra set of the first player's device, a failed last
// stage, a versus match with a tie and sudden death, time-attack records,
// the pause, the attract demo, and the dissolve into a new set.
#include "session_fixture.h"

#include "game/data/game_text.h"
#include "game/draw/draw_calls.h"
#include "game/savedata.h"

#include <algorithm>
#include <cstring>

namespace {

using input::kDown;
using input::kJump;
using input::kAction;
using input::kPause;
using input::kUp;

class PlaySessionTest : public SessionTest {
protected:
    // START pressed until the scene of the slot has run out; returns right
    // after the frame that ended it.
    void SkipScene(PlaySession& s) {
        ASSERT_EQ(s.phase, PlaySession::kScene);
        const int32_t slot = s.stageIndex;
        auto over = [&] { return s.phase != PlaySession::kScene || s.stageIndex != slot; };
        for (int i = 0; i < 400 && !over(); ++i) {
            Frame(s);
            if (!over()) Frame(s, {{0, kPause}});
        }
        ASSERT_TRUE(over());
    }
    // Plays the set to its end screen; true when it got there.
    bool PlaySet(PlaySession& s) {
        for (int guard = 0; guard < 200 && s.phase != PlaySession::kSetEnd; ++guard) {
            if (s.phase == PlaySession::kScene) {
                SkipScene(s);
                continue;
            }
            const int32_t slot = s.stageIndex;
            if (!RunUntil(s, [&] { return s.stageIndex != slot || s.phase == PlaySession::kSetEnd; }, 12000))
                return false;
        }
        return s.phase == PlaySession::kSetEnd;
    }
    // The bonus counted; true with the set-end screen waiting for START.
    bool CountBonus(PlaySession& s) {
        return RunUntil(s, [&] { return s.phaseTimer >= 30 && s.bonusPending == 0; }, 2000);
    }
    int Played(int handle) const { return sounds_.Count(handle); }
};

TEST_F(PlaySessionTest, ARunFromSetZerosFirstSceneToTheEnding) {
    auto s = Make(0, 0);
    EXPECT_EQ(s->phase, PlaySession::kScene);  // set 0 opens with its scene
    EXPECT_EQ(s->StageCount(), 5);
    EXPECT_EQ(s->bonusPending, 10000);
    EXPECT_EQ(GameData::currentBgm, 1);

    // Set 0 played stage by stage: each stage's points reach the score.
    SkipScene(*s);
    EXPECT_EQ(s->phase, 0);
    int32_t stagePoints = 0;
    for (int slot = 0; slot < 5; ++slot) {
        ASSERT_EQ(s->stageIndex, slot);
        Stage* stage = s->CurrentStage();
        ASSERT_TRUE(RunUntil(*s, [&] { return stage->finished != 0; }, 6000)) << slot;
        EXPECT_FALSE(stage->roundOver) << slot;
        // The stage keeps no points: they went on to the session.
        ASSERT_TRUE(RunUntil(*s, [&] { return s->stageIndex != slot || s->phase != 0; }, 400)) << slot;
        EXPECT_EQ(stage->score, 0);
        stagePoints = s->score + s->scoreCarry;
        EXPECT_EQ(s->scoreCarry, 0) << "a stage's end counts the whole carry";
    }
    EXPECT_GT(stagePoints, 5 * 500);
    EXPECT_EQ(scriptedStages, 5) << "set 0 is played, not skipped";

    // The set's end: the set's bonus counted to the score, then the next set.
    ASSERT_EQ(s->phase, PlaySession::kSetEnd);
    EXPECT_EQ(s->setCleared, 1);
    EXPECT_EQ(s->sessionOver, 1);
    EXPECT_EQ(GameData::currentBgm, -1);
    EXPECT_EQ(s->bonusShown, 10000);
    ASSERT_TRUE(CountBonus(*s));
    EXPECT_EQ(s->score, stagePoints + 10000);
    EXPECT_EQ(Played(kSeMind), 1);
    EXPECT_GT(Played(kSeCounter), 10);
    Press(*s, 0, kPause);
    EXPECT_TRUE(s->TakeRequests().replace);

    // Sets 1 to 4 follow with the lives and score carried over.
    for (int32_t set = 1; set <= 4; ++set) {
        auto next = Next(*s);
        EXPECT_EQ(next->setNumber, set);
        EXPECT_EQ(next->score, s->score);
        EXPECT_EQ(*next->lives, *s->lives);
        s = std::move(next);
        ASSERT_TRUE(PlaySet(*s)) << "set " << set << " stage slot " << s->stageIndex;
        const int32_t before = s->score;
        const int32_t bonus = s->bonusPending;
        if (set == 4) {
            // The run's end after set 4's closing scene: a bonus per life left
            // and one for no continue on the easy difficulty.
            EXPECT_EQ(s->bonusShown, 100000);
            EXPECT_EQ(bonus, 100000 + *s->lives * 100000 + 500000);
        }
        ASSERT_TRUE(CountBonus(*s));
        EXPECT_EQ(s->score, before + bonus);
        EXPECT_EQ(s->setCleared, 1);
        Press(*s, 0, kPause);
        const scene::SessionRequests r = s->TakeRequests();
        EXPECT_EQ(r.replace, set < 4) << set;
        EXPECT_EQ(r.ending, set == 4) << set;
    }
    // The run's score becomes the high score.
    const scene::RunResult result = s->Result();
    EXPECT_FALSE(result.isLastSet);
    EXPECT_TRUE(result.newHighScore);
    EXPECT_EQ(t_.save.highScore, result.score);
    EXPECT_EQ(t_.save.highScoreCat, input::kJoystick);
    EXPECT_EQ(t_.save.highScoreCheck,
              SaveData::CheckValue(t_.save.saveId, result.score, input::kJoystick, 7));
    EXPECT_FALSE(result.finalSetUnlocked);  // no extra set on the easy difficulty
}

TEST_F(PlaySessionTest, GameOverOffersTheContinueChoice) {
    t_.save.difficulty = 1;  // the clock runs: a stage left alone times out
    autoPlay = false;
    auto s = Make(0, 0, 0);
    EXPECT_EQ(s->extraSetDone, 0);
    SkipScene(*s);
    ASSERT_TRUE(RunUntil(*s, [&] { return s->phase == PlaySession::kSetEnd; }, 4000));
    EXPECT_EQ(*s->lives, -1);
    EXPECT_EQ(s->stageIndex, 0);
    EXPECT_EQ(s->setCleared, 0);
    EXPECT_EQ(s->bonusPending, 0);
    EXPECT_EQ(s->bonusShown, 0);
    EXPECT_EQ(GameData::currentBgm, -1);

    s->score = 4321;
    ASSERT_TRUE(CountBonus(*s));
    Frame(*s, {{0, kPause}});
    EXPECT_EQ(s->gameOverMenu, 1);
    EXPECT_EQ(s->menuOnContinue, 1);
    EXPECT_EQ(Played(kSeCursorDecide), 1);
    EXPECT_EQ(t_.save.highScore, 4321);
    EXPECT_EQ(t_.save.highScoreCheck, SaveData::CheckValue(t_.save.saveId, 4321, input::kJoystick, 7));
    // While the choice is shown START does nothing more.
    for (int i = 0; i < 5; ++i) Frame(*s, {{0, kPause}});
    EXPECT_EQ(Played(kSeCursorDecide), 1);
    Frame(*s, {{0, kDown}});
    EXPECT_EQ(s->menuOnContinue, 0);
    Frame(*s, {{0, kDown}});
    EXPECT_EQ(Played(kSeCursorMove), 1);
    Frame(*s, {{0, kUp}});
    EXPECT_EQ(s->menuOnContinue, 1);
    Frame(*s, {{0, kJump}});
    const scene::SessionRequests r = s->TakeRequests();
    EXPECT_TRUE(r.replace);
    EXPECT_FALSE(r.title);

    // Continue: the same set from its scene, full lives, no score, and no
    // extra set or no-continue bonus for the rest of the run.
    auto next = Next(*s);
    EXPECT_EQ(next->setNumber, 0);
    EXPECT_EQ(next->phase, PlaySession::kScene);
    EXPECT_EQ(*next->lives, 15);
    EXPECT_EQ(next->score, 0);
    EXPECT_EQ(next->extraSetDone, 1);
    EXPECT_EQ(next->noContinueUsed, 0);
    ASSERT_TRUE(next->CurrentScene());
    EXPECT_EQ(next->stages[1]->Cat(0)->lives, next->lives.get());

    // The other choice goes back to the title.
    s->menuOnContinue = 1;
    Frame(*s, {{0, kDown}});
    Frame(*s, {{0, kJump}});
    EXPECT_TRUE(s->TakeRequests().title);
}

TEST_F(PlaySessionTest, TheHardRunPlaysTheExtraSetOfTheFirstPlayersDevice) {
    t_.save.difficulty = 1;
    for (int type = input::kJoystick; type <= input::kKeyboard; ++type) {
        Players({type});
        auto set3 = Make(3, 0, 7);
        set3->score = 5000;
        auto extra = Next(*set3);
        EXPECT_EQ(extra->setNumber, 4 + type) << type;
        EXPECT_EQ(extra->inExtraSet, 1);
        EXPECT_EQ(extra->extraSetDone, 1);
        EXPECT_EQ(*extra->lives, 7);
        EXPECT_EQ(extra->score, 5000);
        ASSERT_GT(extra->StageCount(), 0);
        ASSERT_TRUE(extra->stages[0]);
        EXPECT_EQ(extra->stages[0]->mode, gamemode::kFinal) << "the extra sets play the final rules";
        EXPECT_EQ(extra->stages[0]->Cat(0)->kind, type);
    }
    // Cleared, the extra set marks the run; set 4 follows and, at the end of
    // the run, unlocks the final set.
    Players({input::kXInputPad});
    auto set3 = Make(3, 0, 7);
    auto extra = Next(*set3);
    ASSERT_EQ(extra->setNumber, 8);
    extra->stageIndex = extra->StageCount() - 1;
    extra->phase = 0;
    ASSERT_TRUE(RunUntil(*extra, [&] { return extra->phase == PlaySession::kSetEnd; }, 3000));
    EXPECT_EQ(extra->setCleared, 1);
    ASSERT_TRUE(CountBonus(*extra));
    Press(*extra, 0, kPause);
    EXPECT_TRUE(extra->TakeRequests().replace);
    EXPECT_EQ(extra->extraSetCleared, 1);
    auto set4 = Next(*extra);
    EXPECT_EQ(set4->setNumber, 4);
    EXPECT_EQ(set4->inExtraSet, 0);
    EXPECT_EQ(set4->extraSetCleared, 1);
    set4->stageIndex = set4->StageCount() - 2;  // the last stage, before the closing scene
    set4->phase = 0;
    ASSERT_TRUE(RunUntil(*set4, [&] { return set4->phase == PlaySession::kScene; }, 3000));
    SkipScene(*set4);
    ASSERT_TRUE(RunUntil(*set4, [&] { return set4->phase == PlaySession::kSetEnd; }, 300));
    ASSERT_TRUE(CountBonus(*set4));
    Press(*set4, 0, kPause);
    EXPECT_TRUE(set4->TakeRequests().ending);
    EXPECT_EQ(t_.save.finalSetUnlocked, 1);
    EXPECT_TRUE(set4->Result().finalSetUnlocked);

    // On the easy difficulty set 4 follows set 3 directly.
    t_.save.difficulty = 0;
    auto easy3 = Make(3, 0, 7);
    EXPECT_EQ(Next(*easy3)->setNumber, 4);
}

// The road of a continue in an extra set: the set is played again as an
// ordinary set (no "∞", and clearing it unlocks nothing), and the run goes
// on to set 4 rather than ending there.
TEST_F(PlaySessionTest, AContinueInAnExtraSetPlaysItAgainAndTheRunGoesOnToSetFour) {
    t_.save.difficulty = 1;
    auto set3 = Make(3, 0, 7);
    auto extra = Next(*set3);
    ASSERT_EQ(extra->setNumber, 4 + input::kJoystick);
    ASSERT_EQ(extra->inExtraSet, 1);
    // The extra sets' stages play the final rules, which take no life: the
    // run comes in with none left.
    *extra->lives = -1;
    ASSERT_TRUE(PlaySet(*extra));
    ASSERT_TRUE(CountBonus(*extra));
    Press(*extra, 0, kPause);
    ASSERT_EQ(extra->gameOverMenu, 1);
    ASSERT_EQ(extra->menuOnContinue, 1);
    Frame(*extra, {{0, kJump}});
    ASSERT_TRUE(extra->TakeRequests().replace);

    auto again = Next(*extra);
    EXPECT_EQ(again->setNumber, extra->setNumber);
    EXPECT_EQ(again->inExtraSet, 0);
    EXPECT_EQ(*again->lives, 15);
    ASSERT_TRUE(PlaySet(*again));
    EXPECT_EQ(again->setCleared, 1);
    ASSERT_TRUE(CountBonus(*again));
    Press(*again, 0, kPause);
    const scene::SessionRequests r = again->TakeRequests();
    EXPECT_TRUE(r.replace) << "set 4 follows the extra set";
    EXPECT_FALSE(r.ending);
    EXPECT_EQ(again->extraSetCleared, 0);
    auto set4 = Next(*again);
    EXPECT_EQ(set4->setNumber, 4);
    EXPECT_EQ(set4->noContinueUsed, 0);
    EXPECT_EQ(set4->extraSetCleared, 0);
}

// A new set starts with the screen before (set 3's end, "x 15" lives)
// dissolving away: it dissolves over the whole new screen, score panel
// included, so the extra set's "∞" never shows beside the old count.
TEST_F(PlaySessionTest, TheScreenBeforeANewSetDissolvesOverItsScorePanelToo) {
    t_.save.difficulty = 1;
    Players({input::kKeyboard});
    auto set3 = Make(3, 0, 15);
    auto extra = Next(*set3);
    ASSERT_EQ(extra->inExtraSet, 1);
    const std::string endless = GameText("   ∞");
    auto drawn = [&] {
        std::vector<gamedraw::Call> calls;
        gamedraw::SetRecorder([&calls](const gamedraw::Call& c) { calls.push_back(c); });
        extra->Draw();
        gamedraw::SetRecorder(nullptr);
        return calls;
    };
    auto drawsBeforeTheDissolve = [&](const std::string& where) {
        t_.data.transitionCount = 0;  // as the set end's START left it
        const std::vector<gamedraw::Call> calls = drawn();
        ASSERT_FALSE(calls.empty()) << where;
        EXPECT_EQ(calls.back().kind, gamedraw::Call::kWipe) << where << ": the old screen is drawn last";
        EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                                [](const gamedraw::Call& c) { return c.kind == gamedraw::Call::kWipe; }),
                  1)
            << where;
        EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [&](const gamedraw::Call& c) {
            return c.kind == gamedraw::Call::kText && c.text == endless;
        })) << where;
    };
    if (extra->phase == PlaySession::kScene) {
        drawsBeforeTheDissolve("the opening scene");
        SkipScene(*extra);
    }
    ASSERT_TRUE(RunUntil(*extra, [&] { return InPlay(*extra); }, 2000));
    drawsBeforeTheDissolve("the first stage");
    // Dissolved, the old screen is drawn no more.
    t_.data.transitionCount = 30;
    const std::vector<gamedraw::Call> after = drawn();
    EXPECT_TRUE(std::none_of(after.begin(), after.end(),
                             [](const gamedraw::Call& c) { return c.kind == gamedraw::Call::kWipe; }));
}

// The stage's clock five seconds and a frame past its limit: a story
// stage times out on the next frame.
void RunOutOfTime(Stage& stage) { stage.elapsed = stage.timeLimit + 5016; }

TEST_F(PlaySessionTest, AFailedLastStageIsNotAClear) {
    t_.save.difficulty = 1;
    autoPlay = false;
    auto extra = Make(5, 0, 3);
    extra->inExtraSet = 1;
    extra->extraSetDone = 1;
    ASSERT_EQ(extra->bonusShown, 200000);
    extra->stageIndex = extra->StageCount() - 1;  // the set's last stage, a final-rule stage
    extra->phase = 0;
    Stage* last = extra->CurrentStage();
    ASSERT_TRUE(last && last->isLastOfRun);
    ASSERT_EQ(last->mode, gamemode::kFinal);
    ASSERT_TRUE(RunUntil(*extra, [&] { return !last->ready; }, 200));
    RunOutOfTime(*last);
    ASSERT_TRUE(RunUntil(*extra, [&] { return extra->phase == PlaySession::kSetEnd; }, 300));
    EXPECT_EQ(last->failed, 1);
    EXPECT_EQ(*extra->lives, 3) << "a final-rule time-out takes no life";
    EXPECT_EQ(extra->setCleared, 0);
    EXPECT_EQ(extra->bonusPending, 0);
    EXPECT_EQ(extra->bonusShown, 0);
    ASSERT_TRUE(CountBonus(*extra));
    Press(*extra, 0, kPause);
    EXPECT_TRUE(extra->TakeRequests().replace);
    EXPECT_EQ(extra->extraSetCleared, 0) << "the failed extra set does not count";

    // The final set lost with lives left goes back to the title, its score
    // offered to the final set's high score.
    auto last11 = Make(11, 1, 0);
    EXPECT_EQ(last11->isLastSet, 1);
    SkipScene(*last11);
    Stage* first = last11->CurrentStage();
    ASSERT_TRUE(RunUntil(*last11, [&] { return !first->ready; }, 200));
    RunOutOfTime(*first);
    ASSERT_TRUE(RunUntil(*last11, [&] { return last11->phase == PlaySession::kSetEnd; }, 300));
    EXPECT_EQ(last11->stageIndex, 0) << "the set ends at the failed stage";
    last11->score = 777;
    ASSERT_TRUE(CountBonus(*last11));
    Press(*last11, 0, kPause);
    const scene::SessionRequests r = last11->TakeRequests();
    EXPECT_TRUE(r.title);
    EXPECT_FALSE(r.ending);
    EXPECT_EQ(t_.save.soundTestUnlocked, 0);
    EXPECT_EQ(t_.save.extraHighScore, 777);
    EXPECT_EQ(t_.save.extraHighScoreCheck, SaveData::CheckValue(t_.save.saveId, 777, input::kJoystick, 11));
}

class VersusTest : public PlaySessionTest {
protected:
    // Ends the round now: the gems decide it as the clock runs out (a
    // sudden-death round ends on the first gem the same way). Winners get
    // many, so a gem a resting cat falls on does not change the outcome.
    void EndRound(PlaySession& s, std::initializer_list<int> gems) {
        Stage* stage = s.CurrentStage();
        ASSERT_TRUE(stage);
        int slot = 0;
        for (int g : gems) {
            if (CatActor* cat = stage->Cat(slot)) cat->gems = g;
            ++slot;
        }
        stage->elapsed = stage->timeLimit + 1;
        ASSERT_TRUE(RunUntil(s, [&] { return s.phase == PlaySession::kRoundResult; }, 300));
        ASSERT_TRUE(RunUntil(s, [&] { return s.phaseTimer >= 30; }, 100));
    }
    void Next(PlaySession& s) {
        Frame(s);
        Frame(s, {{1, kPause}});
    }
};

TEST_F(VersusTest, ATiedMatchGoesToSuddenDeathUntilOneLeads) {
    Players({input::kJoystick, input::kKeyboard, input::kXInputPad});
    auto s = Make(1, gamemode::kVersus);
    ASSERT_EQ(s->phase, gamemode::kVersus);
    ASSERT_EQ(s->StageCount(), 3);
    // Three rounds, one won by each.
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(s->stageIndex, round);
        EndRound(*s, {50 * (round == 0), 50 * (round == 1), 50 * (round == 2)});
        EXPECT_EQ(s->roundWinners[round], 1);
        EXPECT_EQ(s->sessionOver, round == 2);
        if (round < 2) {
            Next(*s);
            EXPECT_EQ(s->phase, gamemode::kVersus);
        }
    }
    EXPECT_EQ(Played(kSeMind), 3);
    EXPECT_EQ(s->suddenDeathPending, 1);
    EXPECT_EQ(std::vector<uint8_t>(s->leaders, s->leaders + 4), (std::vector<uint8_t>{1, 1, 1, 0}));

    // Ties again and again: each sudden-death round is one more slot of the
    // list, a stage of the set played again by the leaders alone.
    const std::initializer_list<int> suddenDeaths[] = {{99, 99, 0}, {99, 99, 0}, {0, 99, 0}};
    int round = 0;
    for (std::initializer_list<int> gems : suddenDeaths) {
        Next(*s);
        ASSERT_EQ(s->phase, gamemode::kSuddenDeath) << round;
        EXPECT_EQ(s->StageCount(), 4 + round);
        EXPECT_EQ(s->stageIndex, 3 + round);
        Stage* stage = s->CurrentStage();
        EXPECT_TRUE(std::any_of(s->ownedStages.begin(), s->ownedStages.begin() + 3,
                                [&](const std::unique_ptr<Stage>& owned) { return owned.get() == stage; }));
        EXPECT_EQ(stage->mode, gamemode::kSuddenDeath);
        EXPECT_EQ(stage->playerActive[2], round == 0 ? 1 : 0) << round;
        EndRound(*s, gems);
        ++round;
    }
    EXPECT_EQ(std::vector<int32_t>(s->wins, s->wins + 3), (std::vector<int32_t>{3, 4, 1}));
    EXPECT_EQ(s->suddenDeathPending, 0);
    EXPECT_EQ(s->winner, -1);
    Next(*s);
    EXPECT_EQ(s->phase, PlaySession::kMatchResult);
    EXPECT_EQ(s->winner, 1);
    EXPECT_EQ(GameData::currentBgm, 7);
    // START held from the result does not leave; a new press does.
    Frame(*s, {{1, kPause}});
    EXPECT_FALSE(s->TakeRequests().title);
    Next(*s);
    EXPECT_TRUE(s->TakeRequests().title);
}

TEST_F(VersusTest, TheWinnersStandAsTheClockRanOutThroughTheFramesAfter) {
    // The cats play on while the ended round lingers: gems taken then (here
    // given to the cat) change neither the winner nor a tie.
    Players({input::kJoystick, input::kKeyboard, input::kMouse});
    auto s = Make(1, gamemode::kVersus);
    const std::initializer_list<int> rounds[] = {{3, 1, 0}, {2, 2, 0}};
    const std::vector<uint8_t> expected[] = {{1, 0, 0, 0}, {1, 1, 0, 0}};
    for (int round = 0; round < 2; ++round) {
        Stage* stage = s->CurrentStage();
        ASSERT_TRUE(stage);
        int slot = 0;
        for (int g : rounds[round]) stage->Cat(slot++)->gems = g;
        stage->elapsed = stage->timeLimit + 1;
        Frame(*s);
        ASSERT_TRUE(stage->finished);
        EXPECT_EQ(std::vector<uint8_t>(stage->results, stage->results + 4), expected[round]) << round;
        stage->Cat(2)->gems = 9;
        stage->Cat(1)->gems += 5;
        ASSERT_TRUE(RunUntil(*s, [&] { return s->phase == PlaySession::kRoundResult; }, 300));
        EXPECT_EQ(std::vector<uint8_t>(s->roundWinners, s->roundWinners + 4), expected[round]) << round;
        ASSERT_TRUE(RunUntil(*s, [&] { return s->phaseTimer >= 30; }, 100));
        Next(*s);
    }
    EXPECT_EQ(std::vector<int32_t>(s->wins, s->wins + 4), (std::vector<int32_t>{2, 1, 0, 0}));

    // Sudden death: the first gem wins, a leader's gem after it does not.
    Stage* stage = s->CurrentStage();
    ASSERT_TRUE(stage);
    const uint8_t leaders[4] = {0, 1, 1, 0};
    stage->StartSuddenDeath(leaders);
    EXPECT_EQ(stage->resultsDecided, 0);
    stage->Cat(2)->gems = 99;
    stage->elapsed = 9999999;
    stage->finished = stage->roundOver = 1;
    stage->Update();
    stage->Cat(1)->gems = 198;
    stage->Update();
    EXPECT_EQ(std::vector<uint8_t>(stage->results, stage->results + 4), (std::vector<uint8_t>{0, 0, 1, 0}));
}

TEST_F(VersusTest, OnlyThePlayersOfTheMatchCanLeadAndTheMostWinsWin) {
    // Nobody won a round: the two players (not the empty slots) play it out.
    Players({input::kJoystick, input::kKeyboard});
    auto s = Make(0, gamemode::kVersus);
    for (int round = 0; round < 3; ++round) {
        EndRound(*s, {0, 0});
        if (round < 2) Next(*s);
    }
    EXPECT_EQ(Played(kSeMind), 0);
    EXPECT_EQ(std::vector<uint8_t>(s->leaders, s->leaders + 4), (std::vector<uint8_t>{1, 1, 0, 0}));
    Next(*s);
    ASSERT_EQ(s->phase, gamemode::kSuddenDeath);
    const Stage* stage = s->CurrentStage();
    EXPECT_EQ(std::vector<uint8_t>(stage->playerActive, stage->playerActive + 4),
              (std::vector<uint8_t>{1, 1, 0, 0}));

    // Wins 2/1/0 end the match with the first player's win.
    Players({input::kJoystick, input::kKeyboard, input::kMouse});
    auto t = Make(2, gamemode::kVersus);
    const std::initializer_list<int> rounds[] = {{50, 0, 0}, {0, 50, 0}, {50, 0, 0}};
    for (int round = 0; round < 3; ++round) {
        EndRound(*t, rounds[round]);
        Next(*t);
    }
    EXPECT_EQ(t->phase, PlaySession::kMatchResult);
    EXPECT_EQ(t->winner, 0);

    // Equal wins go to the later slot.
    std::fill(std::begin(t->wins), std::end(t->wins), 2);
    t->winner = -1;
    t->PickWinner();
    EXPECT_EQ(t->winner, 2);
}

TEST_F(PlaySessionTest, ATimeAttackRecordStoresTheTimeAndTheReplay) {
    auto run = [&](int mode, int waitFrames) {
        auto s = Make(0, mode);
        Stage* stage = s->CurrentStage();
        autoPlay = false;
        RunUntil(*s, [&] { return !stage->ready && !stage->go; }, 200);
        for (int i = 0; i < waitFrames; ++i) Frame(*s);
        autoPlay = true;
        return s;
    };
    auto s = run(gamemode::kTimeAttack, 0);
    ASSERT_TRUE(RunUntil(*s, [&] { return s->phase == PlaySession::kTimeAttackResult; }, 300));
    const int32_t time = s->CurrentStage()->elapsed;
    EXPECT_GT(time, 0);
    EXPECT_TRUE(s->IsNewRecord(s->phase));
    EXPECT_EQ(Played(kSeMind), 1);
    EXPECT_TRUE(savedReplays.empty()) << "the record is stored when the player leaves the result";
    RunUntil(*s, [&] { return s->phaseTimer >= 40; }, 100);
    Frame(*s, {{0, kPause}});
    EXPECT_TRUE(s->TakeRequests().title);
    EXPECT_EQ(savedReplays, std::vector<int32_t>{0});
    EXPECT_EQ(savedWithBestTime, std::vector<int32_t>{time}) << "the save with the new time joins the replay's store";
    uint8_t bytes[SaveData::kFileSize];
    SaveData::Serialize(t_.save, bytes);
    int32_t storedTime, storedCat;
    std::memcpy(&storedTime, bytes + 192, 4);
    std::memcpy(&storedCat, bytes + 592, 4);
    EXPECT_EQ(storedTime, time);
    EXPECT_EQ(storedCat, input::kJoystick);

    // A slower run is no record: nothing is stored.
    auto slow = run(gamemode::kTimeAttack, 100);
    ASSERT_TRUE(RunUntil(*slow, [&] { return slow->phase == PlaySession::kTimeAttackResult; }, 300));
    EXPECT_FALSE(slow->IsNewRecord(slow->phase));
    RunUntil(*slow, [&] { return slow->phaseTimer >= PlaySession::kEndFrames; }, 100);
    Frame(*slow, {{0, kPause}});
    EXPECT_TRUE(slow->TakeRequests().title);
    EXPECT_EQ(t_.save.bestTime[0], time);
    EXPECT_EQ(savedReplays.size(), 1u);

    // Against the time table: a time under the target becomes the target.
    const int32_t target = t_.table->target[0][input::kJoystick];
    auto table = run(gamemode::kTimeAttackTable, 0);
    ASSERT_TRUE(RunUntil(*table, [&] { return table->phase == PlaySession::kTableResult; }, 300));
    ASSERT_LT(table->CurrentStage()->elapsed, target);
    RunUntil(*table, [&] { return table->phaseTimer >= PlaySession::kEndFrames; }, 100);
    Frame(*table, {{0, kPause}});
    EXPECT_EQ(t_.table->target[0][input::kJoystick], table->CurrentStage()->elapsed);
    EXPECT_EQ(savedReplays.size(), 2u);
    EXPECT_EQ(savedWithBestTime.back(), -1) << "a demo replay is stored alone";

    // A replay has no record to play without the replay files: back to the title.
    auto replay = Make(0, gamemode::kReplayUser);
    EXPECT_TRUE(replay->TakeRequests().title);
}

// START held from play into the time-attack result (a pause pressed a
// moment late, an unpause in front of the goal) skips nothing: the result
// stays at least as long as the versus result, and leaves, storing the
// record, on a new press of START made after that.
TEST_F(PlaySessionTest, TheTimeAttackResultStaysWhileStartIsHeldAndLeavesOnANewPress) {
    auto s = Make(0, gamemode::kTimeAttack);
    ASSERT_TRUE(RunUntil(*s, [&] { return s->phase == PlaySession::kTimeAttackResult; }, 300));
    for (int frame = 0; frame < 2 * PlaySession::kEndFrames; ++frame) {
        Frame(*s, {{0, kPause}});
        ASSERT_FALSE(s->TakeRequests().title) << "START held since the result's first frame, frame " << frame;
    }
    Frame(*s);
    Frame(*s, {{0, kPause}});
    EXPECT_TRUE(s->TakeRequests().title);
    EXPECT_EQ(savedReplays, std::vector<int32_t>{0});

    // A press while the result comes in is no leave either.
    auto again = Make(0, gamemode::kTimeAttack);
    ASSERT_TRUE(RunUntil(*again, [&] { return again->phase == PlaySession::kTimeAttackResult; }, 300));
    Frame(*again);
    Frame(*again, {{0, kPause}});
    while (again->phaseTimer < PlaySession::kEndFrames) {
        Frame(*again);
        ASSERT_FALSE(again->TakeRequests().title) << "frame " << again->phaseTimer;
    }
    Frame(*again, {{0, kPause}});
    EXPECT_TRUE(again->TakeRequests().title);
}

TEST_F(PlaySessionTest, PauseAndBackToTheTitle) {
    auto s = Make(0, 0);
    SkipScene(*s);
    ASSERT_EQ(s->phase, 0);
    ASSERT_EQ(s->frameCounter, 1);
    // START held into the stage does not pause, however long it is held.
    for (int i = 0; i < 10; ++i) Frame(*s, {{0, kPause}});
    EXPECT_EQ(s->phase, 0);
    Frame(*s);
    Frame(*s, {{0, kPause}});
    EXPECT_EQ(s->phase, PlaySession::kPause);
    EXPECT_EQ(s->pausedPhase, 0);
    EXPECT_EQ(Played(kSeCursorDecide), 1);
    // The stage stands still while paused.
    const int32_t frozen = s->CurrentStage()->playFrames;
    for (int i = 0; i < 20; ++i) Frame(*s, {{0, kPause}});
    EXPECT_EQ(s->CurrentStage()->playFrames, frozen);
    EXPECT_EQ(s->phase, PlaySession::kPause);
    Frame(*s);
    Frame(*s, {{0, kPause}});
    EXPECT_EQ(s->phase, 0);
    Frame(*s);
    EXPECT_EQ(s->CurrentStage()->playFrames, frozen + 1);

    // START with decide and cancel leaves, from play and from the pause.
    Frame(*s, {{0, kPause}, {0, kJump}, {0, kAction}});
    EXPECT_TRUE(s->TakeRequests().title);
    Frame(*s);
    Frame(*s, {{0, kPause}});
    ASSERT_EQ(s->phase, PlaySession::kPause);
    Frame(*s, {{0, kPause}, {0, kJump}, {0, kAction}});
    EXPECT_TRUE(s->TakeRequests().title);
}

TEST_F(PlaySessionTest, TheAttractDemoPlaysThreeStagesAndAnyButtonEndsIt) {
    Players({});
    auto s = Make(-2, gamemode::kAttractDemo);
    ASSERT_EQ(s->StageCount(), 3);
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(s->stageIndex, k);
        ASSERT_TRUE(RunUntil(*s, [&] { return s->stageIndex != k || s->requestTitle; }, 1000)) << k;
    }
    EXPECT_TRUE(s->TakeRequests().title);

    // Any device's decide, cancel or START ends it.
    auto t = Make(-2, gamemode::kAttractDemo);
    arrays_.buttons[0] = &blocks_[0].buttons;
    arrays_.buttons[1] = &blocks_[1].buttons;
    for (int i = 0; i < 50; ++i) Frame(*t);
    EXPECT_FALSE(t->TakeRequests().title);
    Frame(*t, {{1, kAction}});
    EXPECT_TRUE(t->TakeRequests().title);

    // A set without a file has nothing to play.
    Players({input::kJoystick});
    EXPECT_TRUE(Make(42, 0)->TakeRequests().title);
}

}  // namespace
