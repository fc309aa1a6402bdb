#include "game/replay/replay_recorder.h"

#include "engine/log.h"
#include "game/replay/replay_format.h"

#include <algorithm>
#include <cstring>

namespace replay {

namespace {

// The most one frame adds to any stored stream, with room to spare: 49
// keys each starting a run (at most 22 bytes a line), one slope line (at
// most some 160 bytes with every value written out in full), one analog
// line (79), one mouse line (36), three tilt lines (69).
constexpr int64_t kFrameBytesBound = 4096;

}  // namespace

ReplayRecorder::ReplayRecorder(int player, int64_t streamLimit) : player_(player), limit_(streamLimit) {
    std::fill(std::begin(openButtons_), std::end(openButtons_), -1);
    std::fill(std::begin(openKeys_), std::end(openKeys_), -1);
}

template <class Line, class... Form>
int64_t ReplayRecorder::LineBytes(const Line& line, Form... form) {
    line_.clear();
    AppendStoredLine(line, form..., &line_);
    return int64_t(line_.size());
}

bool ReplayRecorder::Present(Stream stream, const void* block) {
    if (streams_.absent[stream]) return false;
    if (block) return true;
    if (streams_.Empty(stream)) {
        streams_.absent[stream] = true;
        bytes_[stream] = 1;  // "n"
    }
    return false;
}

// True, once, when a stream could pass the limit on this frame: the
// recording stops before it.
bool ReplayRecorder::NearLimit(int frame) {
    for (int k = 0; k < kStreamCount; ++k) {
        if (bytes_[k] <= limit_ - kFrameBytesBound) continue;
        stoppedAt_ = frame;
        WriteLogFormat("Replay recording of player %d stopped at frame %d: its %s stream holds %lld bytes, near the "
                       "%lld a replay file may have; the run plays on unrecorded and its time still counts",
                       player_, frame, StreamWord(Stream(k)), static_cast<long long>(bytes_[k]),
                       static_cast<long long>(limit_));
        return true;
    }
    return false;
}

// Each word that is held extends its run when the run ended on the frame
// before, else starts a new one; runs stay in the order they started.
void ReplayRecorder::RecordHeld(int frame, const int32_t* words, int count, Stream stream, int32_t* open) {
    std::vector<HeldRun>& runs = stream == ReplayStreams::kKeyboard ? streams_.keys : streams_.buttons;
    const bool crlf = stream == ReplayStreams::kKeyboard;
    for (int i = 0; i < count; ++i) {
        if (words[i] == 0) continue;
        if (open[i] >= 0) {
            HeldRun& run = runs[size_t(open[i])];
            if (int64_t(run.frame) + run.count == frame) {
                bytes_[stream] -= LineBytes(run, crlf);
                ++run.count;
                bytes_[stream] += LineBytes(run, crlf);
                continue;
            }
        }
        open[i] = int32_t(runs.size());
        runs.push_back({frame, i, 1});
        bytes_[stream] += LineBytes(runs.back(), crlf);
    }
}

void ReplayRecorder::Record(int frame, const PlayerInput& in) {
    if (frame <= lastFrame_ || stoppedAt_ != 0) return;
    if (NearLimit(frame)) return;
    lastFrame_ = frame;

    if (Present(ReplayStreams::kIn, in.buttons)) RecordHeld(frame, in.buttons->held, 8, ReplayStreams::kIn, openButtons_);

    if (Present(ReplayStreams::kAction, in.actions)) {
        for (int k = 0; k < input::kActionWords; ++k) {
            if (in.actions[k] == input::kTiltActionFrames && actionsLeft_[k] == 0) {
                streams_.actions.push_back({frame, k});
                bytes_[ReplayStreams::kAction] += LineBytes(streams_.actions.back());
            }
            // Kept as read in case no finished frame follows.
            actionsLeft_[k] = in.actions[k];
        }
    }

    if (Present(ReplayStreams::kSlope, in.slope) && std::memcmp(slope_, in.slope, sizeof slope_) != 0) {
        std::memcpy(slope_, in.slope, sizeof slope_);
        streams_.slopes.push_back({frame, {slope_[0], slope_[1], slope_[2]}});
        bytes_[ReplayStreams::kSlope] += LineBytes(streams_.slopes.back());
    }

    if (Present(ReplayStreams::kAnalog, in.analog)) {
        AnalogRun run{{}, 1};
        for (int k = 0; k < 6; ++k) run.words[k] = in.analog[kAnalogStored[k]];
        std::vector<AnalogRun>& runs = streams_.analogs;
        int64_t& bytes = bytes_[ReplayStreams::kAnalog];
        if (!runs.empty() && std::equal(std::begin(run.words), std::end(run.words), runs.back().words)) {
            bytes -= LineBytes(runs.back());
            ++runs.back().count;
        } else {
            runs.push_back(run);
        }
        bytes += LineBytes(runs.back());
    }

    if (Present(ReplayStreams::kMouse, in.mouse)) {
        std::vector<MouseRun>& runs = streams_.mice;
        int64_t& bytes = bytes_[ReplayStreams::kMouse];
        const int32_t x = in.mouse[0], y = in.mouse[1];
        if (!runs.empty() && runs.back().x == x && runs.back().y == y &&
            int64_t(runs.back().frame) + runs.back().count == frame) {
            bytes -= LineBytes(runs.back());
            ++runs.back().count;
        } else {
            runs.push_back({frame, x, y, 1});
        }
        bytes += LineBytes(runs.back());
    }

    if (Present(ReplayStreams::kKeyboard, in.keyboard))
        RecordHeld(frame, in.keyboard, input::kKeyboardWords, ReplayStreams::kKeyboard, openKeys_);
}

void ReplayRecorder::Finish(const PlayerInput& in) {
    if (in.actions && !streams_.absent[ReplayStreams::kAction])
        std::copy(in.actions, in.actions + input::kActionWords, actionsLeft_);
}

}  // namespace replay
