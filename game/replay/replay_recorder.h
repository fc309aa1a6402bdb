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
//
// The recorder keeps count of each stream's stored size. A replay file is
// read back only up to the size a game file may have (kMaxGameFileBytes),
// so when a stream comes within one frame's worth of it (hours of busy
// input) the recording stops there, with a log line: the run plays on and
// its time counts, and the stored replay plays it up to that frame.
#pragma once
#include "game/data/game_files.h"
#include "game/play/player_input.h"
#include "game/replay/replay_streams.h"

#include <cstdint>
#include <string>

namespace replay {

class ReplayRecorder {
public:
    // `player` names the recording in the log; `streamLimit` is the most
    // bytes a stored stream may take (the default: what playback reads).
    static constexpr int64_t kDefaultStreamLimit = kMaxGameFileBytes;
    explicit ReplayRecorder(int player = 0, int64_t streamLimit = kDefaultStreamLimit);

    // The blocks of one frame, before the cat reads them. Frames must rise;
    // a frame not above the last recorded one is ignored, as is every frame
    // once the recording has stopped.
    void Record(int frame, const PlayerInput& input);
    // The same blocks after the cat's update: it counts the action timers
    // down and clears a tilt it does not take.
    void Finish(const PlayerInput& input);

    const PlayerStreams& streams() const { return streams_; }
    // The stored size of a stream so far: what StoredText gives.
    int64_t StoredBytes(Stream stream) const { return bytes_[stream]; }
    // The first frame left out once the recording stopped; 0 while it runs.
    int32_t stoppedAt() const { return stoppedAt_; }

private:
    bool Present(Stream stream, const void* block);
    bool NearLimit(int frame);
    template <class Line, class... Form>
    int64_t LineBytes(const Line& line, Form... form);
    void RecordHeld(int frame, const int32_t* words, int count, Stream stream, int32_t* open);

    PlayerStreams streams_;
    int player_;
    int64_t limit_;
    int64_t bytes_[kStreamCount] = {};
    std::string line_;  // scratch for measuring a line
    int32_t lastFrame_ = 0;
    int32_t stoppedAt_ = 0;
    int32_t openButtons_[8];  // per button, the run it extends (an index), or -1
    int32_t openKeys_[49];
    int32_t actionsLeft_[3] = {};  // the action timers as the cat left them
    float slope_[3] = {kRestingSlope[0], kRestingSlope[1], kRestingSlope[2]};
};

}  // namespace replay
