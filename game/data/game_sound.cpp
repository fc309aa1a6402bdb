#include "game/data/game_sound.h"

#include "engine/music.h"
#include "engine/sound.h"

#include <utility>

namespace gamesound {
namespace {
Recorder& ActiveRecorder() {
    static Recorder recorder;
    return recorder;
}
}  // namespace

void SetRecorder(Recorder recorder) { ActiveRecorder() = std::move(recorder); }

int PlayHandle(int handle, int playType, int fromTop) {
    if (auto& r = ActiveRecorder()) {
        r(Call{Call::kPlayHandle, handle, playType, fromTop, nullptr});
        return 0;
    }
    return PlaySoundHandle(handle, playType, fromTop);
}

int StopHandle(int handle) {
    if (auto& r = ActiveRecorder()) {
        r(Call{Call::kStopHandle, handle, 0, 0, nullptr});
        return 0;
    }
    return StopSoundHandle(handle);
}

int PlayMusicFile(const char* file, int playType) {
    if (auto& r = ActiveRecorder()) {
        r(Call{Call::kPlayMusicFile, 0, playType, 1, file});
        return 0;
    }
    return ::PlayMusicFile(file, playType);
}

int StopMusic() {
    if (auto& r = ActiveRecorder()) {
        r(Call{Call::kStopMusic, 0, 0, 0, nullptr});
        return 0;
    }
    return StopCurrentMusic();
}

int SetMusicVolume(int volume) {
    if (auto& r = ActiveRecorder()) {
        r(Call{Call::kSetMusicVolume, 0, volume, 0, nullptr});
        return 0;
    }
    return ::SetMusicVolume(volume);
}

}  // namespace gamesound
