#include "MemoryRelease.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace platform {

void dropPagesInSteps(void* data, size_t bytes) {
    // Steps end on large-page boundaries, so a large page is dropped whole
    // rather than split.
    constexpr uintptr_t kStep = uintptr_t(2) << 20;
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (uintptr_t(data) + page - 1) & ~(page - 1);
    const uintptr_t end = (uintptr_t(data) + bytes) & ~(page - 1);
    for (uintptr_t at = begin; at < end;) {
        const uintptr_t boundary = (at + kStep) & ~(kStep - 1);
        const uintptr_t next = boundary < end ? boundary : end;
        madvise(reinterpret_cast<void*>(at), size_t(next - at), MADV_DONTNEED);
        at = next;
    }
}

void takePages(void* data, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    // The advice wants whole pages.
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = uintptr_t(data) & ~(page - 1);
    const uintptr_t end = (uintptr_t(data) + bytes + page - 1) & ~(page - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), size_t(end - begin), MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)bytes;
#endif
}

bool useOneLargePageHeap(size_t reserve) {
    const int pad = reserve > size_t(INT_MAX) ? INT_MAX : int(reserve);
    if (mallopt(M_ARENA_MAX, 1) != 1) return false;
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, -1); // never gives back
    mallopt(M_TOP_PAD, pad);
    // A block larger than all the heap has free makes it grow by the pad
    // now; the advice then covers what it grew by (later growth, if any,
    // keeps small pages).
    const size_t probeSize = mallinfo2().fordblks + (size_t(1) << 20);
    char* const before = static_cast<char*>(sbrk(0));
    // (Volatile: a block that nothing uses may be optimised away.)
    void* volatile probe = std::malloc(probeSize);
    std::free(probe);
    char* const after = static_cast<char*>(sbrk(0));
    if (before == reinterpret_cast<char*>(-1) || after <= before) return false;
    constexpr uintptr_t kLarge = uintptr_t(2) << 20;
    const uintptr_t begin = (uintptr_t(before) + kLarge - 1) & ~(kLarge - 1);
    const uintptr_t end = uintptr_t(after) & ~(kLarge - 1);
    return end > begin &&
           madvise(reinterpret_cast<void*>(begin), size_t(end - begin), MADV_HUGEPAGE) == 0;
}

} // namespace platform
