// Records one player's input blocks frame by frame into the runs and
// changes the replay files store (game/replay/replay_streams.h), packing as
// it goes: a run grows by one frame in constant time, so recording and
// packing are linear in the frames played.
//
// What is recorded is what the player's cat reads, on every frame it reads
// it: each button and key held; the cursor every frame (a mouse cat steers
// and turns toward it every frame); the nunchuk slope whenever it changes (a
// nunchuk cat aims with it every frame); the analog words every frame; and a
// tilt action when a timer that the cat had left at 0 reads 30 again. A
// block the device lacks while its stream is still empty makes the stream
// "n".
#pragma once
#include "game/play/player_input.h"
#include "game/replay/replay_streams.h"

#include <cstdint>

namespace replay {

class ReplayRecorder {
public:
    ReplayRecorder();
    // The blocks of one frame, before the cat reads them. Frames must rise;
    // a frame not above the last recorded one is ignored.
    void Record(int frame, const PlayerInput& input);
    // The same blocks after the cat's update: it counts the action timers
    // down and clears a tilt it does not take.
    void Finish(const PlayerInput& input);

    const PlayerStreams& streams() const { return streams_; }

private:
    bool Present(Stream stream, const void* block);

    PlayerStreams streams_;
    int32_t lastFrame_ = 0;
    int32_t openButtons_[8];  // per button, the run it extends (an index), or -1
    int32_t openKeys_[49];
    int32_t actionsLeft_[3] = {};  // the action timers as the cat left them
    float slope_[3] = {kRestingSlope[0], kRestingSlope[1], kRestingSlope[2]};
};

}  // namespace replay
