// The large-block threshold, and with it the heap's trim threshold, and the
// free top the heap keeps, through glibc's mallopt.
// Other C libraries, and the sanitizers' allocators, keep their own policy.
// Depends on: glibc.
#include "platform/allocator.h"

#include <climits>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace morpotta::platform {

void FixLargeBlockThreshold(size_t bytes) {
#if defined(__GLIBC__)
    if (bytes > size_t(INT_MAX)) bytes = size_t(INT_MAX);
    mallopt(M_MMAP_THRESHOLD, int(bytes));
    // The heap's free top goes back past twice that, as the C library's
    // own rule has it (a rule that earlier large frees may have raised).
    mallopt(M_TRIM_THRESHOLD, bytes > size_t(INT_MAX) / 2 ? INT_MAX : int(bytes * 2));
#else
    (void)bytes;
#endif
}

void KeepFreeHeapTop(size_t bytes) {
#if defined(__GLIBC__)
    mallopt(M_TOP_PAD, bytes > size_t(INT_MAX) ? INT_MAX : int(bytes));
#else
    (void)bytes;
#endif
}

}  // namespace morpotta::platform
