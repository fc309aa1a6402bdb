#include "game/replay/replay_playback.h"

#include <algorithm>
#include <utility>

namespace replay {

namespace {

// Starts the runs that begin by `frame` and sets one word for each run
// still going.
void PlayHeld(int frame, const std::vector<HeldRun>& runs, size_t* at, int32_t* left, int32_t* words, int count) {
    for (; *at < runs.size() && runs[*at].frame <= frame; ++*at) {
        const HeldRun& r = runs[*at];
        const int64_t remaining = int64_t(r.count) - (int64_t(frame) - r.frame);
        left[r.index] = int32_t(std::max<int64_t>(remaining, 0));
    }
    for (int i = 0; i < count; ++i) {
        words[i] = left[i] > 0 ? 1 : 0;
        if (left[i] > 0) --left[i];
    }
}

}  // namespace

ReplayPlayback::ReplayPlayback(std::shared_ptr<const PlayerStreams> streams) : streams_(std::move(streams)) {
    if (!streams_) streams_ = std::make_shared<const PlayerStreams>();
}

PlayerInput ReplayPlayback::Play(int frame) {
    const PlayerStreams& s = *streams_;
    PlayerInput in;

    PlayHeld(frame, s.buttons, &buttonsAt_, buttonsLeft_, buttons_.held, 8);
    if (!s.absent[ReplayStreams::kIn]) in.buttons = &buttons_;

    for (; actionsAt_ < s.actions.size() && s.actions[actionsAt_].frame <= frame; ++actionsAt_) {
        const ActionPulse& a = s.actions[actionsAt_];
        if (a.frame == frame) actions_[a.slot] = input::kTiltActionFrames;
    }
    if (!s.absent[ReplayStreams::kAction]) in.actions = actions_;

    for (; slopesAt_ < s.slopes.size() && s.slopes[slopesAt_].frame <= frame; ++slopesAt_)
        std::copy(std::begin(s.slopes[slopesAt_].value), std::end(s.slopes[slopesAt_].value), slope_);
    if (!s.absent[ReplayStreams::kSlope]) in.slope = slope_;

    if (analogLeft_ == 0 && analogsAt_ < s.analogs.size()) {
        const AnalogRun& a = s.analogs[analogsAt_++];
        for (int k = 0; k < 6; ++k) analog_[kAnalogStored[k]] = a.words[k];
        analogLeft_ = a.count;
    }
    if (analogLeft_ > 0) --analogLeft_;
    if (!s.absent[ReplayStreams::kAnalog]) in.analog = analog_;

    for (; miceAt_ < s.mice.size() && s.mice[miceAt_].frame <= frame; ++miceAt_) {
        mouse_[0] = s.mice[miceAt_].x;
        mouse_[1] = s.mice[miceAt_].y;
    }
    if (!s.absent[ReplayStreams::kMouse]) in.mouse = mouse_;

    PlayHeld(frame, s.keys, &keysAt_, keysLeft_, keys_, input::kKeyboardWords);
    if (!s.absent[ReplayStreams::kKeyboard]) in.keyboard = keys_;
    return in;
}

}  // namespace replay
