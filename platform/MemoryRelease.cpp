#include "MemoryRelease.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

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

} // namespace platform
