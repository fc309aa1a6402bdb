// HID devices: enumeration, blocking reads with a time-out and a wake-up,
// plain writes and the output-report call. Back ends: hidraw (Linux
// /sys/class/hidraw and /dev/hidrawN) and sim (simulated Wii remotes for
// tests, see platform/hidsim.h). Handles stay valid until closed; the caller
// must not close a device while another thread still reads or writes it.
#pragma once
#include <cstdint>

namespace morpotta::platform {

using HidDevice = intptr_t;  // 0: no device

struct HidDeviceInfo {
    char path[128];
    uint16_t vendorId;
    uint16_t productId;
};

enum class HidStatus : int {
    Ok,
    Busy,          // try again later
    NotReady,      // try again later
    NotSupported,  // the device or its stack refuses this kind of output
    Gone,          // the device was removed
    Failed         // any other error; see the error code
};

struct HidBackend {
    const char* name;
    // Fills up to capacity entries in a stable order; the count of devices
    // found, or -1 when no device list can be had.
    int (*enumerate)(HidDeviceInfo* out, int capacity);
    // Opens for reading and writing; 0 on failure with the host error code.
    HidDevice (*open)(const char* path, int* errorCode);
    void (*close)(HidDevice device);
    // Waits up to timeoutMs for one input report. Bytes read (> 0); 0 after
    // a time-out, a wake-up or an empty report; -1 when the device failed.
    int (*read)(HidDevice device, uint8_t* buffer, int size, int timeoutMs);
    // Makes a read that is waiting (or the next one) return 0 at once.
    void (*wake)(HidDevice device);
    // The plain write path.
    HidStatus (*write)(HidDevice device, const uint8_t* report, int size, int* errorCode);
    // The output-report call; null when the back end has none.
    HidStatus (*sendOutputReport)(HidDevice device, const uint8_t* report, int size, int* errorCode);
};

// Chooses the back end by name ("hidraw", "sim"); false for an unknown name.
bool SelectHidBackend(const char* name);
const HidBackend& Hid();

}  // namespace morpotta::platform
