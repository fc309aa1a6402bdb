// The game's one road to sound effects and music. Play logic calls these
// instead of the engine directly, so a test can put a recorder in place of
// the device and check which sounds a frame asked for.
#pragma once
#include <functional>

namespace gamesound {

// What a frame asked of the sound side: an effect handle played (with the
// engine's play type and from-top flag), or a music file / looping sound.
struct Call {
    enum Kind { kPlayHandle, kStopHandle, kPlayMusicFile, kStopMusic, kSetMusicVolume } kind;
    int handle;      // sound handle (kPlayHandle, kStopHandle)
    int playType;    // 1 back ground, 3 loop ...; kSetMusicVolume: the volume
    int fromTop;
    const char* file;  // kPlayMusicFile: path under "tpa\Music\"; else null
};

using Recorder = std::function<void(const Call&)>;

// With a recorder set, every call below is handed to it and nothing reaches
// the engine; an empty recorder restores the engine.
void SetRecorder(Recorder recorder);

int PlayHandle(int handle, int playType, int fromTop = 1);
int StopHandle(int handle);
int PlayMusicFile(const char* file, int playType);
int StopMusic();
// Volume of the music, 0..255.
int SetMusicVolume(int volume);

}  // namespace gamesound
