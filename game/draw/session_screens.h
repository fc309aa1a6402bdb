// The play session's own screens: the score panel over a map-set stage,
// the pause screen, the set's end with its bonus count and continue
// choice, the versus round and match results, and the time-attack result.
// Each is drawn from a plain record of what it shows, filled by the
// session from its own state.
#pragma once
#include <cstdint>

struct GameData;

namespace sessiondraw {

// The score, and the lives of a map-set run beside the first player's face.
struct ScorePanel {
    int32_t score = 0;
    bool hasLives = false;
    int32_t lives = 0;
    bool endless = false;  // the final or extra set: "∞" instead of a count
    int face = 0;          // the first player's face picture
};
void DrawScorePanel(const GameData& data, const ScorePanel& panel);

// The picture of the moment play was paused (the game data's work graph),
// dimmed, with "PAUSE" and the way back to the title.
void DrawPause(const GameData& data);

// The end of a map set: its name, the clear bonus (all clear, lives,
// no continue), the start prompt and the continue choice after a game over.
struct SetEnd {
    int face = 0;
    const char* setName = "";
    bool lastNormalSet = false;  // sets 4 and 11: the run's end bonuses
    bool isLastSet = false;
    int32_t bonusShown = 0;
    int32_t bonusPending = 0;
    int32_t lives = 0;
    bool noContinueUsed = false;
    bool easy = false;  // difficulty 0: the smaller no-continue bonus
    bool gameOverMenu = false;
    bool menuOnContinue = false;
    int32_t frameCounter = 0;
};
void DrawSetEnd(const GameData& data, const SetEnd& screen);

// A versus round's result (phase 6) or the match's (phase 7).
struct VersusResult {
    int phase = 6;
    int background = 0;  // the captured screen; 0 or less: a cleared screen
    int32_t winner = -1;
    int32_t frameCounter = 0;
    int32_t phaseTimer = 0;
    int catKinds[4] = {};  // the stage's cat per slot; rows end at the first 0
    int32_t wins[4] = {};
    uint8_t roundWinners[4] = {};
    bool sessionOver = false;
    bool nextIsLast = false;  // the next round is the set's last
};
void DrawVersusResult(const GameData& data, const VersusResult& screen);

// The time-attack result (phases 13, 14 and 15) over the stage's last
// picture (the game data's work graph).
struct TimeAttackResult {
    int phase = 13;
    int32_t phaseTimer = 0;
    int32_t frameCounter = 0;
    int32_t record = 0;  // phase 13: the best time; 14: the time table's target
    int32_t clearTime = 0;
    bool newRecord = false;
};
void DrawTimeAttackResult(const GameData& data, const TimeAttackResult& screen);

}  // namespace sessiondraw
