#include "moves.h"

#include "game/play/stage.h"

#include <cmath>
#include <cstdio>

namespace planner {

namespace {

constexpr int kStep = 6;       // frames of a move
constexpr int kMouseStep = 8;  // the mouse cat's moves are longer: it flies
constexpr float kAimReach = 150.0f;  // screen pixels from the cat to the cursor

std::string Held(int first, int last, const std::string& tokens) {
    return std::to_string(first) + "-" + std::to_string(last) + " " + tokens + "\n";
}

// The running and jumping moves: each of nothing, right and left, with or
// without the jump held. A jump starts on a new press; holding it longer
// jumps higher.
void RunAndJump(std::vector<Move>& moves, const char* jump) {
    for (const char* run : {"", "right", "left"}) {
        for (bool jumping : {false, true}) {
            std::string tokens = run;
            if (jumping) tokens += std::string(tokens.empty() ? "" : " ") + jump;
            moves.push_back({kStep, tokens.empty() ? "" : Held(1, kStep, tokens)});
        }
    }
}

std::vector<Move> RemoteMoves() {
    std::vector<Move> moves;
    RunAndJump(moves, "jump");
    // A shake with both hold buttons down: the long jump (the remote
    // refills its gauge for it by itself).
    for (const char* run : {"", "right ", "left "}) {
        std::string lines = Held(1, 1, std::string(run) + "action extra shake=0");
        if (*run) lines += Held(2, kStep, run);
        moves.push_back({kStep, lines});
    }
    return moves;
}

std::vector<Move> NunchukMoves() {
    std::vector<Move> moves;
    moves.push_back({kStep, ""});
    moves.push_back({kStep, Held(1, kStep, "right")});
    moves.push_back({kStep, Held(1, kStep, "left")});
    // Aiming (action and jump held) stops the cat and turns its gravity
    // toward the tilt: down, up, right, left.
    static const char* const kTilts[] = {"0,0,1", "0,0,-1", "-1,0,0", "1,0,0"};
    for (const char* tilt : kTilts)
        moves.push_back({kStep, Held(1, 2, std::string("action jump slope=") + tilt)});
    return moves;
}

std::vector<Move> KeyboardMoves() {
    // Three keys of a side at once run at full speed; any new press of a
    // jump key flaps, once on the first frame or on every other frame.
    std::vector<Move> moves;
    for (const char* run : {"", "key=31 key=32 key=33", "key=25 key=26 key=27"}) {
        for (int flaps : {0, 1, 3}) {
            std::string lines = *run ? Held(1, kStep, run) : "";
            for (int k = 0; k < flaps; ++k) lines += Held(1 + 2 * k, 1 + 2 * k, "key=0");
            moves.push_back({kStep, lines});
        }
    }
    return moves;
}

std::vector<Move> MouseMoves(const Stage& stage) {
    std::vector<Move> moves;
    const CatActor* cat = stage.Cat(0);
    if (!cat) return moves;
    const Vector3 at = cat->ScreenPosition();
    auto cursor = [&](int direction) {
        const float angle = float(direction) * 3.14159265f / 4.0f;
        char text[64];
        std::snprintf(text, sizeof text, "mouse=%d,%d", int(std::lround(at.x + kAimReach * std::cos(angle))),
                      int(std::lround(at.y + kAimReach * std::sin(angle))));
        return std::string(text);
    };
    // Charging: the jump button held.
    moves.push_back({kMouseStep, Held(1, kMouseStep, "jump")});
    if (cat->sideLatch) {
        // Charged: let go with the cursor in one of eight directions.
        for (int d = 0; d < 8; ++d) moves.push_back({kMouseStep, Held(1, 1, cursor(d))});
    } else {
        moves.push_back({kMouseStep, ""});
        // Creeping toward the cursor with the action button.
        for (int d = 0; d < 8; ++d) moves.push_back({kMouseStep, Held(1, kMouseStep, "action " + cursor(d))});
    }
    return moves;
}

}  // namespace

std::vector<Move> MovesFor(int kind, const Stage& stage) {
    std::vector<Move> moves;
    switch (kind) {
    case 2: return RemoteMoves();
    case 3: return NunchukMoves();
    case 5: return MouseMoves(stage);
    case 6: return KeyboardMoves();
    default:
        // The joystick cat (with its wall jump), and the pad's pair, whose
        // trigger charges while held and jumps when let go.
        RunAndJump(moves, "jump");
        return moves;
    }
}

}  // namespace planner
