// Generic handle tables. The table keeps a pointer and a check id per slot;
// the check id of a table advances with every new entry, so a handle that
// outlived its entry no longer matches the slot.
#include "foundation/handle.h"

#include "engine/memory.h"

#include <cstring>

namespace {

bool Grow(HandleTable* t) {
    if (t->growBy <= 0 || t->capacity >= t->maxCapacity) return false;
    int newCapacity = t->capacity + t->growBy;
    if (newCapacity > t->maxCapacity) newCapacity = t->maxCapacity;
    void** entries = static_cast<void**>(ReallocMemory(t->entries, sizeof(void*) * size_t(newCapacity), "", 0));
    if (!entries) return false;
    t->entries = entries;
    uint16_t* checks = static_cast<uint16_t*>(ReallocMemory(t->checks, sizeof(uint16_t) * size_t(newCapacity), "", 0));
    if (!checks) return false;  // entries grew already; capacity stays until both have
    t->checks = checks;
    std::memset(t->entries + t->capacity, 0, sizeof(void*) * size_t(newCapacity - t->capacity));
    std::memset(t->checks + t->capacity, 0, sizeof(uint16_t) * size_t(newCapacity - t->capacity));
    t->capacity = newCapacity;
    return true;
}

}  // namespace

int InitHandleTable(HandleTable* table, int kind, int initialCapacity, int maxCapacity, int growBy) {
    if (!table || kind < 1 || kind > 15 || initialCapacity < 1 || maxCapacity > kHandleSlotLimit ||
        initialCapacity > maxCapacity)
        return -1;
    std::memset(table, 0, sizeof *table);
    table->entries = static_cast<void**>(AllocMemoryZero(sizeof(void*) * size_t(initialCapacity), "", 0));
    table->checks = static_cast<uint16_t*>(AllocMemoryZero(sizeof(uint16_t) * size_t(initialCapacity), "", 0));
    if (!table->entries || !table->checks) {
        FreeMemory(table->entries);
        FreeMemory(table->checks);
        std::memset(table, 0, sizeof *table);
        return -1;
    }
    table->kind = kind;
    table->capacity = initialCapacity;
    table->maxCapacity = maxCapacity;
    table->growBy = growBy;
    return 0;
}

int TerminateHandleTable(HandleTable* table) {
    if (!table) return -1;
    FreeMemory(table->entries);
    FreeMemory(table->checks);
    std::memset(table, 0, sizeof *table);
    return 0;
}

int AddHandleEntry(HandleTable* table, void* entry) {
    if (!table || !table->entries || !entry) return -1;
    if (table->count >= table->capacity && !Grow(table)) return -1;
    int slot = table->searchStart;
    while (slot < table->capacity && table->entries[slot]) ++slot;
    if (slot >= table->capacity) return -1;
    int check = table->nextCheck;
    table->nextCheck = (table->nextCheck + 1) % kHandleCheckLimit;
    table->entries[slot] = entry;
    table->checks[slot] = uint16_t(check);
    table->count++;
    table->searchStart = slot + 1;
    return MakeHandle(table->kind, check, slot);
}

void* LookupHandleEntry(const HandleTable* table, int handle) {
    if (!table || !table->entries || handle < 0) return nullptr;
    if (HandleKindOf(handle) != table->kind) return nullptr;
    int slot = HandleSlotOf(handle);
    if (slot >= table->capacity || !table->entries[slot]) return nullptr;
    if (table->checks[slot] != HandleCheckOf(handle)) return nullptr;
    return table->entries[slot];
}

int RemoveHandleEntry(HandleTable* table, int handle) {
    if (!LookupHandleEntry(table, handle)) return -1;
    int slot = HandleSlotOf(handle);
    table->entries[slot] = nullptr;
    table->count--;
    if (slot < table->searchStart) table->searchStart = slot;
    return 0;
}

int HandleOfSlot(const HandleTable* table, int slot) {
    if (!table || slot < 0 || slot >= table->capacity || !table->entries[slot]) return -1;
    return MakeHandle(table->kind, table->checks[slot], slot);
}
