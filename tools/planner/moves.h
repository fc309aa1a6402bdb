// The moves the planner tries, per cat kind: a few frames of held input in
// the simulator's script form, with frames counted from the move's first.
// Each kind of cat has moves of its own, because each steers its own way:
// the joystick and remote cats run and jump (the remote's shake makes a
// long jump), the nunchuk cat walks on any surface and turns its gravity
// by the tilt, the pad's pair run on the stick and jump on the trigger's
// release, the mouse cat is charged and flung toward the cursor, and the
// keyboard cat runs on several keys at once and flaps on new presses.
#pragma once
#include <string>
#include <vector>

class Stage;

namespace planner {

struct Move {
    int frames = 0;
    // Script lines "F-L token ..." with F, L in 1..frames.
    std::string lines;
};

// The moves worth trying for the first player's cat of `kind` (1..6) as
// the stage stands. The mouse cat's moves name screen positions around the
// cat, so the engine camera must be the stage's (ApplyFollowCamera).
std::vector<Move> MovesFor(int kind, const Stage& stage);

}  // namespace planner
