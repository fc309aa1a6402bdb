// The heap counter of heap_peak.h: malloc and its kin are replaced in this
// program by wrappers that count the usable size of every block.
#include "heap_peak.h"

#include <malloc.h>

namespace heap_peak {

std::atomic<size_t> g_liveBytes{0};
std::atomic<size_t> g_peakBytes{0};
std::atomic<bool> g_off{false};

namespace {

void CountIn(void* p) {
    if (!p || g_off.load(std::memory_order_relaxed)) return;
    size_t live = g_liveBytes += malloc_usable_size(p);
    size_t peak = g_peakBytes.load();
    while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live)) {
    }
}
void CountOut(void* p) {
    if (p && !g_off.load(std::memory_order_relaxed)) g_liveBytes -= malloc_usable_size(p);
}

}  // namespace
}  // namespace heap_peak

using heap_peak::CountIn;
using heap_peak::CountOut;

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* p);

void* malloc(size_t size) {
    void* p = __libc_malloc(size);
    CountIn(p);
    return p;
}
void* calloc(size_t count, size_t size) {
    void* p = __libc_calloc(count, size);
    CountIn(p);
    return p;
}
void* realloc(void* old, size_t size) {
    CountOut(old);
    void* p = __libc_realloc(old, size);
    CountIn(p ? p : (size ? old : nullptr));
    return p;
}
void* memalign(size_t alignment, size_t size) {
    void* p = __libc_memalign(alignment, size);
    CountIn(p);
    return p;
}
void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }
int posix_memalign(void** out, size_t alignment, size_t size) {
    void* p = memalign(alignment, size);
    if (!p) return 12;  // ENOMEM
    *out = p;
    return 0;
}
void free(void* p) {
    CountOut(p);
    __libc_free(p);
}
}
