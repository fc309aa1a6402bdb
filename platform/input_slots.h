// Numbered places for hot-plugged devices, shared by the input back ends.
// A device keeps its number while attached; a removed device leaves its
// place empty, so the numbers of the others never shift, and a device that
// comes back takes the place it had when no other took it meanwhile.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace morpotta::platform {

struct DeviceSlot {
    int64_t id = -1;       // the back end's id of the attached device
    std::string identity;  // what recognises the same device when it returns
    bool attached = false;
};

struct DeviceSlots {
    int limit = 0;
    std::vector<DeviceSlot> slots;
};

// The slot the device now holds, or -1 when every one of the limit is taken.
// Prefers an empty slot that last held the same identity, then the first
// empty slot, then a new one.
int AttachDevice(DeviceSlots& table, int64_t id, const std::string& identity);
// The slot the device held, or -1 when it held none.
int DetachDevice(DeviceSlots& table, int64_t id);
int FindDeviceSlot(const DeviceSlots& table, int64_t id);
// The id attached at the slot, or -1 when it is empty or out of range.
int64_t DeviceAtSlot(const DeviceSlots& table, int slot);

}  // namespace morpotta::platform
