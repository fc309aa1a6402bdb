// The media control interface through which music plays MIDI files: the
// "sequencer" device, opened on a file, queried, played with a notification
// to the main window at the end, and closed. One sequencer device is open
// at a time; its output is synthesised and mixed into the sound device, so
// it needs the sound system open.
#pragma once
#include <cstddef>
#include <cstdint>

namespace morpotta {

// Commands.
constexpr uint32_t MCI_OPEN = 0x01;
constexpr uint32_t MCI_CLOSE = 0x02;
constexpr uint32_t MCI_PLAY = 0x03;
constexpr uint32_t MCI_STATUS = 0x04;

// Flags.
constexpr uint32_t MCI_NOTIFY = 0x0001;  // post MM_MCINOTIFY to the callback window when done
constexpr uint32_t MCI_WAIT = 0x0002;    // not served: music never blocks
constexpr uint32_t MCI_FROM = 0x0004;
constexpr uint32_t MCI_TO = 0x0008;      // not served
constexpr uint32_t MCI_OPEN_TYPE = 0x0100;
constexpr uint32_t MCI_OPEN_ELEMENT = 0x0200;
constexpr uint32_t MCI_STATUS_ITEM = 0x0400;

// Status items.
constexpr uint32_t MCI_STATUS_MODE = 0x01;
constexpr uint32_t MCI_SEQ_STATUS_PORT = 0x02;
constexpr uint32_t MCI_MODE_STOP = 1;
constexpr uint32_t MCI_MODE_PLAY = 2;
constexpr uint32_t MCI_SEQ_MAPPER = 0xFFFF;  // the port answer for the MIDI mapper

// The notification: message MM_MCINOTIFY, wParam a notify code, lParam the
// device id.
constexpr uint32_t MM_MCINOTIFY = 0x3B9;
constexpr uintptr_t MCI_NOTIFY_SUCCESSFUL = 1;

// Results: 0 on success, else one of these.
constexpr uint32_t kMciErrorInvalidDeviceId = 1;
constexpr uint32_t kMciErrorUnknownDeviceType = 2;
constexpr uint32_t kMciErrorMissingParameter = 3;
constexpr uint32_t kMciErrorUnsupportedFunction = 4;
constexpr uint32_t kMciErrorFileNotFound = 5;
constexpr uint32_t kMciErrorInvalidFile = 6;
constexpr uint32_t kMciErrorDeviceBusy = 7;  // a sequencer is open already
constexpr uint32_t kMciErrorNoOutput = 8;    // the sound device is closed

struct MciGenericParams {
    void* callback;  // window for MCI_NOTIFY
};

struct MciOpenParams {
    void* callback;
    uint32_t deviceId;        // out
    const char* deviceType;   // "sequencer"
    const char* elementName;  // the host path of the file
};

struct MciStatusParams {
    void* callback;
    uint32_t returnValue;  // out
    uint32_t item;
};

struct MciPlayParams {
    void* callback;
    uint32_t from;  // milliseconds
    uint32_t to;
};

using MciCommandFunction = uint32_t (*)(uint32_t deviceId, uint32_t message, uint32_t flags, void* params);
// The entry music sends its commands through (SendMciCommand).
extern MciCommandFunction MciSendCommandEntry;
uint32_t SendMciCommand(uint32_t deviceId, uint32_t message, uint32_t flags, void* params);
// Closes the open device, if any (sound shut-down).
void CloseAllMciDevices();
// The open device's output level in hundredths of a decibel (0 full,
// -10000 silent), as a MIDI output's volume is set beside the commands; a
// device opens at full level. Nothing while none is open.
void SetSequencerVolume(int hundredthsDb);

// 1 when image is a Standard MIDI File whose header and chunks lie within
// size bytes, with at least one track.
int IsPlayableMidiImage(const void* image, size_t size);

}  // namespace morpotta
