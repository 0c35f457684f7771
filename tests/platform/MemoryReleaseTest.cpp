// dropPagesInSteps: only whole pages inside the range are given back.
#include "MemoryRelease.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

bool resident(const uint8_t* page) {
    unsigned char in = 0;
    return mincore(const_cast<uint8_t*>(page), 1, &in) == 0 && (in & 1) != 0;
}

} // namespace

// A range that starts and ends inside pages and crosses several large-page
// boundaries: the partial pages at its ends and everything outside keep
// their bytes; the whole pages inside read zero and are no longer resident.
TEST(MemoryRelease, DropsTheWholePagesInsideTheRangeAndNothingElse) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t length = (size_t(9) << 20) + 3 * page;
    void* map = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    auto* base = static_cast<uint8_t*>(map);
    std::memset(base, 0xAB, length);
    const size_t from = page + 100;        // inside the second page
    const size_t to = length - page - 200; // inside the second last page
    platform::dropPagesInSteps(base + from, to - from);

    const size_t firstWhole = 2 * page, endWhole = length - 2 * page;
    std::vector<size_t> kept, dropped;
    for (size_t at = 0; at < length; at += page / 4) {
        const bool inside = at >= firstWhole && at < endWhole;
        (inside ? dropped : kept).push_back(at);
    }
    for (size_t at : {from - 1, from, firstWhole - 1, endWhole, to - 1, to, length - 1})
        kept.push_back(at);
    for (size_t at : kept)
        ASSERT_EQ(base[at], 0xAB) << "byte " << at << " outside the whole pages changed";
    int stillResident = 0;
    for (size_t at = firstWhole; at < endWhole; at += page)
        stillResident += resident(base + at);
    EXPECT_EQ(stillResident, 0);
    for (size_t at : dropped)
        ASSERT_EQ(base[at], 0) << "byte " << at;
    munmap(map, length);
}

TEST(MemoryRelease, ARangeWithinOnePageDropsNothing) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    void* map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    auto* base = static_cast<uint8_t*>(map);
    std::memset(base, 0x5A, 2 * page);
    platform::dropPagesInSteps(base + 1, page - 2);
    platform::dropPagesInSteps(base + page - 10, 20); // across the boundary
    platform::dropPagesInSteps(base, 0);
    for (size_t at = 0; at < 2 * page; ++at)
        ASSERT_EQ(base[at], 0x5A) << "byte " << at;
    munmap(map, 2 * page);
}
