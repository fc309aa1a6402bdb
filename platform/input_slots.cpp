#include "input_slots.h"

namespace morpotta::platform {

int FindDeviceSlot(const DeviceSlots& table, int64_t id) {
    for (size_t i = 0; i < table.slots.size(); ++i)
        if (table.slots[i].attached && table.slots[i].id == id) return int(i);
    return -1;
}

int AttachDevice(DeviceSlots& table, int64_t id, const std::string& identity) {
    int slot = FindDeviceSlot(table, id);
    if (slot >= 0) return slot;
    for (size_t i = 0; i < table.slots.size() && slot < 0; ++i)
        if (!table.slots[i].attached && table.slots[i].identity == identity) slot = int(i);
    for (size_t i = 0; i < table.slots.size() && slot < 0; ++i)
        if (!table.slots[i].attached) slot = int(i);
    if (slot < 0) {
        if (int(table.slots.size()) >= table.limit) return -1;
        slot = int(table.slots.size());
        table.slots.emplace_back();
    }
    table.slots[slot] = DeviceSlot{id, identity, true};
    return slot;
}

int DetachDevice(DeviceSlots& table, int64_t id) {
    int slot = FindDeviceSlot(table, id);
    if (slot >= 0) table.slots[slot].attached = false;
    return slot;
}

int64_t DeviceAtSlot(const DeviceSlots& table, int slot) {
    if (slot < 0 || slot >= int(table.slots.size()) || !table.slots[slot].attached) return -1;
    return table.slots[slot].id;
}

}  // namespace morpotta::platform
