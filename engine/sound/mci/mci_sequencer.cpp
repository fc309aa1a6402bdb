// The "sequencer" device behind MciSendCommandEntry. It serves what music
// asks of it: open on a MIDI file, the status of the output port and the
// play mode, play from the start or on with a notification, and close;
// beside the commands, the output's volume, as a MIDI output offers it. The
// piece is synthesised by the platform's MIDI back end inside the sound
// device's mix, so it runs on the output's clock; the end of the piece is
// seen on the output's thread and posted to the main window.
//
// Lock order: the device's mix lock, then this module's lock, then the
// posted-message queue. Nothing here calls into the device while holding
// this module's lock.
#include "engine/log.h"
#include "foundation/host_path.h"
#include "foundation/posted_messages.h"
#include "platform/lasting_state.h"
#include "platform/midi.h"
#include "sound/device/sound_device.h"
#include "sound/device/sound_mixer.h"
#include "sound/mci/mci.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <strings.h>
#include <vector>

namespace morpotta {

MciCommandFunction MciSendCommandEntry = SendMciCommand;

namespace {

constexpr int64_t kMaxMidiFileBytes = 16 * 1024 * 1024;
constexpr int kScaledChunkFrames = 256;

struct Sequencer {
    std::mutex mutex;
    const platform::MidiBackend* backend = nullptr;  // non-null while open
    uint32_t deviceId = 0;
    uint32_t lastDeviceId = 0;
    bool playing = false;
    bool played = false;  // the position has left the start
    void* notifyWindow = nullptr;  // non-null while a notification is due
    int32_t gain = kMixUnityGain;  // Q16 output level of the open device
};

Sequencer& TheSequencer() {
    return platform::LastingState<Sequencer>();
}

void PostNotify(Sequencer& s) {
    if (!s.notifyWindow) return;
    PostEngineMessage(s.notifyWindow, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, intptr_t(s.deviceId));
    s.notifyWindow = nullptr;
}

// The back end's output at the device's level: at full level straight into
// the mix, else a piece at a time through a buffer of its own. 1 when the
// piece reached its end.
int RenderAtLevel(const Sequencer& s, int32_t* accumulator, int frames) {
    if (s.gain == kMixUnityGain) return s.backend->render(accumulator, frames);
    int ended = 0;
    int32_t piece[2 * kScaledChunkFrames];
    for (int done = 0; done < frames; done += kScaledChunkFrames) {
        const int n = std::min(kScaledChunkFrames, frames - done);
        std::fill(piece, piece + 2 * n, 0);
        ended |= s.backend->render(piece, n) == 1;
        int32_t* out = accumulator + 2 * done;
        for (int i = 0; i < 2 * n; ++i) out[i] += int32_t((int64_t(piece[i]) * s.gain) >> 16);
    }
    return ended;
}

// The device's mix source: runs on the output's thread.
void RenderSequencer(void*, int32_t* accumulator, int frames) {
    Sequencer& s = TheSequencer();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.backend) return;
    if (RenderAtLevel(s, accumulator, frames) == 1 && s.playing) {
        s.playing = false;
        PostNotify(s);
    }
}

uint32_t Open(uint32_t flags, MciOpenParams* p) {
    if (!(flags & MCI_OPEN_TYPE) || !p->deviceType) return kMciErrorMissingParameter;
    if (strcasecmp(p->deviceType, "sequencer") != 0) return kMciErrorUnknownDeviceType;
    if (!(flags & MCI_OPEN_ELEMENT) || !p->elementName) {
        WriteLogText("The MIDI sequencer opens only on a file");
        return kMciErrorMissingParameter;
    }
    // Asked before taking this module's lock: the device's lock comes first.
    int rate = IsSoundDeviceOpen() ? GetSoundDeviceOutputRate() : 0;
    if (rate <= 0) return kMciErrorNoOutput;
    std::vector<uint8_t> image;
    // Regular files only: a FIFO at the path is refused, not waited on.
    if (!ReadWholeHostFile(p->elementName, kMaxMidiFileBytes, &image)) return kMciErrorFileNotFound;
    if (!IsPlayableMidiImage(image.data(), image.size())) return kMciErrorInvalidFile;
    Sequencer& s = TheSequencer();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.backend) {
            WriteLogText("The MIDI sequencer plays one file at a time");
            return kMciErrorDeviceBusy;
        }
        const platform::MidiBackend& backend = platform::Midi();
        if (backend.open(image.data(), image.size(), rate) != 0) {
            WriteLogFormat("The MIDI synthesiser (%s) cannot play %s", backend.name, p->elementName);
            return kMciErrorInvalidFile;
        }
        s.backend = &backend;
        s.deviceId = ++s.lastDeviceId == 0 ? ++s.lastDeviceId : s.lastDeviceId;
        s.playing = false;
        s.played = false;
        s.notifyWindow = nullptr;
        s.gain = kMixUnityGain;
        p->deviceId = s.deviceId;
    }
    SetDeviceMixSource(RenderSequencer, nullptr);
    return 0;
}

uint32_t Close(uint32_t deviceId) {
    Sequencer& s = TheSequencer();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.backend || deviceId != s.deviceId) return kMciErrorInvalidDeviceId;
    }
    // Off the mix first, so that the back end is never closed mid-render.
    SetDeviceMixSource(nullptr, nullptr);
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.backend) return kMciErrorInvalidDeviceId;
    s.backend->stop();
    s.backend->close();
    s.backend = nullptr;
    s.deviceId = 0;
    s.playing = false;
    s.notifyWindow = nullptr;  // a notification still due is dropped
    return 0;
}

uint32_t Status(Sequencer& s, uint32_t flags, MciStatusParams* p) {
    if (!(flags & MCI_STATUS_ITEM)) return kMciErrorMissingParameter;
    switch (p->item) {
    case MCI_SEQ_STATUS_PORT:
        p->returnValue = MCI_SEQ_MAPPER;  // the synthesiser stands where the mapper would
        return 0;
    case MCI_STATUS_MODE:
        p->returnValue = s.playing ? MCI_MODE_PLAY : MCI_MODE_STOP;
        return 0;
    default:
        WriteLogFormat("MIDI sequencer status item %u is not served", unsigned(p->item));
        return kMciErrorUnsupportedFunction;
    }
}

uint32_t Play(Sequencer& s, uint32_t flags, MciPlayParams* p) {
    if (flags & (MCI_WAIT | MCI_TO)) {
        WriteLogText("MIDI play with a wait or an end point is not served");
        return kMciErrorUnsupportedFunction;
    }
    bool fromStart = (flags & MCI_FROM) ? p->from == 0 : !s.played;
    if (flags & MCI_FROM && p->from != 0) {
        WriteLogText("MIDI play from inside the piece is not served");
        return kMciErrorUnsupportedFunction;
    }
    // A new notification replaces one still due.
    s.notifyWindow = (flags & MCI_NOTIFY) ? p->callback : nullptr;
    if (fromStart) {
        if (s.backend->play(0) != 0) {
            s.notifyWindow = nullptr;
            return kMciErrorInvalidFile;
        }
        s.playing = true;
        s.played = true;
    } else if (!s.playing) {
        PostNotify(s);  // at the end already: nothing left to play
    }
    return 0;
}

}  // namespace

uint32_t SendMciCommand(uint32_t deviceId, uint32_t message, uint32_t flags, void* params) {
    if (message == MCI_OPEN) return params ? Open(flags, static_cast<MciOpenParams*>(params)) : kMciErrorMissingParameter;
    if (message == MCI_CLOSE) return Close(deviceId);
    Sequencer& s = TheSequencer();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.backend || deviceId != s.deviceId) return kMciErrorInvalidDeviceId;
    if (!params) return kMciErrorMissingParameter;
    switch (message) {
    case MCI_STATUS:
        return Status(s, flags, static_cast<MciStatusParams*>(params));
    case MCI_PLAY:
        return Play(s, flags, static_cast<MciPlayParams*>(params));
    default:
        WriteLogFormat("MCI command %u is not served by the MIDI sequencer", unsigned(message));
        return kMciErrorUnsupportedFunction;
    }
}

void SetSequencerVolume(int hundredthsDb) {
    int32_t gain, unused;
    ComputeMixGains(std::clamp(hundredthsDb, -10000, 0), 0, &gain, &unused);
    Sequencer& s = TheSequencer();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.backend) s.gain = gain;
}

void CloseAllMciDevices() {
    uint32_t id;
    {
        Sequencer& s = TheSequencer();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.backend) return;
        id = s.deviceId;
    }
    Close(id);
}

}  // namespace morpotta
