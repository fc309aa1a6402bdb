// A stage's replay streams: a recorder per player in the time-attack
// modes, a playback per player in the replay modes. Each player's state is
// its own and starts afresh with the stage.
#pragma once
#include "game/play/replay_seam.h"
#include "game/replay/replay_playback.h"
#include "game/replay/replay_recorder.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace replay {

class StageStreams : public ReplayStreams {
public:
    // One recorder per player of these kinds.
    static std::unique_ptr<StageStreams> ForRecording(const std::vector<int32_t>& playerKinds);
    // One playback per player; players beyond `streams` play nothing.
    static std::unique_ptr<StageStreams> ForPlayback(const std::vector<int32_t>& playerKinds,
                                                     std::vector<PlayerStreams> streams);

    std::unique_ptr<ReplayStreams> Clone() const override;
    void RecordFrame(int frame, int player, const PlayerInput& input) override;
    void FinishFrame(int player, const PlayerInput& input) override;
    PlayerInput PlayFrame(int frame, int player) override;
    const std::vector<int32_t>& PlayerKinds() const override { return kinds_; }
    std::string StoredText(int player, Stream stream) const override;

    // A player's streams as recorded or read; null for no such player.
    const PlayerStreams* Player(int player) const;

private:
    std::vector<int32_t> kinds_;
    std::vector<ReplayRecorder> recorders_;
    std::vector<ReplayPlayback> playbacks_;
};

}  // namespace replay
