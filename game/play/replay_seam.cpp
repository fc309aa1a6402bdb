#include "game/play/replay_seam.h"

namespace {
ReplaySource* activeSource = nullptr;
}

void SetReplaySource(ReplaySource* source) { activeSource = source; }
ReplaySource* GetReplaySource() { return activeSource; }
