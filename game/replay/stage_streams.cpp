#include "game/replay/stage_streams.h"

#include "game/replay/replay_format.h"

namespace replay {

std::unique_ptr<StageStreams> StageStreams::ForRecording(const std::vector<int32_t>& playerKinds) {
    auto s = std::make_unique<StageStreams>();
    s->kinds_ = playerKinds;
    for (size_t p = 0; p < playerKinds.size(); ++p) s->recorders_.emplace_back(int(p));
    return s;
}

std::unique_ptr<StageStreams> StageStreams::ForPlayback(const std::vector<int32_t>& playerKinds,
                                                        std::vector<PlayerStreams> streams) {
    auto s = std::make_unique<StageStreams>();
    s->kinds_ = playerKinds;
    for (PlayerStreams& player : streams)
        s->playbacks_.emplace_back(std::make_shared<const PlayerStreams>(std::move(player)));
    return s;
}

std::unique_ptr<ReplayStreams> StageStreams::Clone() const { return std::make_unique<StageStreams>(*this); }

void StageStreams::RecordFrame(int frame, int player, const PlayerInput& input) {
    if (player >= 0 && size_t(player) < recorders_.size()) recorders_[size_t(player)].Record(frame, input);
}

void StageStreams::FinishFrame(int player, const PlayerInput& input) {
    if (player >= 0 && size_t(player) < recorders_.size()) recorders_[size_t(player)].Finish(input);
}

PlayerInput StageStreams::PlayFrame(int frame, int player) {
    if (player < 0 || size_t(player) >= playbacks_.size()) return {};
    return playbacks_[size_t(player)].Play(frame);
}

const PlayerStreams* StageStreams::Player(int player) const {
    if (player < 0) return nullptr;
    if (size_t(player) < recorders_.size()) return &recorders_[size_t(player)].streams();
    if (size_t(player) < playbacks_.size()) return &playbacks_[size_t(player)].streams();
    return nullptr;
}

std::string StageStreams::StoredText(int player, Stream stream) const {
    const PlayerStreams* s = Player(player);
    return s && stream >= 0 && stream < kStreamCount ? replay::StoredText(*s, stream) : std::string();
}

}  // namespace replay
