// Tracked memory. Every block is preceded by a 64-byte header that names
// where it came from and links it into the list of live blocks; a second
// copy of the identity fields lets a stray write in front of a block be
// noticed before the list is trusted.
#include "engine/memory.h"

#include "engine/log.h"
#include "foundation/memory_internal.h"
#include "platform/lasting_state.h"
#include "foundation/public_call.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

using namespace morpotta;

namespace {

struct BlockHeader {
    const char* name;
    uint32_t id;
    int32_t line;
    size_t size;
    BlockHeader* prev;
    BlockHeader* next;
    // Copy of the identity fields above.
    const char* checkName;
    uint32_t checkId;
    int32_t checkLine;
    size_t checkSize;
};

constexpr size_t kHeaderSize = 64;
static_assert(sizeof(BlockHeader) == kHeaderSize, "the header is 64 bytes");
static_assert(alignof(std::max_align_t) >= 16, "user blocks rely on malloc's 16-byte alignment");

// Far above any real request, and below the point where the sanitizer
// allocators abort instead of returning null. It also keeps size + header
// from wrapping.
constexpr size_t kLargestBlock = sizeof(size_t) >= 8 ? (size_t(1) << 39) : (SIZE_MAX / 2);

struct MemoryState {
    std::mutex mutex;
    BlockHeader* first = nullptr;
    BlockHeader* last = nullptr;
    size_t liveBlocks = 0;
    size_t liveBytes = 0;
    size_t peakBytes = 0;
    uint64_t allocationCount = 0;
    uint32_t nextId = 1;
};

MemoryState& Allocations() {
    return morpotta::platform::LastingState<MemoryState>();
}

BlockHeader* HeaderOf(const void* pointer) {
    return reinterpret_cast<BlockHeader*>(const_cast<unsigned char*>(static_cast<const unsigned char*>(pointer)) -
                                          kHeaderSize);
}

void* UserOf(BlockHeader* h) { return reinterpret_cast<unsigned char*>(h) + kHeaderSize; }

bool HeaderIntact(const BlockHeader* h) {
    return h->name == h->checkName && h->id == h->checkId && h->line == h->checkLine && h->size == h->checkSize;
}

void StampHeader(BlockHeader* h, const char* name, uint32_t id, int line, size_t size) {
    h->name = h->checkName = name;
    h->id = h->checkId = id;
    h->line = h->checkLine = line;
    h->size = h->checkSize = size;
}

void LinkLocked(MemoryState& s, BlockHeader* h) {
    h->prev = s.last;
    h->next = nullptr;
    if (s.last) s.last->next = h;
    else s.first = h;
    s.last = h;
}

void UnlinkLocked(MemoryState& s, BlockHeader* h) {
    if (h->prev) h->prev->next = h->next;
    else s.first = h->next;
    if (h->next) h->next->prev = h->prev;
    else s.last = h->prev;
    h->prev = h->next = nullptr;
}

void AddBytesLocked(MemoryState& s, size_t size) {
    s.liveBytes += size;
    if (s.liveBytes > s.peakBytes) s.peakBytes = s.liveBytes;
}

struct BlockRecord {
    const char* name;
    int line;
    uint32_t id;
    size_t size;
};

// Collects the intact blocks in list order. A damaged header's links are
// not followed: the walk runs forward to the first damaged block and then
// backward from the end to the last one, so one bad header hides nothing
// else.
int CollectLocked(MemoryState& s, std::vector<BlockRecord>* records) {
    int damaged = 0;
    BlockHeader* stop = nullptr;
    for (BlockHeader* h = s.first; h; h = h->next) {
        if (!HeaderIntact(h)) {
            ++damaged;
            stop = h;
            break;
        }
        if (records) records->push_back({h->name, h->line, h->id, h->size});
    }
    if (!stop) return 0;
    std::vector<BlockRecord> tail;
    for (BlockHeader* h = s.last; h && h != stop; h = h->prev) {
        if (!HeaderIntact(h)) {
            ++damaged;
            break;
        }
        if (records) tail.push_back({h->name, h->line, h->id, h->size});
    }
    if (records) records->insert(records->end(), tail.rbegin(), tail.rend());
    return damaged;
}

// A size no block is made at; null.
void* RefuseBlockSize(size_t size) {
    Refuse("%zu bytes, more than a block may hold", size);
    return nullptr;
}

void* RefuseOutOfMemory(size_t size) {
    Refuse("out of memory for %zu bytes", size);
    return nullptr;
}

int RefuseDamagedHeader() { return Refuse("the block's header is damaged"); }

// Above this size a block is not had: the largest block, unless a test
// lowers it to find what the engine says when the host's memory runs out.
// A constant-initialised atomic, as the entries tests swap are: every
// allocation reads it, on any thread, without the accessor's guard.
std::atomic<size_t> largestBlockHad{kLargestBlock};

// The refusal of a block above the size had: null. Cold, so that the
// allocation's own path stays as short as with a constant limit.
[[gnu::cold, gnu::noinline]] void* RefuseSize(size_t size) {
    if (size > kLargestBlock) return RefuseBlockSize(size);
    return RefuseOutOfMemory(size);
}

[[gnu::always_inline]] inline void* Allocate(size_t size, const char* sourceName, int line, bool zero) {
    if (size > largestBlockHad.load(std::memory_order_relaxed)) return RefuseSize(size);
    void* raw = zero ? std::calloc(1, size + kHeaderSize) : std::malloc(size + kHeaderSize);
    if (!raw) return RefuseOutOfMemory(size);
    auto* h = static_cast<BlockHeader*>(raw);
    MemoryState& s = Allocations();
    std::lock_guard<std::mutex> lock(s.mutex);
    StampHeader(h, sourceName, s.nextId++, line, size);
    LinkLocked(s, h);
    ++s.liveBlocks;
    ++s.allocationCount;
    AddBytesLocked(s, size);
    return UserOf(h);
}

const char* SafeName(const char* name) { return name ? name : "(unknown)"; }

}  // namespace

void* AllocMemory(size_t size, const char* sourceName, int line) {
    const PublicCall call("AllocMemory");
    return Allocate(size, sourceName, line, false);
}

void* AllocMemoryZero(size_t size, const char* sourceName, int line) {
    const PublicCall call("AllocMemoryZero");
    return Allocate(size, sourceName, line, true);
}

void* ReallocMemory(void* pointer, size_t size, const char* sourceName, int line) {
    const PublicCall call("ReallocMemory");
    if (!pointer) return Allocate(size, sourceName, line, false);
    if (size == 0) {
        FreeMemory(pointer);
        return nullptr;
    }
    if (size > largestBlockHad.load(std::memory_order_relaxed)) return RefuseSize(size);
    MemoryState& s = Allocations();
    std::unique_lock<std::mutex> lock(s.mutex);
    BlockHeader* h = HeaderOf(pointer);
    if (!HeaderIntact(h)) {
        lock.unlock();
        RefuseDamagedHeader();
        return nullptr;
    }
    // The block leaves the list while it may move; the lock keeps others
    // from seeing the gap.
    size_t oldSize = h->size;
    uint32_t id = h->id;
    UnlinkLocked(s, h);
    auto* moved = static_cast<BlockHeader*>(std::realloc(h, size + kHeaderSize));
    if (!moved) {
        LinkLocked(s, h);
        lock.unlock();
        return RefuseOutOfMemory(size);
    }
    StampHeader(moved, sourceName, id, line, size);
    LinkLocked(s, moved);
    s.liveBytes -= oldSize;
    AddBytesLocked(s, size);
    return UserOf(moved);
}

void FreeMemory(void* pointer) {
    if (!pointer) return;
    const PublicCall call("FreeMemory");
    MemoryState& s = Allocations();
    std::unique_lock<std::mutex> lock(s.mutex);
    BlockHeader* h = HeaderOf(pointer);
    if (!HeaderIntact(h)) {
        // Its links cannot be trusted either: the block is left in place
        // (leaked) rather than unlinked through bad pointers.
        lock.unlock();
        RefuseDamagedHeader();
        return;
    }
    UnlinkLocked(s, h);
    --s.liveBlocks;
    s.liveBytes -= h->size;
    // A second free of the same block then fails the header check.
    h->checkId = ~h->id;
    lock.unlock();
    std::free(h);
}

MemoryTotals GetMemoryTotals() {
    MemoryState& s = Allocations();
    std::lock_guard<std::mutex> lock(s.mutex);
    return {s.liveBlocks, s.liveBytes, s.peakBytes, s.allocationCount};
}

int DumpMemoryBlocks() {
    MemoryState& s = Allocations();
    std::vector<BlockRecord> records;
    int damaged;
    size_t liveBlocks, liveBytes;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        records.reserve(s.liveBlocks);
        damaged = CollectLocked(s, &records);
        liveBlocks = s.liveBlocks;
        liveBytes = s.liveBytes;
    }
    // Logged outside the lock: the log may allocate.
    for (const BlockRecord& r : records)
        WriteLogFormat("%s(%d): block %u, %zu bytes", SafeName(r.name), r.line, unsigned(r.id), r.size);
    if (damaged) WriteLogFormat("%d damaged block header(s) in DumpMemoryBlocks", damaged);
    WriteLogFormat("%zu live blocks, %zu bytes", liveBlocks, liveBytes);
    return int(liveBlocks);
}

int CheckMemoryBlock(const void* pointer) {
    const PublicCall call("CheckMemoryBlock");
    if (!pointer) return RefuseNull("block");
    bool intact;
    {
        std::lock_guard<std::mutex> lock(Allocations().mutex);
        intact = HeaderIntact(HeaderOf(pointer));
    }
    return intact ? 0 : RefuseDamagedHeader();
}

int CheckAllMemoryBlocks() {
    int damaged;
    {
        MemoryState& s = Allocations();
        std::lock_guard<std::mutex> lock(s.mutex);
        damaged = CollectLocked(s, nullptr);
    }
    if (damaged) WriteLogFormat("%d damaged block header(s) in CheckAllMemoryBlocks", damaged);
    return damaged;
}

void FillByteRange(void* destination, int value, size_t count) {
    if (count == 0) return;
    if (!destination) {
        RefuseNullIn("FillByteRange", "destination");
        return;
    }
    std::memset(destination, value, count);
}

void CopyByteRange(void* destination, const void* source, size_t count) {
    if (count == 0) return;
    if (!destination || !source) {
        RefuseNullIn("CopyByteRange", destination ? "source" : "destination");
        return;
    }
    std::memmove(destination, source, count);
}

int CompareMemoryBlock(const void* a, const void* b, size_t count) {
    if (!count || a == b) return 0;
    if (!a || !b) return a ? 1 : -1;
    return std::memcmp(a, b, count);
}

int CompareByteSpan(const void* a, const void* b, size_t count) {
    return CompareMemoryBlock(a, b, count) == 0 ? 0 : 1;
}

namespace morpotta {

void SetMemoryShortForTesting(size_t largestBlock) {
    largestBlockHad.store(largestBlock ? largestBlock : kLargestBlock, std::memory_order_relaxed);
}

}  // namespace morpotta
