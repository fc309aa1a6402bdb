// The play the game benchmarks measure: the largest generated stage with
// four players (joystick, keyboard, XInput pad, mouse) and twelve enemies.
#pragma once
#include "game/play/game_modes.h"
#include "game/play/sim/play_sim.h"

#include <string>

namespace benchplay {

inline int LargestStage() {
    int best = 0, bestCells = 0;
    for (int n = 0; n < 100; ++n) {
        playsim::Setup setup;
        setup.stageNumber = n;
        playsim::Simulator sim(setup);
        const int cells = sim.stage().grid.columns * sim.stage().grid.rows;
        if (cells > bestCells) {
            best = n;
            bestCells = cells;
        }
    }
    return best;
}

// Adds enemies of every kind on empty cells above blocks until there are
// twelve.
inline void FillEnemies(Stage& st, GameData* data) {
    const TileGrid& g = st.grid;
    int kind = 8;
    for (int c = g.columns - 3; c >= 3 && st.enemies.size() < 12; c -= 2) {
        for (int r = 1; r + 1 < g.rows; ++r) {
            if (g.At(c, r) != tile::kEmpty || !g.IsSolid(c, r + 1)) continue;
            st.enemies.emplace_back(-1, kind, c, r, Stage::kFieldDepth, nullptr, data);
            kind = kind == 13 ? 8 : kind + 1;
            break;
        }
    }
}

// The input the four players hold: all run, each jumps now and then.
inline std::string FourPlayerInput() {
    std::string input = "1-100000 right\n1-100000 p2 right\n1-100000 p3 lx=25000\n1-100000 p4 mouse=560,120\n";
    for (int f = 140; f < 100000; f += 40) {
        const std::string range = std::to_string(f) + "-" + std::to_string(f + 14);
        input += range + " jump\n" + range + " p2 jump\n" + range + " p3 lt=255\n" + range + " p4 jump\n";
    }
    return input;
}

inline playsim::Setup FourPlayerSetup() {
    playsim::Setup setup;
    setup.stageNumber = LargestStage();
    setup.difficulty = 1;
    setup.deviceTypes = {1, 6, 4, 5};
    setup.lives = 1000000;
    return setup;
}

// A versus stage (the first, one round) with four cats: joystick,
// keyboard, XInput pad and mouse, the first two running apart.
inline playsim::Setup VersusSetup() {
    playsim::Setup setup;
    setup.stageNumber = 0;
    setup.mode = gamemode::kVersusSingle;
    setup.difficulty = 1;
    setup.deviceTypes = {1, 6, 4, 5};
    setup.lives = -1;
    return setup;
}

inline std::string VersusInput() { return "130-200 right\n130-160 p2 left\n"; }

}  // namespace benchplay
