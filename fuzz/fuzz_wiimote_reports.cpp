// Fuzz target for the Wii remote driver's report decoding: a broken or
// hostile remote may send any bytes. The first kSetupBytes of an input set
// up what the driver knows of the remote (calibrations, extension, camera
// mode, pending probes and dead zones); the rest is a run of 22-byte input
// reports decoded in turn, with the change callback reading the public
// record as a program does. No device is open: whatever the decoder sends
// back fails quietly, and sleeping runs on the virtual clock.
#include "platform/clock.h"
#include "wiiremote/wiimote.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

using namespace morpotta;

namespace {

constexpr size_t kSetupBytes = 64;

float DeadZone(uint8_t byte) { return float(byte) / 200.0f; }  // also beyond 1, as a program may set

void SetUp(Wiimote& remote, const uint8_t* s) {
    std::lock_guard lock(remote.StateLock);
    WiimoteState& live = remote.Live;
    std::memcpy(&live.AccelCal, s, 6);
    std::memcpy(&live.NunchukAccelCal, s + 6, 6);
    std::memcpy(live.NunchukStickCal, s + 12, 6);
    std::memcpy(live.ClassicStickCal, s + 18, 12);
    std::memcpy(live.ClassicTriggerCal, s + 30, 4);
    std::memcpy(live.BoardCal, s + 34, 24);
    live.ExtensionConnected = s[58] & 1;
    live.ExtensionType = WiimoteExtension(s[59] % 8);
    static const IrCameraMode kModes[] = {IrOff, IrBasic, IrExtended, IrBasic};
    live.IrMode = kModes[s[60] & 3];
    remote.MotionPlusProbePending = s[61] & 1;
    remote.MotionPlusEnabled = s[61] & 2;
    remote.MotionPlusDetected = s[61] & 4;
    remote.MotionPlusPassThroughPlugged = s[61] & 8;
    remote.CaptureBoardRestOffsets = s[61] & 16;
    remote.ReportMode = 0x30 + (s[62] & 7);
    for (StickReading* stick : {&remote.State.NunchukStick, &remote.State.ClassicLeftStick,
                                &remote.State.ClassicRightStick}) {
        stick->DeadZoneX = DeadZone(s[63]);
        stick->DeadZoneY = DeadZone(uint8_t(s[63] * 7));
    }
}

// Reads the public record as a program would, and checks what must hold
// whatever came in: finite readings and dot positions inside the camera.
void ReadRecord(const WiimoteState& s) {
    for (const IrDot& dot : s.IrDots)
        if (dot.Visible && (dot.RawX > 1023 || dot.RawY > 1023)) std::abort();
    const float readings[] = {s.NunchukStick.X, s.NunchukStick.Y, s.ClassicLeftStick.X, s.ClassicRightStick.Y,
                              s.LeftTrigger,    s.RightTrigger,   s.Accel.Pitch,        s.Accel.Roll};
    for (float v : readings)
        if (std::isnan(v)) std::abort();
}

void OnChange(Wiimote& remote, uint32_t) { ReadRecord(remote.State); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platform::UseVirtualClock(true);
    SetWiimoteTraceSink([](const char*) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kSetupBytes) return 0;
    Wiimote remote;
    SetUp(remote, data);
    remote.ChangeCallback = (data[62] & 8) ? OnChange : nullptr;
    for (size_t at = kSetupBytes; at + Wiimote::kReportSize <= size; at += Wiimote::kReportSize)
        remote.DispatchInputReport(data + at);
    remote.TakeStateSnapshot();
    ReadRecord(remote.State);
    return 0;
}
