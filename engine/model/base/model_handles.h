// The model system's two handle tables: model base data (a kind of its
// own, 17 slot bits, growing 1024 slots at a time up to 131072) and model
// instances (kind 10, 16 slot bits, growing 1024 at a time up to 65536),
// both with the check ids of every handle table (foundation/handle.h). A
// slot holds nothing, the reserved mark (handle given out, record not built
// yet) or a record.
//
// A load on any thread keeps the records it stores to itself until they are
// whole: inside a ModelLoadRecords the slots stay reserved, so that no
// other thread finds the records nor walks over them, while lookups on the
// loading thread find them; the records enter their slots when the
// outermost ModelLoadRecords ends.
#pragma once
#include <cstdint>

#include "foundation/handle.h"
#include "model/base/model_records.h"

namespace morpotta {

constexpr uint32_t kModelBaseHandleKind = uint32_t(HANDLE_KIND_MODEL_BASE) << kHandleKindShift;
constexpr uint32_t kModelInstanceSlotMask = 0xFFFFu;
constexpr int kModelTableGrowth = 1024;
constexpr int kModelInstanceSlotLimit = HandleSlotLimit(HANDLE_KIND_MODEL);
constexpr int kModelBaseSlotLimit = HandleSlotLimit(HANDLE_KIND_MODEL_BASE);  // what 17 slot bits can name

// Empty both tables and mark the model system ready / not ready. The end
// only frees the tables; releasing the records is the caller's work.
void StartModelHandleTables();
void EndModelHandleTables();
bool IsModelSystemReady();

int ReserveModelBaseHandle();      // -1 when the table cannot grow
int ReserveModelInstanceHandle();  // -1 when all 65536 slots are in use

class ModelLoadRecords {
public:
    ModelLoadRecords();
    ~ModelLoadRecords();
    ModelLoadRecords(const ModelLoadRecords&) = delete;
    ModelLoadRecords& operator=(const ModelLoadRecords&) = delete;
};

// Fill a reserved slot with its record; -1 unless the slot is reserved.
int StoreModelBase(int handle, ModelBase* base);
// The instance keeps the handle's check id; the handle, or -1 unless the
// slot is reserved.
int StoreModelInstance(int handle, ModelInstance* instance);

// The record behind a handle, or null: the wrong kind, a slot out of
// range, a free or reserved slot, or a stale check id.
ModelBase* GetModelBase(int handle);
ModelInstance* GetModelInstance(int handle);
// The record a public call names; null after a line saying why (the engine
// is not running, the handle names no such record, or its load has not
// ended yet).
ModelBase* GetModelBaseForCall(int handle);
ModelInstance* GetModelInstanceForCall(int handle);
// Why a public call's handle names nothing of the kind it takes; -1.
int RefuseModelHandle(int handle, int kind);
bool IsModelInstanceSlotReserved(int handle);

// Clear a slot (reserved or filled) and lower the count; -1 for a handle
// that names no used slot. The record itself is the caller's.
int ClearModelBaseSlot(int handle);
int ClearModelInstanceSlot(int handle);
// Clears the slot and hands back its instance in one step (null for a
// reserved slot, which is only cleared, or a handle that names none).
ModelInstance* TakeModelInstance(int handle);

int GetModelBaseCount();
int GetModelInstanceCount();
int GetModelBaseTableSize();
int GetModelInstanceTableSize();
// The handle of the record in a slot, or -1 when the slot holds none.
int GetModelBaseHandleOfSlot(int slot);
int GetModelInstanceHandleOfSlot(int slot);

// Frees a base record: its texture graphs, device buffers and every
// block of its memory chain, then the slot. -1 for a bad handle.
int FreeModelBaseRecord(int handle);

}  // namespace morpotta
