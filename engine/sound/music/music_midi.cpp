// MIDI music: a music handle's bytes are written to a temporary file and
// played by the MCI sequencer, which notifies the main window at the end;
// the notification restarts looping music or closes the device.
#include "engine/files.h"
#include "engine/log.h"
#include "engine/music.h"
#include "engine/sound.h"
#include "engine/window.h"
#include "foundation/engine_thread.h"
#include "foundation/window_internal.h"
#include "platform/clock.h"
#include "sound/mci/mci.h"
#include "sound/music/music_internal.h"

#include <cstdio>

using namespace morpotta;

namespace {

// A fresh temporary file holding the music's bytes; false when none can be
// made or written.
bool WriteMusicTempFile(const MusicEntry* entry) {
    MusicModule& m = Music();
    DeleteMusicTempFile();
    std::FILE* file = CreateTempFile(m.tempPath, sizeof(m.tempPath));
    if (!file) {
        m.tempPath[0] = 0;
        return false;
    }
    size_t written = std::fwrite(entry->image, 1, size_t(entry->imageSize), file);
    bool closed = std::fclose(file) == 0;
    if (written == size_t(entry->imageSize) && closed) return true;
    Refuse("the music could not be written to its temporary file %s", m.tempPath);
    return false;
}

void CloseSequencer() {
    MusicModule& m = Music();
    MciSendCommandEntry(m.mciDeviceId, MCI_CLOSE, 0, nullptr);
}

// Opens the sequencer on the temporary file and checks its output port;
// -1 (device closed) on failure.
int OpenSequencer() {
    MusicModule& m = Music();
    MciOpenParams open{};
    open.deviceType = "sequencer";
    open.elementName = m.tempPath;
    if (MciSendCommandEntry(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &open) != 0) {
        DeleteMusicTempFile();
        return Refuse("the music is no MIDI file the sequencer plays");
    }
    m.mciDeviceId = open.deviceId;
    MciStatusParams status{};
    status.item = MCI_SEQ_STATUS_PORT;
    if (MciSendCommandEntry(m.mciDeviceId, MCI_STATUS, MCI_STATUS_ITEM, &status) != 0) {
        CloseSequencer();
        Refuse("ＭＩＤＩ演奏開始処理でエラーが起きました１");
        DeleteMusicTempFile();
        return -1;
    }
    if ((status.returnValue & 0xFFFF) != MCI_SEQ_MAPPER) {
        CloseSequencer();
        Refuse("ＭＩＤＩ演奏開始処理でエラーが起きました２");
        return -1;
    }
    return 0;
}

}  // namespace

int PlayMidiMusic(int handle, int playType) {
    const PublicCall call("PlayMidiMusic");
    if (!AllowOnlyOnEngineThread()) return -1;
    MusicModule& m = Music();
    MusicEntry* entry = GetMusicForCall(handle);
    if (!entry) return -1;
    if (LookupMusic(m.lastMidiHandle)) StopMidiMusic(m.lastMidiHandle);
    // Stopping ran message processing: the handle may be gone.
    entry = LookupMusic(handle);
    if (!entry) return -1;
    if (!WriteMusicTempFile(entry)) {
        DeleteMusicTempFile();
        return -1;
    }
    if (OpenSequencer() != 0) return -1;
    MciPlayParams play{};
    play.callback = GetAppWindowHandle();
    if (MciSendCommandEntry(m.mciDeviceId, MCI_PLAY, MCI_NOTIFY, &play) != 0) {
        CloseSequencer();
        return Refuse("ＭＩＤＩ演奏に失敗しました");
    }
    m.tempFileExists = 1;
    m.mciPlaying = 1;
    m.lastMidiHandle = handle;
    m.loop = playType == kPlayTypeLoop ? 1 : 0;
    if (playType == kPlayTypeNormal) {
        while (ProcessWindowMessagesCore() == 0 && GetMusicPlayState(handle) == 1) platform::SleepMilliseconds(1);
        if (m.tempFileExists) DeleteMusicTempFile();
    }
    return 0;
}

namespace morpotta {

int HandleMidiMciNotify() {
    MusicModule& m = Music();
    if (m.loop) {
        MciPlayParams play{};
        play.callback = GetAppWindowHandle();
        play.from = 0;
        if (MciSendCommandEntry(m.mciDeviceId, MCI_PLAY, MCI_NOTIFY | MCI_FROM, &play) == 0) {
            m.mciPlaying = 1;
            return 0;
        }
        // The piece cannot start again: close the device rather than report
        // music that no longer plays.
        m.loop = 0;
        CloseSequencer();
        m.mciPlaying = 0;
        return 0;
    }
    if (m.mciPlaying) {
        CloseSequencer();
        m.mciPlaying = 0;
    }
    return 0;
}

}  // namespace morpotta

int StopMidiMusic(int handle) {
    const PublicCall call("StopMidiMusic");
    if (!AllowOnlyOnEngineThread()) return -1;
    MusicModule& m = Music();
    if (!GetMusicForCall(handle)) return -1;
    m.loop = 0;
    HandleMidiMciNotify();
    for (int i = 0; i < kMusicStopPasses; ++i) ProcessWindowMessagesCore();
    if (m.tempFileExists) DeleteMusicTempFile();
    return 0;
}

namespace morpotta {

int PollMidiPlayState() { return IsSoundSystemOpen() ? 0 : -1; }

}  // namespace morpotta
