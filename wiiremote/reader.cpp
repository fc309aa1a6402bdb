// The read thread: waits for input reports (at most 500 ms at a time, so the
// once-a-second status request, which doubles as the liveness probe, and the
// loss check keep running), decodes each one, and turns a failed device into
// a disconnect with one ConnectionLost callback.
#include <cstring>

#include "platform/clock.h"
#include "platform/hid.h"
#include "platform/thread.h"
#include "wiiremote/wiimote.h"
#include "wiimote_clock.h"

namespace platform = morpotta::platform;

void Wiimote::QueueNextRead() {
    if (!DeviceHandle || ReadThread.joinable()) return;
    try {
        ReadThread = std::thread(&Wiimote::ReaderThreadMain, this);
    } catch (const std::system_error&) {
        WiimoteTrace("* couldn't create read thread! *");
    }
}

void Wiimote::ReaderThreadMain() {
    ReadThreadId = std::this_thread::get_id();
    platform::SetCurrentThreadName("wiimote-read");
    platform::SetCurrentThreadPriority(platform::ThreadPriority::High);
    bool lost = false;
    while (!StopThreads) {
        if (ConnectionLost) {
            lost = true;
            break;
        }
        uint64_t now = WiimoteNowMs();
        if (Connected && now > NextStatusTime) {
            SendStatusRequest();
            NextStatusTime = now + 1000;
        }
        // The device stays open while this thread runs: it is closed only
        // after this thread was joined, or by this thread itself.
        platform::HidDevice device = DeviceHandle;
        if (!device) break;
        uint8_t report[kReportSize] = {};
        int got = platform::Hid().read(device, report, kReportSize, 500);
        if (got < 0) {
            lost = !StopThreads;
            break;
        }
        // An empty completion delivers nothing; the loop simply reads again.
        if (got > 0) DispatchInputReport(report);
    }
    if (lost) HandleConnectionLoss();
    WiimoteTrace("(ending read thread)");
    ReadThreadId = std::thread::id{};
}

void Wiimote::HandleConnectionLoss() {
    WiimoteTrace("read thread: connection to wiimote was lost");
    // The owner may be disconnecting at the same moment; then it reports nothing.
    if (!CloseDevice(false)) return;
    std::lock_guard lock(StateLock);
    PendingChanges |= WiimoteChange::ConnectionLost;
    WiimoteChangeCallback callback = ChangeCallback;
    if (callback && (CallbackMask & WiimoteChange::ConnectionLost)) {
        State.CopyKeepingDeadZones(Live);
        callback(*this, WiimoteChange::ConnectionLost);
    }
}
