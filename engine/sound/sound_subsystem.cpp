// The sound subsystem's entries in the engine's life cycle and message
// processing: sound start and end, the music that stops first at shut-down,
// and the per-pass work of music and stream sounds.
#include "engine/log.h"
#include "engine/music.h"
#include "foundation/subsystems.h"
#include "sound/mci/mci.h"
#include "sound/music/music_internal.h"
#include "sound/sound_internal.h"

namespace morpotta {

namespace {

void StartSound() {
    // A host without sound output still runs the program, silent: said once here.
    if (InitializeSoundSystem() != 0) WriteLogText("No sound output: the program runs without sound");
}
void EndSound() { TerminateSoundSystem(); }
void StopMusic() { StopCurrentMusic(); }
void PollMusic() { PollMidiPlayState(); }
void RefillStreams() { RefillStreamSounds(); }
void UpdatePlayers() { UpdateSoftSoundPlayers(); }

// The sequencer's end notification, posted to the main window.
void HandlePostedMessage(uint32_t message, uintptr_t, intptr_t) {
    if (message == MM_MCINOTIFY) HandleMidiMciNotify();
}

const EngineSubsystem kSound = {
    .name = "sound",
    .startSound = StartSound,
    .stopMusic = StopMusic,
    .endSound = EndSound,
    .handlePostedMessage = HandlePostedMessage,
    .pollMusic = PollMusic,
    .refillStreamSounds = RefillStreams,
    .updateSoftSoundPlayers = UpdatePlayers,
    .stopBeforeProcessEnd = StopSoundBeforeProcessEnd,
};

}  // namespace

void RegisterSoundSubsystem() { RegisterEngineSubsystem(&kSound); }

}  // namespace morpotta
