// Discovery and connection: finds Wii remotes among the HID devices, opens
// one, proves that output reaches it (plain writes first, then the
// output-report path), and brings it to a known state. Also the teardown,
// which joins every thread before the device is closed.
#include <algorithm>
#include <type_traits>

#include "platform/clock.h"
#include "platform/hid.h"
#include "wiiremote/wiimote.h"
#include "wiimote_clock.h"

namespace platform = morpotta::platform;

// The driver keeps the platform's device handle in its own record.
static_assert(std::is_same_v<platform::HidDevice, intptr_t>);

namespace {

constexpr uint16_t kVendorId = 0x057E;
constexpr uint16_t kProductId = 0x0306;
constexpr int kMaxDevices = 64;

}  // namespace

bool Wiimote::Connect(int number) {
    if (number == -1) WiimoteTrace("Connecting first available Wiimote:");
    else WiimoteTrace("Connecting Wiimote %u:", unsigned(number));
    if (ReadThreadId.load() == std::this_thread::get_id()) {
        WiimoteTrace("* can't reconnect from the read thread *");
        return false;
    }
    Disconnect();
    // A read thread that ended by itself after a lost connection.
    if (ReadThread.joinable()) ReadThread.join();

    platform::HidDeviceInfo devices[kMaxDevices];
    int found = platform::Hid().enumerate(devices, kMaxDevices);
    if (found < 0) {
        WiimoteTrace("* couldn't get device info *");
        return false;
    }
    found = std::min(found, kMaxDevices);
    int count = 0;
    for (int i = 0; i < found && !Connected; ++i) {
        if (devices[i].vendorId != kVendorId || devices[i].productId != kProductId) continue;
        ++count;
        if (number != -1) {
            if (count > number) break;
            if (count != number) continue;
            WiimoteTrace(".. opening:");
        } else {
            WiimoteTrace(".. opening Wiimote %u:", unsigned(count));
        }
        OpenAndTest(devices[i].path);
    }
    if (Connected) {
        WiimoteTrace(".. connected!");
        return true;
    }
    WiimoteTrace(".. connection failed.");
    return false;
}

bool Wiimote::WaitForConnected(int timeoutMs) {
    uint64_t start = WiimoteNowMs();
    while (!Connected) {
        if (WiimoteNowMs() - start >= uint64_t(timeoutMs)) return false;
        platform::SleepMilliseconds(5);
    }
    return true;
}

bool Wiimote::OpenAndTest(const char* path) {
    int error = 0;
    platform::HidDevice device = platform::Hid().open(path, &error);
    if (!device) {
        WiimoteTrace(".... failed with err %x", unsigned(error));
        return false;
    }
    // Everything that belongs to one connection starts afresh.
    StopThreads = false;
    Connected = false;
    ConnectionLost = false;
    UseHidWrites = false;
    MotionPlusProbePending = false;
    MotionPlusDetected = false;
    MotionPlusEnabled = false;
    MotionPlusPassThroughPlugged = false;
    CaptureBoardRestOffsets = false;
    NextStatusTime = 0;
    {
        std::lock_guard lock(StateLock);
        Live.Clear();
        State.Clear();
        PendingChanges = 0;
        RumbleEndTime = 0;
        StillSampleCount = 0;
        BoardCalPartValid = false;
    }
    DeviceHandle = device;
    QueueNextRead();
    if (!ReadThread.joinable()) {
        CloseDevice(false);
        return false;
    }

    SendStatusRequest();
    bool answered = WaitForConnected(500);
    WiimoteTrace(".. WriteFile() %s.", answered ? "succeeded" : "failed");
    if (!answered && platform::Hid().sendOutputReport) {
        UseHidWrites = true;
        SendStatusRequest();
        answered = WaitForConnected(500);
        WiimoteTrace(".. HID write %s.", answered ? "succeeded" : "failed");
    }
    if (!answered) {
        WiimoteTrace("* output failed - wiimote is not connected (or confused). *");
        CloseDevice(false);
        return false;
    }

    platform::SleepMilliseconds(300);
    WiimoteTrace("Requestion wiimote calibration:");
    SendReadRequest(0x00000016, 7);
    Reset();
    CaptureBoardRestOffsets = true;
    if (!IsBalanceBoardConnected()) ProbeMotionPlus();
    platform::SleepMilliseconds(100);
    TakeStateSnapshot();
    NextStatusTime = WiimoteNowMs() + 1000;
    return true;
}

void Wiimote::Disconnect() { CloseDevice(true); }

bool Wiimote::CloseDevice(bool sendReset) {
    const bool onReader = ReadThreadId.load() == std::this_thread::get_id();
    std::unique_lock teardown(TeardownLock, std::defer_lock);
    if (onReader) {
        // The owner is tearing down and waits for this thread to end.
        if (!teardown.try_lock()) return false;
    } else {
        teardown.lock();
    }
    const platform::HidDevice device = DeviceHandle;
    if (!device) return false;
    WiimoteTrace("Disconnect().");
    if (sendReset && Connected && !ConnectionLost) Reset();

    StopThreads = true;
    Connected = false;
    platform::Hid().wake(device);
    if (!onReader && ReadThread.joinable()) ReadThread.join();
    StopHelperThreads();
    Connected = false;  // a status report decoded meanwhile may have set it again
    {
        std::lock_guard lock(DeviceLock);
        platform::Hid().close(device);
        DeviceHandle = 0;
    }
    std::lock_guard lock(StateLock);
    Live.Clear();
    State.Clear();
    PendingChanges = 0;
    RumbleEndTime = 0;
    return true;
}

void Wiimote::StopHelperThreads() {
    std::thread writer, rumble;
    {
        std::lock_guard lock(WriteQueueLock);
        writer = std::move(HidWriteThread);
        rumble = std::move(RumbleThread);
    }
    if (writer.joinable()) writer.join();
    if (rumble.joinable()) rumble.join();
    // Only now that the writer is gone may its queue be emptied.
    std::lock_guard lock(WriteQueueLock);
    WriteQueue.clear();
}

void Wiimote::Reset() {
    WiimoteTrace("Resetting wiimote.");
    if (MotionPlusEnabled && MotionPlusDetected) {
        WiimoteTrace("Disabling Motion Plus:");
        std::lock_guard lock(StateLock);
        Live.ExtensionConnected = false;
    }
    if (Connected) SelectReportMode(IsBalanceBoardConnected() ? 0x32 : 0x30);
    if (Connected) {
        bool wasOn;
        {
            std::lock_guard lock(StateLock);
            wasOn = Live.Rumble;
            Live.Rumble = false;
        }
        if (wasOn) {
            Report r;
            BuildReport(r, WiimoteReport::Status);
            SendOutputReport(r);
        }
    }
    SetLedBits(0);
    platform::SleepMilliseconds(150);
}
