#include "game/replay/replay_recorder.h"

#include <algorithm>
#include <cstring>

namespace replay {

namespace {

// Each word that is held extends its run when the run ended on the frame
// before, else starts a new one; runs stay in the order they started.
void RecordHeld(int frame, const int32_t* words, int count, std::vector<HeldRun>* runs, int32_t* open) {
    for (int i = 0; i < count; ++i) {
        if (words[i] == 0) continue;
        if (open[i] >= 0) {
            HeldRun& run = (*runs)[size_t(open[i])];
            if (int64_t(run.frame) + run.count == frame) {
                ++run.count;
                continue;
            }
        }
        open[i] = int32_t(runs->size());
        runs->push_back({frame, i, 1});
    }
}

}  // namespace

ReplayRecorder::ReplayRecorder() {
    std::fill(std::begin(openButtons_), std::end(openButtons_), -1);
    std::fill(std::begin(openKeys_), std::end(openKeys_), -1);
}

bool ReplayRecorder::Present(Stream stream, const void* block) {
    if (streams_.absent[stream]) return false;
    if (block) return true;
    if (streams_.Empty(stream)) streams_.absent[stream] = true;
    return false;
}

void ReplayRecorder::Record(int frame, const PlayerInput& in) {
    if (frame <= lastFrame_) return;
    lastFrame_ = frame;

    if (Present(ReplayStreams::kIn, in.buttons)) RecordHeld(frame, in.buttons->held, 8, &streams_.buttons, openButtons_);

    if (Present(ReplayStreams::kAction, in.actions)) {
        for (int k = 0; k < input::kActionWords; ++k) {
            if (in.actions[k] == input::kTiltActionFrames && actionsLeft_[k] == 0) streams_.actions.push_back({frame, k});
            // Kept as read in case no finished frame follows.
            actionsLeft_[k] = in.actions[k];
        }
    }

    if (Present(ReplayStreams::kSlope, in.slope) && std::memcmp(slope_, in.slope, sizeof slope_) != 0) {
        std::memcpy(slope_, in.slope, sizeof slope_);
        streams_.slopes.push_back({frame, {slope_[0], slope_[1], slope_[2]}});
    }

    if (Present(ReplayStreams::kAnalog, in.analog)) {
        AnalogRun run{{}, 1};
        for (int k = 0; k < 6; ++k) run.words[k] = in.analog[kAnalogStored[k]];
        std::vector<AnalogRun>& runs = streams_.analogs;
        if (!runs.empty() && std::equal(std::begin(run.words), std::end(run.words), runs.back().words))
            ++runs.back().count;
        else
            runs.push_back(run);
    }

    if (Present(ReplayStreams::kMouse, in.mouse)) {
        std::vector<MouseRun>& runs = streams_.mice;
        const int32_t x = in.mouse[0], y = in.mouse[1];
        if (!runs.empty() && runs.back().x == x && runs.back().y == y &&
            int64_t(runs.back().frame) + runs.back().count == frame)
            ++runs.back().count;
        else
            runs.push_back({frame, x, y, 1});
    }

    if (Present(ReplayStreams::kKeyboard, in.keyboard))
        RecordHeld(frame, in.keyboard, input::kKeyboardWords, &streams_.keys, openKeys_);
}

void ReplayRecorder::Finish(const PlayerInput& in) {
    if (in.actions && !streams_.absent[ReplayStreams::kAction])
        std::copy(in.actions, in.actions + input::kActionWords, actionsLeft_);
}

}  // namespace replay
