// Handle tables of model base data and model instances.
#include "model/base/model_handles.h"


#include <cstring>

#include "engine/log.h"
#include "engine/memory.h"

namespace {

// The reserved mark: the handle exists, the record is not built yet.
void* const kReserved = reinterpret_cast<void*>(uintptr_t(1));

struct SlotTable {
    void** slots;
    int size;
    int used;
    int nextSearch;
};

struct Tables {
    bool ready;
    SlotTable bases;
    SlotTable instances;
    int checkCounter;
};

struct ModelHandleModule {
    Tables tables;
};

ModelHandleModule& State() {
    static ModelHandleModule state;
    return state;
}

void FreeTable(SlotTable* t) {
    FreeMemory(t->slots);
    *t = SlotTable{};
}

bool GrowTable(SlotTable* t, int limit) {
    if (t->size >= limit) return false;
    int newSize = t->size + kModelTableGrowth;
    if (newSize > limit) newSize = limit;
    auto* slots = static_cast<void**>(AllocModelMemory(sizeof(void*) * size_t(newSize)));
    if (!slots) return false;
    if (t->slots) std::memcpy(slots, t->slots, sizeof(void*) * size_t(t->size));
    FreeMemory(t->slots);
    t->slots = slots;
    t->size = newSize;
    return true;
}

int ReserveSlot(SlotTable* t, int limit) {
    if (!State().tables.ready) return -1;
    if (t->used >= t->size && !GrowTable(t, limit)) return -1;
    int slot = t->nextSearch < t->size ? t->nextSearch : 0;
    while (t->slots[slot]) slot = slot + 1 < t->size ? slot + 1 : 0;
    t->slots[slot] = kReserved;
    ++t->used;
    t->nextSearch = slot;
    return slot;
}

bool IsRecord(void* p) { return p && p != kReserved; }

int BaseSlotOf(int handle) {
    if (!State().tables.ready || (uint32_t(handle) & ~kModelBaseSlotMask) != kModelBaseHandleKind) return -1;
    int slot = int(uint32_t(handle) & kModelBaseSlotMask);
    return slot < State().tables.bases.size ? slot : -1;
}

int InstanceSlotOf(int handle) {
    if (!State().tables.ready || (uint32_t(handle) & 0xF8000000u) != kModelInstanceHandleKind) return -1;
    int slot = int(uint32_t(handle) & kModelInstanceSlotMask);
    return slot < State().tables.instances.size ? slot : -1;
}

int InstanceCheckOf(int handle) { return int((uint32_t(handle) >> 16) & 0x7FFu); }

}  // namespace

void StartModelHandleTables() {
    FreeTable(&State().tables.bases);
    FreeTable(&State().tables.instances);
    State().tables.checkCounter = 0;
    State().tables.ready = true;
}

void EndModelHandleTables() {
    FreeTable(&State().tables.bases);
    FreeTable(&State().tables.instances);
    State().tables.checkCounter = 0;
    State().tables.ready = false;
}

bool IsModelSystemReady() { return State().tables.ready; }

int ReserveModelBaseHandle() {
    int slot = ReserveSlot(&State().tables.bases, kModelBaseSlotLimit);
    return slot < 0 ? -1 : int(kModelBaseHandleKind | uint32_t(slot));
}

int ReserveModelInstanceHandle() {
    int slot = ReserveSlot(&State().tables.instances, kModelInstanceSlotLimit);
    if (slot < 0) return -1;
    return int(kModelInstanceHandleKind | (uint32_t(State().tables.checkCounter) << 16) | uint32_t(slot));
}

int StoreModelBase(int handle, ModelBase* base) {
    int slot = BaseSlotOf(handle);
    if (slot < 0 || !base || State().tables.bases.slots[slot] != kReserved) return -1;
    State().tables.bases.slots[slot] = base;
    return 0;
}

int StoreModelInstance(int handle, ModelInstance* instance) {
    int slot = InstanceSlotOf(handle);
    if (slot < 0 || !instance || State().tables.instances.slots[slot] != kReserved) return -1;
    instance->checkId = uint32_t(State().tables.checkCounter);
    State().tables.checkCounter = State().tables.checkCounter >= 2047 ? 0 : State().tables.checkCounter + 1;
    State().tables.instances.slots[slot] = instance;
    return int(kModelInstanceHandleKind | (instance->checkId << 16) | uint32_t(slot));
}

ModelBase* GetModelBase(int handle) {
    int slot = BaseSlotOf(handle);
    if (slot < 0) return nullptr;
    void* p = State().tables.bases.slots[slot];
    return IsRecord(p) ? static_cast<ModelBase*>(p) : nullptr;
}

ModelInstance* GetModelInstance(int handle) {
    int slot = InstanceSlotOf(handle);
    if (slot < 0) return nullptr;
    void* p = State().tables.instances.slots[slot];
    if (!IsRecord(p)) return nullptr;
    auto* instance = static_cast<ModelInstance*>(p);
    return int(instance->checkId) == InstanceCheckOf(handle) ? instance : nullptr;
}

bool IsModelInstanceSlotReserved(int handle) {
    int slot = InstanceSlotOf(handle);
    return slot >= 0 && State().tables.instances.slots[slot] == kReserved;
}

namespace {

int ClearSlot(SlotTable* t, int slot) {
    if (slot < 0 || !t->slots[slot]) return -1;
    t->slots[slot] = nullptr;
    --t->used;
    return 0;
}

}  // namespace

int ClearModelBaseSlot(int handle) { return ClearSlot(&State().tables.bases, BaseSlotOf(handle)); }

int ClearModelInstanceSlot(int handle) {
    int slot = InstanceSlotOf(handle);
    if (slot < 0) return -1;
    void* p = State().tables.instances.slots[slot];
    if (IsRecord(p) && int(static_cast<ModelInstance*>(p)->checkId) != InstanceCheckOf(handle)) return -1;
    return ClearSlot(&State().tables.instances, slot);
}

int GetModelBaseCount() { return State().tables.bases.used; }
int GetModelInstanceCount() { return State().tables.instances.used; }
int GetModelBaseTableSize() { return State().tables.bases.size; }
int GetModelInstanceTableSize() { return State().tables.instances.size; }

int GetModelBaseHandleOfSlot(int slot) {
    if (slot < 0 || slot >= State().tables.bases.size || !IsRecord(State().tables.bases.slots[slot])) return -1;
    return int(kModelBaseHandleKind | uint32_t(slot));
}

int GetModelInstanceHandleOfSlot(int slot) {
    if (slot < 0 || slot >= State().tables.instances.size || !IsRecord(State().tables.instances.slots[slot])) return -1;
    auto* instance = static_cast<ModelInstance*>(State().tables.instances.slots[slot]);
    return int(kModelInstanceHandleKind | (instance->checkId << 16) | uint32_t(slot));
}
