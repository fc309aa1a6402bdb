// Output reports and the two write paths: plain writes straight to the
// device, or a queue drained by the HID write thread through the
// output-report call. Also the timed rumble and its timer thread.
#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "platform/hid.h"
#include "platform/thread.h"
#include "wiiremote/wiimote.h"
#include "wiimote_clock.h"

namespace platform = morpotta::platform;

namespace {

void PutAddress(uint8_t* report, uint32_t address) {
    report[1] |= uint8_t(address >> 24);
    report[2] = uint8_t(address >> 16);
    report[3] = uint8_t(address >> 8);
    report[4] = uint8_t(address);
}

}  // namespace

void Wiimote::BuildReport(Report out, uint8_t id) {
    std::memset(out, 0, kReportSize);
    out[0] = id;
    std::lock_guard lock(StateLock);
    out[1] = Live.Rumble ? 0x01 : 0x00;
}

bool Wiimote::SendOutputReport(const uint8_t* report) {
    if (UseHidWrites) {
        std::lock_guard lock(WriteQueueLock);
        if (StopThreads || !DeviceHandle) return false;
        if (!HidWriteThread.joinable()) {
            try {
                HidWriteThread = std::thread(&Wiimote::HidWriterThreadMain, this);
            } catch (const std::system_error&) {
                WiimoteTrace("* couldn't create HID write thread! *");
                return false;
            }
        }
        WriteQueue.emplace_back();
        std::memcpy(WriteQueue.back().data(), report, kReportSize);
        return true;
    }
    std::lock_guard lock(DeviceLock);
    platform::HidDevice device = DeviceHandle;
    if (!device) return false;
    int error = 0;
    if (platform::Hid().write(device, report, kReportSize, &error) == platform::HidStatus::Ok) return true;
    WiimoteTrace("WriteFile failed, err: %u!", unsigned(error));
    if (Connected) ConnectionLost = true;
    return false;
}

void Wiimote::HidWriterThreadMain() {
    platform::SetCurrentThreadName("wiimote-write");
    platform::SetCurrentThreadPriority(platform::ThreadPriority::High);
    WiimoteTrace("(starting HID write thread)");
    while (!StopThreads) {
        const uint8_t* front = nullptr;
        {
            std::lock_guard lock(WriteQueueLock);
            if (!WriteQueue.empty()) front = WriteQueue.front().data();
        }
        if (front) {
            int error = 0;
            platform::HidStatus status = platform::HidStatus::Failed;
            {
                std::lock_guard lock(DeviceLock);
                if (platform::HidDevice device = DeviceHandle)
                    status = platform::Hid().sendOutputReport(device, front, kReportSize, &error);
            }
            bool done = status == platform::HidStatus::Ok;
            if (status == platform::HidStatus::NotSupported) {
                WiimoteTrace("* BT Stack doesn't suport HID writes! *");
                done = true;
            } else if (status != platform::HidStatus::Ok && status != platform::HidStatus::Busy &&
                       status != platform::HidStatus::NotReady && Connected) {
                ConnectionLost = true;
            }
            if (done) {
                std::lock_guard lock(WriteQueueLock);
                WriteQueue.pop_front();
            }
        }
        platform::SleepMilliseconds(1);
    }
    WiimoteTrace("ending HID write thread");
}

void Wiimote::SetLedBits(uint8_t bits) {
    if (!Connected) return;
    Report r;
    BuildReport(r, WiimoteReport::Leds);
    r[1] |= uint8_t((bits & 0x0F) << 4);
    {
        std::lock_guard lock(StateLock);
        Live.Leds = bits & 0x0F;
    }
    SendOutputReport(r);
}

void Wiimote::SwitchRumble(bool on) {
    if (!Connected) return;
    {
        std::lock_guard lock(StateLock);
        if (Live.Rumble == on) return;
        Live.Rumble = on;
    }
    Report r;
    BuildReport(r, WiimoteReport::Status);
    SendOutputReport(r);
}

void Wiimote::StartTimedRumble() {
    if (!Connected) return;
    SwitchRumble(true);
    {
        std::lock_guard lock(StateLock);
        RumbleEndTime = WiimoteNowMs() + 200;
    }
    std::lock_guard lock(WriteQueueLock);
    if (RumbleThread.joinable() || StopThreads) return;
    try {
        RumbleThread = std::thread(&Wiimote::RumbleTimerThreadMain, this);
    } catch (const std::system_error&) {
        WiimoteTrace("* couldn't create rumble thread! *");
    }
}

void Wiimote::RumbleTimerThreadMain() {
    platform::SetCurrentThreadName("wiimote-rumble");
    platform::SetCurrentThreadPriority(platform::ThreadPriority::High);
    while (Connected && !StopThreads) {
        bool timed = true;
        // Never wait for the state lock: its holder may be waiting for this
        // thread to end.
        std::unique_lock lock(StateLock, std::try_to_lock);
        if (lock.owns_lock()) {
            timed = RumbleEndTime != 0;
            if (timed && WiimoteNowMs() >= RumbleEndTime) {
                RumbleEndTime = 0;
                if (Live.Rumble) {
                    Live.Rumble = false;
                    Report r;
                    BuildReport(r, WiimoteReport::Status);
                    SendOutputReport(r);
                }
            }
            lock.unlock();
        }
        platform::SleepMilliseconds(timed ? 1 : 4);
    }
}

void Wiimote::SelectReportMode(uint32_t mode) {
    if (!Connected) return;
    if (IsBalanceBoardConnected() && mode != 0x32) return;
    ReportMode = mode;
    if (mode == 0x33) EnableIrCamera(IrExtended);
    else if (mode == 0x37) EnableIrCamera(IrBasic);
    else DisableIrCamera();
    Report r;
    BuildReport(r, WiimoteReport::Mode);
    r[2] = uint8_t(mode);
    SendOutputReport(r);
    platform::SleepMilliseconds(15);
}

void Wiimote::SendStatusRequest() {
    if (!DeviceHandle) return;
    Report r;
    BuildReport(r, WiimoteReport::Status);
    SendOutputReport(r);
    if (!Connected) return;
    WiimoteExtension type;
    {
        std::lock_guard lock(StateLock);
        type = Live.ExtensionType;
    }
    if (type != ExtensionMotionPlus && type != ExtensionPartiallyInserted) ProbeMotionPlus();
}

void Wiimote::ProbeMotionPlus() {
    MotionPlusProbePending = true;
    SendReadRequest(0x04A600FA, 6);
}

void Wiimote::SendReadRequest(uint32_t address, uint16_t size) {
    Report r;
    BuildReport(r, WiimoteReport::ReadMemory);
    PutAddress(r, address);
    r[5] = uint8_t(size >> 8);
    r[6] = uint8_t(size);
    SendOutputReport(r);
}

void Wiimote::SendWriteRequest(uint32_t address, uint8_t size, const uint8_t* data) {
    Report r;
    BuildReport(r, WiimoteReport::WriteMemory);
    PutAddress(r, address);
    size = std::min<uint8_t>(size, 16);
    r[5] = size;
    if (data) std::memcpy(&r[6], data, size);
    SendOutputReport(r);
}

void Wiimote::EnableIrCamera(IrCameraMode mode) {
    {
        std::lock_guard lock(StateLock);
        Live.IrMode = mode;
    }
    Report r;
    BuildReport(r, WiimoteReport::Ir);
    r[1] |= 0x04;
    SendOutputReport(r);
    BuildReport(r, WiimoteReport::Ir2);
    r[1] |= 0x04;
    SendOutputReport(r);
    const uint8_t enable = 0x08;
    SendWriteRequest(0x04B00030, 1, &enable);
    platform::SleepMilliseconds(25);
    const uint8_t sensitivity1[9] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x90, 0x00, 0xC0};
    const uint8_t sensitivity2[2] = {0x40, 0x00};
    SendWriteRequest(0x04B00000, 9, sensitivity1);
    SendWriteRequest(0x04B0001A, 2, sensitivity2);
    const uint8_t modeByte = uint8_t(mode);
    SendWriteRequest(0x04B00033, 1, &modeByte);
}

void Wiimote::DisableIrCamera() {
    {
        std::lock_guard lock(StateLock);
        Live.IrMode = IrOff;
    }
    Report r;
    BuildReport(r, WiimoteReport::Ir);
    SendOutputReport(r);
    BuildReport(r, WiimoteReport::Ir2);
    SendOutputReport(r);
}
