// Integer handles for every engine resource. Bit 31 set means error (-1 is
// the failure result); bits 27-30 the kind; bits 16-26 a check id, an
// 11-bit counter per table that wraps after 2047; bits 0-15 the slot. A
// handle whose kind, slot or check id does not match is refused, so a stale
// handle never reaches a reused slot.
#pragma once
#include <cstdint>

enum HandleKind {
    HANDLE_KIND_GRAPH = 1,   // also model base data
    HANDLE_KIND_SOUND = 2,
    HANDLE_KIND_MOVIE = 3,
    HANDLE_KIND_FONT = 4,
    HANDLE_KIND_MASK = 5,
    HANDLE_KIND_NETWORK = 6,
    HANDLE_KIND_KEYINPUT = 7,
    HANDLE_KIND_MUSIC = 8,
    HANDLE_KIND_LIGHT = 9,
    HANDLE_KIND_MODEL = 10,
    HANDLE_KIND_SOFTIMAGE = 11,
    HANDLE_KIND_SHADER = 12,
    HANDLE_KIND_SOFTSOUND = 13,
    HANDLE_KIND_VERTEXBUFFER = 14,
    HANDLE_KIND_INDEXBUFFER = 15,
};

constexpr uint32_t kHandleErrorBit = 0x80000000u;
constexpr int kHandleKindShift = 27;
constexpr uint32_t kHandleKindMask = 0x78000000u;
constexpr int kHandleCheckShift = 16;
constexpr uint32_t kHandleCheckMask = 0x07FF0000u;
constexpr uint32_t kHandleSlotMask = 0x0000FFFFu;
constexpr int kHandleCheckLimit = 2048;
constexpr int kHandleSlotLimit = 65536;

inline int MakeHandle(int kind, int checkId, int slot) {
    return int((uint32_t(kind) << kHandleKindShift) | (uint32_t(checkId) << kHandleCheckShift) | uint32_t(slot));
}
inline int HandleKindOf(int handle) { return int((uint32_t(handle) & kHandleKindMask) >> kHandleKindShift); }
inline int HandleCheckOf(int handle) { return int((uint32_t(handle) & kHandleCheckMask) >> kHandleCheckShift); }
inline int HandleSlotOf(int handle) { return int(uint32_t(handle) & kHandleSlotMask); }

// A table of entries under handles of one kind. It starts with
// initialCapacity slots and, when growBy > 0, grows by that many up to
// maxCapacity (at most 65536). The table owns no entry: the module that
// made the entry frees it.
struct HandleTable {
    int kind;
    int capacity;
    int maxCapacity;
    int growBy;
    int count;         // entries in use
    int nextCheck;     // the check id the next entry gets
    int searchStart;   // lowest slot that may be free
    void** entries;    // capacity pointers, null when free
    uint16_t* checks;  // the check id of each slot
};

int InitHandleTable(HandleTable* table, int kind, int initialCapacity, int maxCapacity, int growBy);
int TerminateHandleTable(HandleTable* table);
// Stores entry (non-null) in the lowest free slot; the new handle, or -1
// when the table is full.
int AddHandleEntry(HandleTable* table, void* entry);
// The entry behind a handle, or null when the handle is not valid here.
void* LookupHandleEntry(const HandleTable* table, int handle);
// Frees the slot; -1 when the handle is not valid here.
int RemoveHandleEntry(HandleTable* table, int handle);
// The handle of the entry in a slot, or -1 when the slot is free.
int HandleOfSlot(const HandleTable* table, int slot);
