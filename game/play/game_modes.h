// Game mode numbers: the title chooses one, the play session keeps it as
// its phase while a stage is played, and every stage keeps its own copy.
#pragma once

namespace gamemode {
enum : int {
    kNormal = 0,        // a normal map set; its stages 72..99 play as kFinal
    kFinal = 1,         // the final set: longer limits, a time-out loses the run
    kSceneFirst = 2,    // (session phase) a map set that starts with a scene
    kVersus = 4,        // versus match over a map set
    kVersusSingle = 5,  // one versus stage
    kSuddenDeath = 8,   // a versus stage played again by the leaders
    kTimeAttack = 9,
    kTimeAttackTable = 10,  // against the time table; records a demo replay
    kReplayUser = 11,       // the player's own time-attack record
    kReplayDemo = 12,       // a built-in demo replay
    kAttractDemo = 16,
};
}  // namespace gamemode

inline bool IsTimeAttackMode(int mode) { return mode == 9 || mode == 10 || mode == 11 || mode == 12 || mode == 16; }
// Time attack by one player: against the clock or the time table, or one of its replays.
inline bool IsSingleTimeAttack(int mode) { return mode >= 9 && mode <= 12; }
inline bool IsVersusMode(int mode) { return mode == 4 || mode == 5 || mode == 8; }
inline bool IsReplayMode(int mode) { return mode == 11 || mode == 12 || mode == 16; }
