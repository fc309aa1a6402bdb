// One player's recorded input, as the six stream files store it: runs of
// frames a button or key was held, the frames a tilt action started, each
// new nunchuk slope, runs of equal analog words, runs of frames at one
// mouse position. The recorder builds it a frame at a time, the files hold
// it as text, and playback turns it back into per-frame input blocks.
//
// Frames are the stage's play updates counted from 1 (see
// game/play/replay_seam.h); every list is in frame order.
#pragma once
#include "game/play/replay_seam.h"

#include <cstdint>
#include <vector>

namespace replay {

using Stream = ReplayStreams::Stream;
constexpr int kStreamCount = ReplayStreams::kStreamCount;

// The word each stream's file names carry: "in", "action", ...
const char* StreamWord(Stream stream);

// A button (in stream) or key (keyboard stream) held from `frame` for
// `count` consecutive frames.
struct HeldRun {
    int32_t frame, index, count;
    bool operator==(const HeldRun&) const = default;
};
// A tilt action that started on `frame` in timer `slot`.
struct ActionPulse {
    int32_t frame, slot;
    bool operator==(const ActionPulse&) const = default;
};
// The nunchuk slope from `frame` on.
struct SlopeChange {
    int32_t frame;
    float value[3];
    bool operator==(const SlopeChange&) const = default;
};
// The analog words 0, 2, 3, 4, 6 and 7 (sticks x, triggers, shoulders:
// what the cats read) for `count` consecutive recorded frames.
struct AnalogRun {
    int32_t words[6];
    int32_t count;
    bool operator==(const AnalogRun&) const = default;
};
constexpr int kAnalogStored[6] = {0, 2, 3, 4, 6, 7};
// The cursor at (x, y) from `frame` for `count` consecutive frames.
struct MouseRun {
    int32_t frame, x, y, count;
    bool operator==(const MouseRun&) const = default;
};

struct PlayerStreams {
    // A stream whose block the device did not have: stored as "n", played
    // back as no block at all.
    bool absent[kStreamCount] = {};
    std::vector<HeldRun> buttons;
    std::vector<ActionPulse> actions;
    std::vector<SlopeChange> slopes;
    std::vector<AnalogRun> analogs;
    std::vector<MouseRun> mice;
    std::vector<HeldRun> keys;

    bool Empty(Stream stream) const;
    bool operator==(const PlayerStreams&) const = default;
};

// What playback hands a cat before any line says otherwise.
constexpr float kRestingSlope[3] = {0.0f, 0.0f, 1.0f};

// The ranges a stored value must lie in to be played: what the devices
// give, so that a damaged file never hands a cat a value it was not made
// for.
constexpr int32_t kStickMin = -32768, kStickMax = 32767;
constexpr int32_t kTriggerMax = 255;
constexpr float kSlopeLimit = 1.0e6f;  // far beyond any tilt; keeps the cat's arithmetic finite

}  // namespace replay
