// Where a stage's recorded input comes in and goes out. The stage records
// every player's input in the time-attack modes and plays recorded input
// back in the replay modes; the streams, their files and their meta files
// live behind this interface, which the replay code registers once
// (game/replay/replay_files.h).
// Without a registered source no stage records or replays anything, and a
// replay of the player's own record is refused (it has no meta file).
//
// Stream frames are the stage's play updates counted from 1 at its first
// one, the ready phase included: frame n is the n-th call of
// Stage::UpdatePlay (the simulator's frame n).
#pragma once
#include "game/play/player_input.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct SaveData;

// The input streams of one stage: recorded in the time-attack modes, read
// back in the replay modes.
class ReplayStreams {
public:
    // The six streams of a player, in the order of the per-frame arrays.
    enum Stream : int { kIn = 0, kAction, kSlope, kAnalog, kMouse, kKeyboard, kStreamCount };

    virtual ~ReplayStreams() = default;
    virtual std::unique_ptr<ReplayStreams> Clone() const = 0;
    // Recording: one player's inputs of frame `frame`, before the cat reads
    // them; then what the cat left in them (it counts the action timers
    // down) once it has.
    virtual void RecordFrame(int frame, int player, const PlayerInput& input) = 0;
    virtual void FinishFrame(int player, const PlayerInput& input) = 0;
    // Playback: the recorded inputs of that player and frame, in blocks the
    // streams own; null where the stream holds none. Called once per frame
    // that takes input, in frame order.
    virtual PlayerInput PlayFrame(int frame, int player) = 0;

    // The cat kind (device type 1..6) of each player, in player order.
    virtual const std::vector<int32_t>& PlayerKinds() const = 0;
    // What the recording holds, in its stored text form: one stream of one
    // player ("n" for a kind of block the device does not have).
    virtual std::string StoredText(int player, Stream stream) const = 0;
};

// A recording in the form its files store it: each player's device type
// and six streams as text. Stage::SaveReplay packs one stream at a time.
struct StoredReplay {
    using PlayerText = std::array<std::string, ReplayStreams::kStreamCount>;
    std::vector<int32_t> playerKinds;
    std::vector<PlayerText> text;  // [player][stream]

    // Packs one stream of every player of the recording (the players are
    // taken from it on the first call).
    void Pack(const ReplayStreams& recording, ReplayStreams::Stream stream);
};

class ReplaySource {
public:
    virtual ~ReplaySource() = default;
    // The device types (1..6) of the players of the user's own record of a
    // stage, in player order; false, with a log line, when there is no
    // such record or it cannot be used.
    virtual bool ReadUserMeta(int stageNumber, std::vector<int32_t>* deviceTypes) = 0;
    // The streams of a stage being loaded, for players of these cat kinds:
    // read back in the replay modes (the user's record in mode 11, the
    // built-in demo replays of each player's kind in modes 12 and 16), empty
    // ones to record into in the time-attack modes 9 and 10. Null when there
    // are none.
    virtual std::unique_ptr<ReplayStreams> OpenStreams(int mode, int stageNumber,
                                                       const std::vector<int32_t>& playerKinds) = 0;
    // Stores a packed recording: as the user's record of the stage in mode
    // 9, as its built-in demo replay in mode 10. withSave, when given, is the
    // save that holds the run's new best time: it is stored in the same
    // commit, so the replay and the record it belongs to are kept together
    // or not at all. True when it is stored (also when not yet whole on the
    // disk: the next store or start finishes it, and the player is told);
    // false when it is not, with a line to the player: the replay (and
    // save) stored before are kept whole. A caller keeps the run's best
    // time only with a replay stored.
    virtual bool SaveStreams(const StoredReplay& stored, int mode, int stageNumber, const SaveData* withSave) = 0;
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
