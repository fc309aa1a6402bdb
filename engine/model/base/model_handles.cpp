// Handle tables of model base data and model instances.
#include "model/base/model_handles.h"

#include "engine/log.h"
#include "foundation/engine_thread.h"
#include "platform/lasting_state.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

namespace morpotta {

namespace {

// The reserved mark: the handle exists, the record is not built yet.
void* const kReserved = reinterpret_cast<void*>(uintptr_t(1));

struct ModelHandleModule {
    std::atomic<bool> ready{false};
    HandleTable bases;
    HandleTable instances;
};

ModelHandleModule& ModelHandleState() {
    return platform::LastingState<ModelHandleModule>();
}

bool IsRecord(void* p) { return p && p != kReserved; }

// A record the calling thread's load has stored in a reserved slot.
struct RecordInMaking {
    HandleTable* table;
    int handle;
    void* record;
};

// The records of the calling thread's load, and how deep it is in
// ModelLoadRecords.
struct LoadInMaking {
    int depth = 0;
    std::vector<RecordInMaking> records;
};
thread_local LoadInMaking making;

std::vector<RecordInMaking>::iterator FindInMaking(HandleTable* table, int handle) {
    return std::find_if(making.records.begin(), making.records.end(),
                        [&](const RecordInMaking& r) { return r.table == table && r.handle == handle; });
}

// The record the calling thread's load keeps for a reserved slot, or the
// reserved mark.
void* InMakingOrReserved(HandleTable* table, int handle) {
    auto it = FindInMaking(table, handle);
    return it != making.records.end() ? it->record : kReserved;
}

// The slot's content behind a valid handle as the calling thread sees it:
// a record, the reserved mark or null (also while the model system is not
// ready).
void* SlotContent(HandleTable* table, int handle) {
    void* p = ModelHandleState().ready.load() ? LookupHandleEntry(table, handle) : nullptr;
    return p == kReserved ? InMakingOrReserved(table, handle) : p;
}

// Puts a record in its reserved slot now, or at the end of the load.
int Store(HandleTable* table, int handle, void* record) {
    if (making.depth == 0) return ReplaceHandleEntry(table, handle, record);
    making.records.push_back(RecordInMaking{table, handle, record});
    return 0;
}

void ForgetInMaking(HandleTable* table, int handle) {
    auto it = FindInMaking(table, handle);
    if (it != making.records.end()) making.records.erase(it);
}

int Reserve(HandleTable* table) { return ModelHandleState().ready.load() ? AddHandleEntry(table, kReserved) : -1; }

int Clear(HandleTable* table, int handle) {
    ForgetInMaking(table, handle);
    return ModelHandleState().ready.load() ? RemoveHandleEntry(table, handle) : -1;
}

int HandleOfRecordInSlot(HandleTable* table, int slot) {
    const int handle = HandleOfSlot(table, slot);
    return IsRecord(SlotContent(table, handle)) ? handle : -1;
}

}  // namespace

void StartModelHandleTables() {
    ModelHandleModule& m = ModelHandleState();
    TerminateHandleTable(&m.bases);
    TerminateHandleTable(&m.instances);
    InitHandleTable(&m.bases, HANDLE_KIND_MODEL_BASE, kModelTableGrowth, kModelBaseSlotLimit, kModelTableGrowth);
    InitHandleTable(&m.instances, HANDLE_KIND_MODEL, kModelTableGrowth, kModelInstanceSlotLimit, kModelTableGrowth);
    m.ready.store(true);
}

void EndModelHandleTables() {
    ModelHandleModule& m = ModelHandleState();
    m.ready.store(false);
    TerminateHandleTable(&m.bases);
    TerminateHandleTable(&m.instances);
}

bool IsModelSystemReady() { return ModelHandleState().ready.load(); }

ModelLoadRecords::ModelLoadRecords() { ++making.depth; }

// Bases before the instances made of them.
ModelLoadRecords::~ModelLoadRecords() {
    if (--making.depth > 0) return;
    std::stable_partition(making.records.begin(), making.records.end(),
                          [](const RecordInMaking& r) { return r.table == &ModelHandleState().bases; });
    for (const RecordInMaking& r : making.records) ReplaceHandleEntry(r.table, r.handle, r.record);
    making.records.clear();
}

int ReserveModelBaseHandle() { return Reserve(&ModelHandleState().bases); }

int ReserveModelInstanceHandle() { return Reserve(&ModelHandleState().instances); }

int StoreModelBase(int handle, ModelBase* base) {
    if (!base || SlotContent(&ModelHandleState().bases, handle) != kReserved) return -1;
    return Store(&ModelHandleState().bases, handle, base);
}

int StoreModelInstance(int handle, ModelInstance* instance) {
    if (!instance || SlotContent(&ModelHandleState().instances, handle) != kReserved) return -1;
    instance->checkId = uint32_t(HandleCheckOf(handle));
    return Store(&ModelHandleState().instances, handle, instance) == 0 ? handle : -1;
}

ModelBase* GetModelBase(int handle) {
    void* p = SlotContent(&ModelHandleState().bases, handle);
    return IsRecord(p) ? static_cast<ModelBase*>(p) : nullptr;
}

ModelInstance* GetModelInstance(int handle) {
    void* p = SlotContent(&ModelHandleState().instances, handle);
    return IsRecord(p) ? static_cast<ModelInstance*>(p) : nullptr;
}

int RefuseModelHandle(int handle, int kind) {
    if (!IsModelSystemReady()) return RefuseEngineNotRunning();
    HandleTable* table = kind == HANDLE_KIND_MODEL ? &ModelHandleState().instances : &ModelHandleState().bases;
    if (SlotContent(table, handle) == kReserved)
        return Refuse("model %d is still being loaded on another thread", handle);
    return RefuseHandle(handle, kind);
}

ModelBase* GetModelBaseForCall(int handle) {
    ModelBase* base = GetModelBase(handle);
    if (!base) RefuseModelHandle(handle, HANDLE_KIND_MODEL_BASE);
    return base;
}

ModelInstance* GetModelInstanceForCall(int handle) {
    ModelInstance* in = GetModelInstance(handle);
    if (!in) RefuseModelHandle(handle, HANDLE_KIND_MODEL);
    return in;
}

bool IsModelInstanceSlotReserved(int handle) { return SlotContent(&ModelHandleState().instances, handle) == kReserved; }

int ClearModelBaseSlot(int handle) { return Clear(&ModelHandleState().bases, handle); }

int ClearModelInstanceSlot(int handle) { return Clear(&ModelHandleState().instances, handle); }

ModelInstance* TakeModelInstance(int handle) {
    HandleTable* table = &ModelHandleState().instances;
    void* p = ModelHandleState().ready.load() ? TakeHandleEntry(table, handle) : nullptr;
    if (p == kReserved) {
        p = InMakingOrReserved(table, handle);
        ForgetInMaking(table, handle);
    }
    return IsRecord(p) ? static_cast<ModelInstance*>(p) : nullptr;
}

int GetModelBaseCount() { return CountHandleEntries(&ModelHandleState().bases); }
int GetModelInstanceCount() { return CountHandleEntries(&ModelHandleState().instances); }
int GetModelBaseTableSize() { return HandleTableCapacity(&ModelHandleState().bases); }
int GetModelInstanceTableSize() { return HandleTableCapacity(&ModelHandleState().instances); }

int GetModelBaseHandleOfSlot(int slot) { return HandleOfRecordInSlot(&ModelHandleState().bases, slot); }

int GetModelInstanceHandleOfSlot(int slot) { return HandleOfRecordInSlot(&ModelHandleState().instances, slot); }

}  // namespace morpotta
