// Generic handle tables. The table keeps a pointer and a check id per slot;
// the check ids of a kind come from one counter of the process, so a handle
// that outlived its entry, its table or the engine no longer matches its
// slot.
#include "foundation/handle.h"

#include "engine/memory.h"

#include <atomic>
#include <cstring>

namespace {

struct HandleModule {
    // Check ids given per kind since the process began. Counted in 64 bits,
    // which no program's life runs through: a count that wrapped would
    // start the ids over from wherever the wrap left them, and give back an
    // id a few handles after it was given.
    std::atomic<uint64_t> issued[kHandleKindCount] = {};
};

HandleModule& State() {
    static HandleModule state;
    return state;
}

// The next check id of a kind: 1 up to its largest value, then 1 again.
uint32_t NextCheckId(int kind) {
    const uint64_t n = State().issued[kind].fetch_add(1, std::memory_order_relaxed);
    return uint32_t(1 + n % uint64_t(HandleCheckPeriod(kind)));
}

bool Grow(HandleTable* t) {
    if (t->growBy <= 0 || t->capacity >= t->maxCapacity) return false;
    int newCapacity = t->capacity + t->growBy;
    if (newCapacity > t->maxCapacity) newCapacity = t->maxCapacity;
    void** entries = static_cast<void**>(ReallocMemory(t->entries, sizeof(void*) * size_t(newCapacity), "", 0));
    if (!entries) return false;
    t->entries = entries;
    auto* checks = static_cast<uint32_t*>(ReallocMemory(t->checks, sizeof(uint32_t) * size_t(newCapacity), "", 0));
    if (!checks) return false;  // entries grew already; capacity stays until both have
    t->checks = checks;
    std::memset(t->entries + t->capacity, 0, sizeof(void*) * size_t(newCapacity - t->capacity));
    std::memset(t->checks + t->capacity, 0, sizeof(uint32_t) * size_t(newCapacity - t->capacity));
    t->capacity = newCapacity;
    return true;
}

// The slot a handle names in the table, or -1 (caller holds the lock).
int ValidSlotLocked(const HandleTable* t, int handle) {
    if (!t->entries || handle < 0 || HandleKindOf(handle) != t->kind) return -1;
    const int slot = HandleSlotOf(handle);
    if (slot >= t->capacity || !t->entries[slot] || t->checks[slot] != uint32_t(HandleCheckOf(handle))) return -1;
    return slot;
}

void ClearSlotLocked(HandleTable* t, int slot) {
    t->entries[slot] = nullptr;
    t->count--;
    if (slot < t->searchStart) t->searchStart = slot;
}

void ResetFieldsLocked(HandleTable* t) {
    t->kind = t->capacity = t->maxCapacity = t->growBy = t->count = t->searchStart = 0;
    t->entries = nullptr;
    t->checks = nullptr;
}

}  // namespace

int InitHandleTable(HandleTable* table, int kind, int initialCapacity, int maxCapacity, int growBy) {
    if (!table || kind < 0 || kind >= kHandleKindCount || initialCapacity < 1 ||
        maxCapacity > HandleSlotLimit(kind) || initialCapacity > maxCapacity)
        return -1;
    std::lock_guard<std::mutex> guard(table->lock);
    if (table->entries) return 0;
    auto* entries = static_cast<void**>(AllocMemoryZero(sizeof(void*) * size_t(initialCapacity), "", 0));
    auto* checks = static_cast<uint32_t*>(AllocMemoryZero(sizeof(uint32_t) * size_t(initialCapacity), "", 0));
    if (!entries || !checks) {
        FreeMemory(entries);
        FreeMemory(checks);
        return -1;
    }
    ResetFieldsLocked(table);
    table->entries = entries;
    table->checks = checks;
    table->kind = kind;
    table->capacity = initialCapacity;
    table->maxCapacity = maxCapacity;
    table->growBy = growBy;
    return 0;
}

int TerminateHandleTable(HandleTable* table) {
    if (!table) return -1;
    std::lock_guard<std::mutex> guard(table->lock);
    FreeMemory(table->entries);
    FreeMemory(table->checks);
    ResetFieldsLocked(table);
    return 0;
}

bool IsHandleTableReady(const HandleTable* table) {
    if (!table) return false;
    std::lock_guard<std::mutex> guard(table->lock);
    return table->entries != nullptr;
}

int AddHandleEntry(HandleTable* table, void* entry) {
    if (!table || !entry) return -1;
    std::lock_guard<std::mutex> guard(table->lock);
    if (!table->entries) return -1;
    if (table->count >= table->capacity && !Grow(table)) return -1;
    int slot = table->searchStart;
    while (slot < table->capacity && table->entries[slot]) ++slot;
    if (slot >= table->capacity) return -1;
    const uint32_t check = NextCheckId(table->kind);
    table->entries[slot] = entry;
    table->checks[slot] = check;
    table->count++;
    table->searchStart = slot + 1;
    return MakeHandle(table->kind, int(check), slot);
}

void* LookupHandleEntry(const HandleTable* table, int handle) {
    if (!table) return nullptr;
    std::lock_guard<std::mutex> guard(table->lock);
    return LookupHandleEntryLocked(table, handle);
}

void* LookupHandleEntryLocked(const HandleTable* table, int handle) {
    const int slot = ValidSlotLocked(table, handle);
    return slot < 0 ? nullptr : table->entries[slot];
}

int ReplaceHandleEntry(HandleTable* table, int handle, void* entry) {
    if (!table || !entry) return -1;
    std::lock_guard<std::mutex> guard(table->lock);
    const int slot = ValidSlotLocked(table, handle);
    if (slot < 0) return -1;
    table->entries[slot] = entry;
    return 0;
}

int RemoveHandleEntry(HandleTable* table, int handle) { return TakeHandleEntry(table, handle) ? 0 : -1; }

void* TakeHandleEntry(HandleTable* table, int handle) {
    if (!table) return nullptr;
    std::lock_guard<std::mutex> guard(table->lock);
    const int slot = ValidSlotLocked(table, handle);
    if (slot < 0) return nullptr;
    void* entry = table->entries[slot];
    ClearSlotLocked(table, slot);
    return entry;
}

int HandleOfSlot(const HandleTable* table, int slot) {
    if (!table) return -1;
    std::lock_guard<std::mutex> guard(table->lock);
    if (!table->entries || slot < 0 || slot >= table->capacity || !table->entries[slot]) return -1;
    return MakeHandle(table->kind, int(table->checks[slot]), slot);
}

int CountHandleEntries(const HandleTable* table) {
    if (!table) return 0;
    std::lock_guard<std::mutex> guard(table->lock);
    return table->count;
}

int HandleTableCapacity(const HandleTable* table) {
    if (!table) return 0;
    std::lock_guard<std::mutex> guard(table->lock);
    return table->capacity;
}

void SetHandleChecksIssuedForTesting(int kind, uint64_t issued) {
    State().issued[kind & 15].store(issued, std::memory_order_relaxed);
}
