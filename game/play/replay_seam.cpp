#include "game/play/replay_seam.h"

namespace {
ReplaySource* activeSource = nullptr;
}

void SetReplaySource(ReplaySource* source) { activeSource = source; }
ReplaySource* GetReplaySource() { return activeSource; }

void StoredReplay::Pack(const ReplayStreams& recording, ReplayStreams::Stream stream) {
    if (text.empty()) {
        playerKinds = recording.PlayerKinds();
        text.resize(playerKinds.size());
    }
    for (size_t p = 0; p < text.size(); ++p) text[p][size_t(stream)] = recording.StoredText(int(p), stream);
}
