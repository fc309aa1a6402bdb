// Integer handles for every engine resource. Bit 31 set means error (-1 is
// the failure result); bits 27-30 the kind; below them the check id, and in
// the lowest bits the slot. Each kind has a slot field just wide enough for
// its table's largest size, and its check id takes every bit between the
// slot and the kind (12 bits for pictures and sounds, 11 for models, 10 for
// model base data, more for the small tables).
//
// Check ids come from one counter per kind for the whole process, shared by
// every table of that kind and never started over, neither by a new table
// nor by a new start of the engine. They run 1, 2, ... up to the field's
// largest value and round again; 0 is never given, so no handle is 0. A
// handle whose kind, slot or check id does not match its table is refused,
// so a handle whose entry is gone stays refused until the counter of its
// kind has come round: at least HandleCheckPeriod(kind) handles of that
// kind made after it.
//
// Every change to a table is made under its lock, on any thread. Lookups
// take no lock: a table keeps its slots in pages that stay where they are
// for the table's life, an entry is stored after its check id and taken out
// before its slot is reused, so a lookup finds a whole entry or none. What
// a lookup hands back stays valid for as long as the module that owns the
// entries keeps it: modules whose entries other threads make and delete
// free them on the engine's thread alone, or under a lock of their own. A
// table is made on any thread, and ended while no other thread uses it.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

namespace morpotta {

enum HandleKind {
    HANDLE_KIND_MODEL_BASE = 0,  // kind bits 0: no handle is 0, as no check id is
    HANDLE_KIND_GRAPH = 1,
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
constexpr int kHandleKindCount = 16;

constexpr uint32_t kHandleErrorBit = 0x80000000u;
constexpr int kHandleKindShift = 27;
constexpr uint32_t kHandleKindMask = 0x78000000u;

// The slot bits of each kind: enough for the largest table of that kind
// (pictures and sounds 32768 slots, movies 100, fonts 40, music 256, models
// 65536, model base data 131072, ...).
constexpr int kHandleSlotBits[kHandleKindCount] = {17, 15, 15, 7, 6, 9, 16, 8, 8, 12, 16, 13, 12, 16, 14, 14};

constexpr int HandleSlotBits(int kind) { return kHandleSlotBits[kind & 15]; }
constexpr int HandleCheckBits(int kind) { return kHandleKindShift - HandleSlotBits(kind); }
constexpr int HandleSlotLimit(int kind) { return 1 << HandleSlotBits(kind); }
// How many check ids a kind has: a handle of that kind comes back at the
// earliest this many handles of its kind later.
constexpr int HandleCheckPeriod(int kind) { return (1 << HandleCheckBits(kind)) - 1; }

inline int HandleKindOf(int handle) { return int((uint32_t(handle) & kHandleKindMask) >> kHandleKindShift); }
inline int HandleSlotOf(int handle) {
    return int(uint32_t(handle) & ((1u << HandleSlotBits(HandleKindOf(handle))) - 1));
}
inline int HandleCheckOf(int handle) {
    const int kind = HandleKindOf(handle);
    return int((uint32_t(handle) >> HandleSlotBits(kind)) & ((1u << HandleCheckBits(kind)) - 1));
}
// Check id and slot are cut to their fields.
inline int MakeHandle(int kind, int checkId, int slot) {
    const uint32_t slotMask = (1u << HandleSlotBits(kind)) - 1, checkMask = (1u << HandleCheckBits(kind)) - 1;
    return int((uint32_t(kind & 15) << kHandleKindShift) | ((uint32_t(checkId) & checkMask) << HandleSlotBits(kind)) |
               (uint32_t(slot) & slotMask));
}

// A table of entries under handles of one kind. It starts with
// initialCapacity slots and, when growBy > 0, grows by that many up to
// maxCapacity (at most HandleSlotLimit(kind)). The table owns no entry: the
// module that made the entry frees it. Its fields are the table's own.
constexpr int kHandlePageShift = 10;  // 1024 slots a page
constexpr int kHandlePageSlots = 1 << kHandlePageShift;

struct HandleSlot {
    std::atomic<void*> entry{nullptr};  // null when free
    std::atomic<uint32_t> check{0};     // the check id of its last entry
};

struct HandleTable {
    mutable std::mutex lock;  // every change
    // Null until the table is made; then one page pointer per 1024 slots of
    // maxCapacity, each null until the capacity first reaches its page. The
    // kind, its slot field and maxCapacity are set before the pages are
    // published.
    std::atomic<std::atomic<HandleSlot*>*> pages{nullptr};
    int kind = 0;
    int slotBits = 0;
    uint32_t slotMask = 0;
    int maxCapacity = 0;
    int growBy = 0;                 // under lock
    int searchStart = 0;            // under lock: lowest slot that may be free
    std::atomic<int> capacity{0};   // changed under lock
    std::atomic<int> count{0};      // entries in use, changed under lock
    // Changed under lock: no entry has stood at this slot or above since the
    // table was made, so a walk over every entry stops here.
    std::atomic<int> slotsUsed{0};
};

// A table already made is kept as it is (0), so a module may call this
// before each use instead of remembering whether it made its table.
int InitHandleTable(HandleTable* table, int kind, int initialCapacity, int maxCapacity, int growBy);
int TerminateHandleTable(HandleTable* table);
bool IsHandleTableReady(const HandleTable* table);
// Stores entry (non-null) in the lowest free slot; the new handle, or -1
// when the table is full or not made. An entry that keeps its own handle
// gives where (handleInEntry): it is written there before any other thread
// can find the entry.
int AddHandleEntry(HandleTable* table, void* entry, int* handleInEntry = nullptr);
// The refusal of an entry AddHandleEntry did not take (or of a table that
// could not be made): whenFull when the table holds as many entries as it
// may, else out of memory for the named table. -1.
int RefuseHandleEntry(HandleTable* table, const char* tableName, const char* whenFull);
// The entry behind a handle, or null when the handle is not valid here.
// Takes no lock.
void* LookupHandleEntry(const HandleTable* table, int handle);
// Puts another entry (non-null) under a valid handle; -1 when it is not.
int ReplaceHandleEntry(HandleTable* table, int handle, void* entry);
// Frees the slot; -1 when the handle is not valid here.
int RemoveHandleEntry(HandleTable* table, int handle);
// Frees the slot and hands back its entry in one step, so of two threads
// taking the same handle one gets it; null when the handle is not valid.
void* TakeHandleEntry(HandleTable* table, int handle);
// Calls read(entry) under the table's lock when the handle is valid, so no
// other thread takes the entry meanwhile; false when the handle is not.
template <typename Read>
bool ReadHandleEntry(const HandleTable* table, int handle, Read read) {
    if (!table) return false;
    std::lock_guard<std::mutex> guard(table->lock);
    void* entry = LookupHandleEntry(table, handle);
    if (entry) read(entry);
    return entry != nullptr;
}
// The handle of the entry in a slot, or -1 when the slot is free. Takes no
// lock, nor do the two counts below.
int HandleOfSlot(const HandleTable* table, int slot);
int CountHandleEntries(const HandleTable* table);
int HandleTableCapacity(const HandleTable* table);
int HandleTableSlotsUsed(const HandleTable* table);
// Calls visit(handle) for the entry of every slot in turn, without the
// table's lock, so visit may delete the entry. Only slots that ever held an
// entry are looked at: emptying a large table that held a few costs a few.
template <typename Visit>
void ForEachHandle(const HandleTable* table, Visit visit) {
    const int used = HandleTableSlotsUsed(table);
    for (int slot = 0; slot < used; ++slot) {
        const int handle = HandleOfSlot(table, slot);
        if (handle != -1) visit(handle);
    }
}

// The refusal of a call given a handle that names nothing of the kind it
// takes: the public call's refusal, saying what the handle is (no
// handle at all, the handle of another kind of thing, or of one that is
// gone); -1.
int RefuseHandle(int handle, int kind);

// Sets how many check ids of a kind the process has given, as if that many
// handles of the kind had been made.
void SetHandleChecksIssuedForTesting(int kind, uint64_t issued);

}  // namespace morpotta
