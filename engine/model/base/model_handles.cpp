// Handle tables of model base data and model instances.
#include "model/base/model_handles.h"

#include <atomic>
#include <cstdint>

namespace {

// The reserved mark: the handle exists, the record is not built yet.
void* const kReserved = reinterpret_cast<void*>(uintptr_t(1));

struct ModelHandleModule {
    std::atomic<bool> ready{false};
    HandleTable bases;
    HandleTable instances;
};

ModelHandleModule& State() {
    static ModelHandleModule state;
    return state;
}

bool IsRecord(void* p) { return p && p != kReserved; }

// The slot's content behind a valid handle: a record, the reserved mark or
// null (also while the model system is not ready).
void* SlotContent(HandleTable* table, int handle) {
    return State().ready.load() ? LookupHandleEntry(table, handle) : nullptr;
}

int Reserve(HandleTable* table) { return State().ready.load() ? AddHandleEntry(table, kReserved) : -1; }

int Clear(HandleTable* table, int handle) { return State().ready.load() ? RemoveHandleEntry(table, handle) : -1; }

int HandleOfRecordInSlot(HandleTable* table, int slot) {
    const int handle = HandleOfSlot(table, slot);
    return IsRecord(SlotContent(table, handle)) ? handle : -1;
}

}  // namespace

void StartModelHandleTables() {
    ModelHandleModule& m = State();
    TerminateHandleTable(&m.bases);
    TerminateHandleTable(&m.instances);
    InitHandleTable(&m.bases, HANDLE_KIND_MODEL_BASE, kModelTableGrowth, kModelBaseSlotLimit, kModelTableGrowth);
    InitHandleTable(&m.instances, HANDLE_KIND_MODEL, kModelTableGrowth, kModelInstanceSlotLimit, kModelTableGrowth);
    m.ready.store(true);
}

void EndModelHandleTables() {
    ModelHandleModule& m = State();
    m.ready.store(false);
    TerminateHandleTable(&m.bases);
    TerminateHandleTable(&m.instances);
}

bool IsModelSystemReady() { return State().ready.load(); }

int ReserveModelBaseHandle() { return Reserve(&State().bases); }

int ReserveModelInstanceHandle() { return Reserve(&State().instances); }

int StoreModelBase(int handle, ModelBase* base) {
    if (!base || SlotContent(&State().bases, handle) != kReserved) return -1;
    return ReplaceHandleEntry(&State().bases, handle, base);
}

int StoreModelInstance(int handle, ModelInstance* instance) {
    if (!instance || SlotContent(&State().instances, handle) != kReserved) return -1;
    instance->checkId = uint32_t(HandleCheckOf(handle));
    return ReplaceHandleEntry(&State().instances, handle, instance) == 0 ? handle : -1;
}

ModelBase* GetModelBase(int handle) {
    void* p = SlotContent(&State().bases, handle);
    return IsRecord(p) ? static_cast<ModelBase*>(p) : nullptr;
}

ModelInstance* GetModelInstance(int handle) {
    void* p = SlotContent(&State().instances, handle);
    return IsRecord(p) ? static_cast<ModelInstance*>(p) : nullptr;
}

bool IsModelInstanceSlotReserved(int handle) { return SlotContent(&State().instances, handle) == kReserved; }

int ClearModelBaseSlot(int handle) { return Clear(&State().bases, handle); }

int ClearModelInstanceSlot(int handle) { return Clear(&State().instances, handle); }

ModelInstance* TakeModelInstance(int handle) {
    void* p = State().ready.load() ? TakeHandleEntry(&State().instances, handle) : nullptr;
    return IsRecord(p) ? static_cast<ModelInstance*>(p) : nullptr;
}

int GetModelBaseCount() { return CountHandleEntries(&State().bases); }
int GetModelInstanceCount() { return CountHandleEntries(&State().instances); }
int GetModelBaseTableSize() { return HandleTableCapacity(&State().bases); }
int GetModelInstanceTableSize() { return HandleTableCapacity(&State().instances); }

int GetModelBaseHandleOfSlot(int slot) { return HandleOfRecordInSlot(&State().bases, slot); }

int GetModelInstanceHandleOfSlot(int slot) { return HandleOfRecordInSlot(&State().instances, slot); }
