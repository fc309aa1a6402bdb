// The game's music: PlayMusicFile tries MIDI first and falls back to a
// stream sound that keeps the file's encoded bytes in memory; one current
// music at a time.
#include "engine/music.h"
#include "engine/sound.h"
#include "foundation/engine_thread.h"
#include "foundation/log_internal.h"
#include "sound/mci/mci.h"
#include "sound/music/music_internal.h"
#include "sound/sound_internal.h"

using namespace morpotta;

namespace {

constexpr int kMusicSoundCreateType = 2;  // stream over the encoded bytes

void DeleteCurrentMusic() {
    MusicModule& m = Music();
    if (!m.currentMusic) return;
    if (m.playedAsSound)
        DeleteSoundHandle(m.currentMusic, 0);
    else
        DeleteMusicHandle(m.currentMusic);
    m.currentMusic = 0;
}

// The settings of other loads are left alone: a loader may be loading a
// sound of its own meanwhile.
int LoadMusicAsSound(const char* fileName) {
    SoundLoadSettings settings = CurrentSoundLoadSettings();
    settings.createType = kMusicSoundCreateType;
    return CreateSoundHandleFromFileWith(fileName, 1, settings);
}

}  // namespace

int PlayMusicFile(const char* fileName, int playType) {
    const PublicCall call("PlayMusicFile");
    if (!AllowOnlyOnEngineThread()) return -1;
    MusicModule& m = Music();
    if (!CheckSoundOpen()) return -1;
    DeleteCurrentMusic();
    int music = LoadMusicMem(fileName);
    if (music == -1) return -1;
    m.currentMusic = music;
    m.playedAsSound = 0;
    {
        // Music that is no MIDI plays as a sound: the sequencer's refusal is
        // no refusal of this call, but for a MIDI file, which is no sound.
        InnerAttempt asMidi;
        if (PlayMidiMusic(music, playType) == 0) return 0;
        const MusicEntry* entry = LookupMusic(music);
        const bool midi = entry && IsPlayableMidiImage(entry->image, size_t(entry->imageSize));
        DeleteMusicHandle(music);
        m.currentMusic = 0;
        if (midi) return asMidi.RefuseCall("the sequencer could not play %s", fileName);
    }
    int sound = LoadMusicAsSound(fileName);
    if (sound == -1) return -1;
    m.currentMusic = sound;
    m.playedAsSound = 1;
    PlaySoundHandle(sound, playType, 1);
    return 0;
}

int StopCurrentMusic() {
    const PublicCall call("StopCurrentMusic");
    if (!AllowOnlyOnEngineThread()) return -1;
    MusicModule& m = Music();
    if (!m.currentMusic) return 0;
    if (m.playedAsSound) {
        StopSoundHandle(m.currentMusic);
        DeleteSoundHandle(m.currentMusic, 0);
    } else {
        StopMidiMusic(m.currentMusic);
        DeleteMusicHandle(m.currentMusic);
    }
    m.currentMusic = 0;
    return 0;
}

int SetMusicVolume(int volume) {
    const PublicCall call("SetMusicVolume");
    if (!AllowOnlyOnEngineThread()) return -1;
    MusicModule& m = Music();
    if (!CheckSoundOpen()) return -1;
    // MIDI music takes the volume a sound would, on the same curve; the
    // next piece starts at full, as a new sound does.
    if (m.currentMusic && m.playedAsSound)
        SetSoundVolume(volume, m.currentMusic);
    else
        SetSequencerVolume(VolumeToHundredthsDb(volume));
    return 0;
}
