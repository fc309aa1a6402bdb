// Plays one player's recorded streams back as the input blocks a device
// would give, frame by frame. The blocks belong to the playback and keep
// their state between frames as a device's do: the cat counts the action
// timers down in them, and the slope, the analog words and the cursor keep
// their last values when their stream runs out. The buttons and keys are
// cleared every frame and held for the runs that cover it.
//
// Each frame plays what the streams hold up to it: a run that began
// before the frame holds for what is left of it, a slope or cursor line
// before it stands, a tilt that started before it has gone. The analog
// stream has no frame numbers and gives one recorded frame per call.
#pragma once
#include "game/play/player_input.h"
#include "game/replay/replay_streams.h"

#include <cstdint>
#include <memory>

namespace replay {

class ReplayPlayback {
public:
    explicit ReplayPlayback(std::shared_ptr<const PlayerStreams> streams);
    // The blocks of `frame`; null for an absent stream. Frames must rise;
    // the blocks stay valid until the next call.
    PlayerInput Play(int frame);

    const PlayerStreams& streams() const { return *streams_; }

private:
    std::shared_ptr<const PlayerStreams> streams_;
    // Where each list is read next, and what is left of the runs begun.
    size_t buttonsAt_ = 0, actionsAt_ = 0, slopesAt_ = 0, analogsAt_ = 0, miceAt_ = 0, keysAt_ = 0;
    int32_t buttonsLeft_[8] = {};
    int32_t keysLeft_[input::kKeyboardWords] = {};
    int32_t analogLeft_ = 0;
    // The blocks handed out.
    input::ButtonBlock buttons_{};
    int32_t actions_[input::kActionWords] = {};
    float slope_[input::kSlopeWords] = {kRestingSlope[0], kRestingSlope[1], kRestingSlope[2]};
    int32_t analog_[input::kAnalogWords] = {};
    int32_t mouse_[input::kMouseWords] = {};
    int32_t keys_[input::kKeyboardWords] = {};
};

}  // namespace replay
