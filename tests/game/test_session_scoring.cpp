// The session's bookkeeping on its own: stage points through the 1 % carry,
// the gem points of the normal game reaching the score, the bonus count,
// the clamp at 99,999,999, the end-of-run bonuses, the high score with its
// check value, and what a next session takes over from the last.
#include "session_fixture.h"

#include "game/savedata.h"

#include <numeric>

namespace {

class SessionScoringTest : public SessionTest {
protected:
    // A session with nothing loaded, for the bookkeeping alone.
    std::unique_ptr<PlaySession> Bare(int32_t set, int32_t lives = 3) {
        auto s = Make(PlaySession::kNoSet, 0, lives);
        s->setNumber = set;
        return s;
    }
    // A cleared set's end screen with its bonus counted and START pressed.
    std::unique_ptr<PlaySession> EndOfSet(int32_t set, int32_t score, bool lastSet = false) {
        auto s = Bare(set);
        s->isLastSet = lastSet;
        s->setCleared = 1;
        s->score = score;
        s->phase = PlaySession::kSetEnd;
        s->phaseTimer = 30;
        Frame(*s, {{0, input::kPause}});
        return s;
    }
};

TEST_F(SessionScoringTest, StagePointsReachTheScoreAtOnePercentAFrame) {
    auto s = Bare(0);
    s->scoreCarry = 250;
    std::vector<int32_t> steps;
    while (s->scoreCarry > 0 && steps.size() < 1000) {
        const int32_t before = s->score;
        s->AddStageScore();
        steps.push_back(s->score - before);
    }
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.front(), 2);
    EXPECT_EQ(steps.back(), 99) << "the last 99 at once";
    EXPECT_TRUE(std::all_of(steps.begin(), steps.end() - 1, [](int32_t d) { return d == 1 || d == 2; }));
    EXPECT_EQ(std::accumulate(steps.begin(), steps.end(), 0), 250);

    // Less than 100 goes at once; a stage's points move into the carry.
    auto t = Make(0, 0);
    t->phase = 0;
    t->CurrentStage()->score = 99;
    t->AddStageScore();
    EXPECT_EQ(t->score, 99);
    t->CurrentStage()->score = 5000;
    t->AddStageScore();
    EXPECT_EQ(t->CurrentStage()->score, 0);
    EXPECT_EQ(t->score, 99 + 50);
    EXPECT_EQ(t->scoreCarry, 4950);
}

TEST_F(SessionScoringTest, GemPointsFollowTheTableOfTheDifficulty) {
    // The n-th gem of a stack: 100, 200, 400, 1000, then 10000 more per
    // gem on the hard difficulty and nothing on the easy one.
    const std::vector<int32_t> easy = {100, 200, 400, 1000, 0, 0};
    const std::vector<int32_t> hard = {100, 200, 400, 1000, 10000, 20000};
    for (int difficulty : {0, 1}) {
        t_.save.difficulty = difficulty;
        auto s = Make(0, 0);
        s->phase = 0;
        Stage* stage = s->CurrentStage();
        CatActor* cat = stage->Cat(0);
        std::vector<int32_t> points;
        for (int gem = 0; gem < 6; ++gem) {
            stage->grid.Set(1, 1, tile::kGemSlot);
            stage->HandleTileContact(*cat, 1, 1, tile::kGemSlot);
            points.push_back(stage->score);
            s->AddStageScore();
            s->AddToScore(s->scoreCarry);  // as at the stage's end
            s->scoreCarry = 0;
        }
        EXPECT_EQ(points, difficulty ? hard : easy) << difficulty;
        EXPECT_EQ(s->score, std::accumulate(points.begin(), points.end(), 0)) << difficulty;
    }
}

TEST_F(SessionScoringTest, TheBonusCountsDownAndDecideOrASmallBonusEndsIt) {
    auto s = Bare(2);
    s->bonusPending = 10000;
    s->frameCounter = 0;
    s->TallyBonus(false);
    EXPECT_EQ(s->score, 100);
    EXPECT_EQ(s->bonusPending, 9900);
    EXPECT_EQ(sounds_.Count(kSeCounter), 1);
    s->frameCounter = 1;
    s->TallyBonus(false);
    EXPECT_EQ(s->score, 199);
    EXPECT_EQ(sounds_.Count(kSeCounter), 1) << "the counter ticks on even frames";
    EXPECT_EQ(sounds_.Count(kSeMind), 0);
    s->TallyBonus(true);  // decide held: the rest at once
    EXPECT_EQ(s->score, 10000);
    EXPECT_EQ(s->bonusPending, 0);
    EXPECT_EQ(sounds_.Count(kSeMind), 1);

    s->bonusPending = 999;
    s->TallyBonus(false);
    EXPECT_EQ(s->score, 10999);
    EXPECT_EQ(s->bonusPending, 0);
    EXPECT_EQ(sounds_.Count(kSeMind), 2);
}

TEST_F(SessionScoringTest, TheScoreStopsAtItsLimit) {
    auto s = Bare(2);
    s->score = 99999950;
    s->AddToScore(100);
    EXPECT_EQ(s->score, PlaySession::kMaxScore);
    s->AddToScore(INT32_MAX);
    EXPECT_EQ(s->score, PlaySession::kMaxScore);

    s->score = 99000000;
    s->bonusPending = 2000000000;
    for (int i = 0; i < 5000 && s->bonusPending != 0; ++i) s->TallyBonus(false);
    EXPECT_EQ(s->bonusPending, 0);
    EXPECT_EQ(s->score, PlaySession::kMaxScore);

    s->score = 99999990;
    s->scoreCarry = 5000;
    s->AddStageScore();
    EXPECT_EQ(s->score, PlaySession::kMaxScore);

    // A run's end bonus that would pass the limit is kept within it.
    auto big = Bare(4, 1000000);
    big->bonusPending = 100000;
    big->FinishStage(0);
    EXPECT_EQ(big->bonusPending, PlaySession::kMaxScore);
}

TEST_F(SessionScoringTest, TheRunsEndAddsLivesAndNoContinueToTheSetsBonus) {
    struct Case {
        int32_t set;
        int difficulty;
        bool noContinue;
        bool lastSet;
        int32_t lives;
        int32_t added;
    };
    const Case cases[] = {
        {4, 0, true, false, 3, 300000 + 500000},  {4, 1, true, false, 3, 300000 + 1000000},
        {4, 0, false, false, 3, 300000},          {11, 0, true, true, 2, 200000},
        {2, 0, true, false, 3, 0},                {4, 0, true, false, -1, -50000},
    };
    for (const Case& c : cases) {
        t_.save.difficulty = c.difficulty;
        auto s = Bare(c.set, c.lives);
        s->noContinueUsed = c.noContinue;
        s->isLastSet = c.lastSet;
        s->bonusPending = s->bonusShown = 50000;
        s->FinishStage(0);
        EXPECT_EQ(s->phase, PlaySession::kSetEnd);
        EXPECT_EQ(s->sessionOver, 1);
        EXPECT_EQ(s->bonusPending, 50000 + c.added) << c.set << " " << c.lives;
        EXPECT_EQ(s->bonusShown, c.lives < 0 ? 0 : 50000);
        EXPECT_EQ(s->setCleared, c.lives < 0 ? 0 : 1);
    }
}

TEST_F(SessionScoringTest, TheRunsScoreBecomesTheHighScoreWithItsCheckValue) {
    t_.save.saveId = 5;
    auto s = EndOfSet(4, 1234);
    EXPECT_TRUE(s->TakeRequests().ending);
    EXPECT_TRUE(s->Result().newHighScore);
    EXPECT_EQ(t_.save.highScore, 1234);
    EXPECT_EQ(t_.save.highScoreCat, input::kJoystick);
    EXPECT_EQ(t_.save.highScoreCheck, 136);  // digits 4, 3, 2, 1 weighted 12..15, + 5 + 1

    // The same score again is no new high score.
    auto again = EndOfSet(4, 1234);
    EXPECT_TRUE(again->TakeRequests().ending);
    EXPECT_FALSE(again->Result().newHighScore);

    // The final set cleared unlocks the sound test and keeps its own record.
    auto last = EndOfSet(11, 50, true);
    EXPECT_TRUE(last->TakeRequests().ending);
    EXPECT_TRUE(last->Result().soundTestUnlocked);
    EXPECT_EQ(t_.save.soundTestUnlocked, 1);
    EXPECT_EQ(t_.save.extraHighScore, 50);
    EXPECT_EQ(t_.save.highScore, 1234);
}

TEST_F(SessionScoringTest, ANextSessionTakesOverTheRun) {
    auto s = Bare(1, 6);
    s->score = 777;
    s->noContinueUsed = 0;  // a continue earlier in the run
    s->extraSetCleared = 1;
    auto next = Next(*s);
    EXPECT_EQ(next->setNumber, 2);
    EXPECT_EQ(*next->lives, 6);
    EXPECT_EQ(next->score, 777);
    EXPECT_EQ(next->extraSetCleared, 1);
    EXPECT_EQ(next->noContinueUsed, 0) << "one continue in a run is enough to lose the no-continue bonus";
    EXPECT_EQ(next->stages[1]->Cat(0)->lives, next->lives.get());

    // After an extra set (5..10) set 4 follows.
    auto extra = Bare(9, 2);
    extra->inExtraSet = extra->extraSetDone = 1;
    EXPECT_EQ(Next(*extra)->setNumber, 4);
}

}  // namespace
