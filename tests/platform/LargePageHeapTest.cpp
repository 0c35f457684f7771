// useOneLargePageHeap, checked in a process of its own (the advice is for
// the whole process and cannot be taken back): blocks of every thread come
// from the one heap, the heap keeps what it is given back, and it carries
// the large-page advice wherever the kernel has large pages.
#include "MemoryRelease.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// The mapping that holds `p`, from /proc/self/smaps: its name ("[heap]",
// a file, or empty) and whether the large-page advice is on it.
struct Mapping {
    std::string name;
    bool largePages = false;
};

Mapping mappingOf(const void* p) {
    std::ifstream smaps("/proc/self/smaps");
    Mapping found;
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        unsigned long begin = 0, end = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &begin, &end) == 2 &&
            line.find(' ') == line.find_first_of(' ')) {
            if (inside) break;
            inside = uintptr_t(p) >= begin && uintptr_t(p) < end;
            if (inside) {
                std::istringstream fields(line);
                std::string skip;
                for (int k = 0; k < 5; ++k)
                    fields >> skip;
                fields >> found.name;
            }
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            found.largePages = line.find(" hg") != std::string::npos;
        }
    }
    return found;
}

bool kernelHasLargePages() {
    std::ifstream f("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string modes;
    std::getline(f, modes);
    return !modes.empty() && modes.find("[never]") == std::string::npos;
}

int fail(const char* why) {
    std::fprintf(stderr, "%s\n", why);
    return 1;
}

int heapChild() {
    const bool advised = platform::useOneLargePageHeap(size_t(64) << 20);
    if (!advised && kernelHasLargePages()) return fail("the heap did not take the advice");
    void* volatile mine = std::malloc(size_t(8) << 20);
    void* volatile theirs = nullptr;
    std::thread([&] { theirs = std::malloc(size_t(8) << 20); }).join();
    // (The middle of each block: its first bytes may come from before the
    // heap grew.)
    const size_t middle = size_t(4) << 20;
    const Mapping a = mappingOf(static_cast<char*>(mine) + middle);
    const Mapping b = mappingOf(static_cast<char*>(theirs) + middle);
    if (a.name != "[heap]") return fail("a large block of the main thread is outside the heap");
    if (b.name != "[heap]") return fail("another thread's block is outside the heap");
    if (advised && !(a.largePages && b.largePages)) return fail("the blocks lack large pages");
    // Beyond the reserve: the heap grows, and keeps all it grew by.
    std::vector<void*> more;
    for (int k = 0; k < 8; ++k)
        more.push_back(std::malloc(size_t(16) << 20));
    void* const top = sbrk(0);
    for (void* p : more)
        std::free(p);
    std::free(mine);
    std::free(theirs);
    if (sbrk(0) != top) return fail("the heap gave memory back");
    return 0;
}

} // namespace

TEST(LargePageHeap, EveryThreadTakesItsBlocksFromTheOneHeapAndItKeepsThem) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's allocator stands in for the heap";
#endif
    // A fresh process: no arena of an earlier thread to be handed.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(heapChild()), testing::ExitedWithCode(0), "");
}
