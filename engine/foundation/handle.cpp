// Generic handle tables. The table keeps a pointer and a check id per slot;
// the check ids of a kind come from one counter of the process, so a handle
// that outlived its entry, its table or the engine no longer matches its
// slot.
#include "foundation/handle.h"

#include "engine/log.h"
#include "engine/memory.h"
#include "platform/lasting_state.h"
#include "foundation/public_call.h"

#include <atomic>
#include <new>

namespace morpotta {

namespace {

struct HandleModule {
    // Check ids given per kind since the process began. Counted in 64 bits,
    // which no program's life runs through: a count that wrapped would
    // start the ids over from wherever the wrap left them, and give back an
    // id a few handles after it was given.
    std::atomic<uint64_t> issued[kHandleKindCount] = {};
};

HandleModule& HandleIds() {
    return platform::LastingState<HandleModule>();
}

// The next check id of a kind: 1 up to its largest value, then 1 again.
uint32_t NextCheckId(int kind) {
    const uint64_t n = HandleIds().issued[kind].fetch_add(1, std::memory_order_relaxed);
    return uint32_t(1 + n % uint64_t(HandleCheckPeriod(kind)));
}

using PageArray = std::atomic<HandleSlot*>;

int PageCount(int maxCapacity) { return (maxCapacity + kHandlePageSlots - 1) >> kHandlePageShift; }

// Makes the pages the slots below capacity lie in (caller holds the lock);
// false when out of memory, with the pages made so far kept.
bool MakePagesLocked(HandleTable* t, PageArray* pages, int capacity) {
    for (int first = 0; first < capacity; first += kHandlePageSlots) {
        PageArray& page = pages[first >> kHandlePageShift];
        if (page.load(std::memory_order_relaxed)) continue;
        const int slots = t->maxCapacity - first < kHandlePageSlots ? t->maxCapacity - first : kHandlePageSlots;
        void* memory = AllocMemoryZero(sizeof(HandleSlot) * size_t(slots), "", 0);
        if (!memory) return false;
        page.store(new (memory) HandleSlot[slots], std::memory_order_release);
    }
    return true;
}

// The slot under a slot number below capacity (caller holds the lock).
HandleSlot& SlotLocked(HandleTable* t, int slot) {
    HandleSlot* page = t->pages.load(std::memory_order_relaxed)[slot >> kHandlePageShift].load(std::memory_order_relaxed);
    return page[slot & (kHandlePageSlots - 1)];
}

// The slot of a handle's slot number, or null when its page was never made.
// Lock-free: pages are published with release and never move.
const HandleSlot* FindSlot(const HandleTable* t, int slot) {
    const PageArray* pages = t->pages.load(std::memory_order_acquire);
    if (!pages || slot >= t->maxCapacity) return nullptr;
    const HandleSlot* page = pages[slot >> kHandlePageShift].load(std::memory_order_acquire);
    return page ? page + (slot & (kHandlePageSlots - 1)) : nullptr;
}

// The slot a valid handle names, with its entry, or null. The fields of
// the handle are cut with the table's own widths.
const HandleSlot* ValidSlot(const HandleTable* t, int handle, void** entry) {
    const PageArray* pages = t->pages.load(std::memory_order_acquire);
    const uint32_t h = uint32_t(handle);
    // The error bit lies above the kind's: a failure result matches no kind.
    if (!pages || h >> kHandleKindShift != uint32_t(t->kind)) return nullptr;
    const uint32_t slot = h & t->slotMask;
    if (slot >= uint32_t(t->maxCapacity)) return nullptr;
    const HandleSlot* page = pages[slot >> kHandlePageShift].load(std::memory_order_acquire);
    if (!page) return nullptr;
    const HandleSlot& s = page[slot & (kHandlePageSlots - 1)];
    void* e = s.entry.load(std::memory_order_acquire);
    if (!e || s.check.load(std::memory_order_relaxed) != (h & ~kHandleKindMask) >> t->slotBits) return nullptr;
    *entry = e;
    return &s;
}

bool Grow(HandleTable* t) {
    const int capacity = t->capacity.load(std::memory_order_relaxed);
    if (t->growBy <= 0 || capacity >= t->maxCapacity) return false;
    const int newCapacity = capacity + t->growBy > t->maxCapacity ? t->maxCapacity : capacity + t->growBy;
    if (!MakePagesLocked(t, t->pages.load(std::memory_order_relaxed), newCapacity)) return false;
    t->capacity.store(newCapacity, std::memory_order_relaxed);
    return true;
}

void ClearSlotLocked(HandleTable* t, HandleSlot& s, int slot) {
    s.entry.store(nullptr, std::memory_order_relaxed);
    t->count.fetch_sub(1, std::memory_order_relaxed);
    if (slot < t->searchStart) t->searchStart = slot;
}

void FreePagesLocked(HandleTable* t) {
    PageArray* pages = t->pages.exchange(nullptr, std::memory_order_relaxed);
    if (!pages) return;
    for (int i = 0; i < PageCount(t->maxCapacity); ++i) FreeMemory(pages[i].load(std::memory_order_relaxed));
    FreeMemory(pages);
}

void ResetFieldsLocked(HandleTable* t) {
    t->kind = t->slotBits = t->maxCapacity = t->growBy = t->searchStart = 0;
    t->slotMask = 0;
    t->capacity.store(0, std::memory_order_relaxed);
    t->count.store(0, std::memory_order_relaxed);
    t->slotsUsed.store(0, std::memory_order_relaxed);
}

}  // namespace

int InitHandleTable(HandleTable* table, int kind, int initialCapacity, int maxCapacity, int growBy) {
    if (!table || kind < 0 || kind >= kHandleKindCount || initialCapacity < 1 ||
        maxCapacity > HandleSlotLimit(kind) || initialCapacity > maxCapacity)
        return -1;
    std::lock_guard<std::mutex> guard(table->lock);
    if (table->pages.load(std::memory_order_relaxed)) return 0;
    void* memory = AllocMemoryZero(sizeof(PageArray) * size_t(PageCount(maxCapacity)), "", 0);
    if (!memory) return -1;
    ResetFieldsLocked(table);
    table->kind = kind;
    table->slotBits = HandleSlotBits(kind);
    table->slotMask = (1u << table->slotBits) - 1;
    table->maxCapacity = maxCapacity;
    table->growBy = growBy;
    auto* pages = new (memory) PageArray[PageCount(maxCapacity)];
    if (!MakePagesLocked(table, pages, initialCapacity)) {
        table->pages.store(pages, std::memory_order_relaxed);
        FreePagesLocked(table);
        ResetFieldsLocked(table);
        return -1;
    }
    table->capacity.store(initialCapacity, std::memory_order_relaxed);
    table->pages.store(pages, std::memory_order_release);
    return 0;
}

int TerminateHandleTable(HandleTable* table) {
    if (!table) return -1;
    std::lock_guard<std::mutex> guard(table->lock);
    FreePagesLocked(table);
    ResetFieldsLocked(table);
    return 0;
}

bool IsHandleTableReady(const HandleTable* table) {
    return table && table->pages.load(std::memory_order_acquire) != nullptr;
}

int AddHandleEntry(HandleTable* table, void* entry, int* handleInEntry) {
    if (!table || !entry) return -1;
    std::lock_guard<std::mutex> guard(table->lock);
    if (!table->pages.load(std::memory_order_relaxed)) return -1;
    if (table->count.load(std::memory_order_relaxed) >= table->capacity.load(std::memory_order_relaxed) &&
        !Grow(table))
        return -1;
    const int capacity = table->capacity.load(std::memory_order_relaxed);
    for (int slot = table->searchStart; slot < capacity; ++slot) {
        HandleSlot& s = SlotLocked(table, slot);
        if (s.entry.load(std::memory_order_relaxed)) continue;
        const uint32_t check = NextCheckId(table->kind);
        const int handle = MakeHandle(table->kind, int(check), slot);
        if (handleInEntry) *handleInEntry = handle;
        s.check.store(check, std::memory_order_relaxed);
        s.entry.store(entry, std::memory_order_release);
        table->count.fetch_add(1, std::memory_order_relaxed);
        table->searchStart = slot + 1;
        if (slot >= table->slotsUsed.load(std::memory_order_relaxed))
            table->slotsUsed.store(slot + 1, std::memory_order_relaxed);
        return handle;
    }
    return -1;
}

int RefuseHandleEntry(HandleTable* table, const char* tableName, const char* whenFull) {
    bool full;
    {
        std::lock_guard<std::mutex> guard(table->lock);
        full = table->pages.load(std::memory_order_relaxed) &&
               table->count.load(std::memory_order_relaxed) >= table->maxCapacity;
    }
    return full ? Refuse("%s", whenFull) : Refuse("out of memory for the %s", tableName);
}

void* LookupHandleEntry(const HandleTable* table, int handle) {
    void* entry = nullptr;
    return table && ValidSlot(table, handle, &entry) ? entry : nullptr;
}

int ReplaceHandleEntry(HandleTable* table, int handle, void* entry) {
    if (!table || !entry) return -1;
    std::lock_guard<std::mutex> guard(table->lock);
    void* old = nullptr;
    auto* s = const_cast<HandleSlot*>(ValidSlot(table, handle, &old));
    if (!s) return -1;
    s->entry.store(entry, std::memory_order_release);
    return 0;
}

int RemoveHandleEntry(HandleTable* table, int handle) { return TakeHandleEntry(table, handle) ? 0 : -1; }

void* TakeHandleEntry(HandleTable* table, int handle) {
    if (!table) return nullptr;
    std::lock_guard<std::mutex> guard(table->lock);
    void* entry = nullptr;
    auto* s = const_cast<HandleSlot*>(ValidSlot(table, handle, &entry));
    if (!s) return nullptr;
    ClearSlotLocked(table, *s, HandleSlotOf(handle));
    return entry;
}

int HandleOfSlot(const HandleTable* table, int slot) {
    if (!table || slot < 0) return -1;
    const HandleSlot* s = FindSlot(table, slot);
    if (!s || !s->entry.load(std::memory_order_acquire)) return -1;
    return MakeHandle(table->kind, int(s->check.load(std::memory_order_relaxed)), slot);
}

int CountHandleEntries(const HandleTable* table) {
    return table ? table->count.load(std::memory_order_relaxed) : 0;
}

int HandleTableCapacity(const HandleTable* table) {
    return table ? table->capacity.load(std::memory_order_relaxed) : 0;
}

int HandleTableSlotsUsed(const HandleTable* table) {
    return table ? table->slotsUsed.load(std::memory_order_relaxed) : 0;
}

namespace {

// What a handle of each kind names, as a refusal says it.
constexpr const char* kHandleKindNouns[kHandleKindCount] = {
    "a model's base data", "a picture", "a sound",          "a movie",    "a font",           "a mask",
    "a connection",        "a text input", "a piece of music", "a light", "a model",          "a software image",
    "a shader",            "a software sound", "a vertex buffer", "an index buffer",
};

}  // namespace

int RefuseHandle(int handle, int kind) {
    if (handle == -1)
        return Refuse("the handle is -1, what a call that failed returns, and names nothing");
    if ((uint32_t(handle) & kHandleErrorBit) || HandleCheckOf(handle) == 0)
        return Refuse("%d is no handle the engine gave", handle);
    const int given = HandleKindOf(handle);
    if (given != kind)
        return Refuse("%d is the handle of %s, not of %s", handle, kHandleKindNouns[given],
                      kHandleKindNouns[kind & 15]);
    return Refuse("%d is the handle of %s that is gone (deleted, or made before the engine last started)", handle,
                  kHandleKindNouns[kind & 15]);
}

void SetHandleChecksIssuedForTesting(int kind, uint64_t issued) {
    HandleIds().issued[kind & 15].store(issued, std::memory_order_relaxed);
}

}  // namespace morpotta
