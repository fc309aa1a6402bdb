// The remote's state record, the snapshot into the public copy, and object
// construction and destruction.
#include <cstring>

#include "platform/hid.h"
#include "wiiremote/wiimote.h"

namespace platform = morpotta::platform;

namespace {

struct DeadZones {
    float values[6];
};

DeadZones SaveDeadZones(const WiimoteState& s) {
    return {{s.NunchukStick.DeadZoneX, s.NunchukStick.DeadZoneY, s.ClassicLeftStick.DeadZoneX,
             s.ClassicLeftStick.DeadZoneY, s.ClassicRightStick.DeadZoneX, s.ClassicRightStick.DeadZoneY}};
}

void RestoreDeadZones(WiimoteState& s, const DeadZones& d) {
    s.NunchukStick.DeadZoneX = d.values[0];
    s.NunchukStick.DeadZoneY = d.values[1];
    s.ClassicLeftStick.DeadZoneX = d.values[2];
    s.ClassicLeftStick.DeadZoneY = d.values[3];
    s.ClassicRightStick.DeadZoneX = d.values[4];
    s.ClassicRightStick.DeadZoneY = d.values[5];
}

std::atomic<int> objectCount{0};

}  // namespace

void WiimoteState::Clear() {
    DeadZones keep = SaveDeadZones(*this);
    *this = WiimoteState{};
    RestoreDeadZones(*this, keep);
}

void WiimoteState::CopyKeepingDeadZones(const WiimoteState& other) {
    DeadZones keep = SaveDeadZones(*this);
    *this = other;
    RestoreDeadZones(*this, keep);
}

Wiimote::Wiimote() {
    if (objectCount.fetch_add(1) == 0) {
        if (platform::Hid().sendOutputReport) WiimoteTrace("OS supports HID writes.");
        else WiimoteTrace("OS doesn't support HID writes.");
    }
}

Wiimote::~Wiimote() {
    Disconnect();
    // A read thread that ended on its own after a lost connection.
    if (ReadThread.joinable()) ReadThread.join();
    StopHelperThreads();
    objectCount.fetch_sub(1);
}

uint32_t Wiimote::TakeStateSnapshot() {
    std::lock_guard lock(StateLock);
    if (PendingChanges == 0) return 0;
    State.CopyKeepingDeadZones(Live);
    uint32_t changes = PendingChanges;
    PendingChanges = 0;
    return changes;
}

bool Wiimote::IsBalanceBoardConnected() {
    std::lock_guard lock(StateLock);
    return Live.ExtensionConnected && Live.ExtensionType == ExtensionBalanceBoard;
}

WiimoteExtension Wiimote::CurrentExtension() {
    std::lock_guard lock(StateLock);
    return Live.ExtensionConnected ? Live.ExtensionType : ExtensionNone;
}
