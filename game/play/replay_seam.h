// Where a stage's recorded input comes in and goes out. The stage records
// every player's input in the time-attack modes and plays recorded input
// back in the replay modes; the streams, their files and their meta files
// live behind this interface, which the replay code registers once.
// Without a registered source no stage records or replays anything, and a
// replay of the player's own record is refused (it has no meta file).
#pragma once
#include "game/play/player_input.h"

#include <cstdint>
#include <memory>
#include <vector>

// The input streams of one stage.
class ReplayStreams {
public:
    virtual ~ReplayStreams() = default;
    virtual std::unique_ptr<ReplayStreams> Clone() const = 0;
    // Recording modes: one player's inputs of input frame `frame` (1 on the
    // first frame in which the stage takes input).
    virtual void RecordFrame(int frame, int player, const PlayerInput& input) = 0;
    // Replay modes: the recorded inputs of that player and frame, in blocks
    // the streams own; null where the stream holds none.
    virtual PlayerInput PlayFrame(int frame, int player) = 0;
};

class ReplaySource {
public:
    virtual ~ReplaySource() = default;
    // The device types (1..6) of the players of the user's own record of a
    // stage, in player order; false when there is no such record.
    virtual bool ReadUserMeta(int stageNumber, std::vector<int32_t>* deviceTypes) = 0;
    // The streams of a stage being loaded: read back in the replay modes
    // (type: the device type whose demo replay is asked for), empty ones to
    // record into in the time-attack modes. Null when there are none.
    virtual std::unique_ptr<ReplayStreams> OpenStreams(int mode, int stageNumber, int players, int type) = 0;
};

// The source the stage loader asks; null (the default) for none.
void SetReplaySource(ReplaySource* source);
ReplaySource* GetReplaySource();

// A stage's streams; copies of a stage get copies of its streams.
class ReplayStreamsHandle {
public:
    ReplayStreamsHandle() = default;
    explicit ReplayStreamsHandle(std::unique_ptr<ReplayStreams> streams) : p_(std::move(streams)) {}
    ReplayStreamsHandle(const ReplayStreamsHandle& other) : p_(other.p_ ? other.p_->Clone() : nullptr) {}
    ReplayStreamsHandle(ReplayStreamsHandle&&) noexcept = default;
    ReplayStreamsHandle& operator=(const ReplayStreamsHandle& other) {
        if (this != &other) p_ = other.p_ ? other.p_->Clone() : nullptr;
        return *this;
    }
    ReplayStreamsHandle& operator=(ReplayStreamsHandle&&) noexcept = default;

    ReplayStreams* get() const { return p_.get(); }
    ReplayStreams* operator->() const { return p_.get(); }
    explicit operator bool() const { return bool(p_); }

private:
    std::unique_ptr<ReplayStreams> p_;
};
