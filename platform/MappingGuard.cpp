#include "MappingGuard.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {
namespace {

struct Range {
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<int> faults{0};
    std::atomic<bool> used{false};
};

constexpr int kMaxRanges = 4096;
Range g_ranges[kMaxRanges];
std::once_flag g_installOnce;
struct sigaction g_previous {};

void onBus(int sig, siginfo_t* info, void* context) {
    const auto addr = reinterpret_cast<uintptr_t>(info->si_addr);
    for (Range& r : g_ranges) {
        const uintptr_t b = r.begin.load(std::memory_order_acquire);
        const uintptr_t e = r.end.load(std::memory_order_acquire);
        if (b != 0 && addr >= b && addr < e) {
            const uintptr_t pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
            void* page = reinterpret_cast<void*>(addr & ~(pageSize - 1));
            // mmap is a plain system call and safe to use here in practice.
            if (mmap(page, pageSize, PROT_READ | PROT_WRITE,
                     MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) != MAP_FAILED) {
                r.faults.fetch_add(1, std::memory_order_relaxed);
                return;
            }
        }
    }
    // Not ours: behave as if we had never been installed.
    if (g_previous.sa_flags & SA_SIGINFO) {
        if (g_previous.sa_sigaction) {
            g_previous.sa_sigaction(sig, info, context);
            return;
        }
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(sig);
        return;
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

void install() {
    struct sigaction sa {};
    sa.sa_sigaction = onBus;
    sa.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGBUS, &sa, &g_previous);
}

} // namespace

int guardMapping(void* base, size_t length) {
    std::call_once(g_installOnce, install);
    if (!base || length == 0) return -1;
    for (int i = 0; i < kMaxRanges; ++i) {
        bool expected = false;
        if (g_ranges[i].used.compare_exchange_strong(expected, true)) {
            g_ranges[i].faults.store(0);
            g_ranges[i].end.store(reinterpret_cast<uintptr_t>(base) + length,
                                  std::memory_order_release);
            g_ranges[i].begin.store(reinterpret_cast<uintptr_t>(base), std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void unguardMapping(int handle) {
    if (handle < 0 || handle >= kMaxRanges) return;
    g_ranges[handle].begin.store(0, std::memory_order_release);
    g_ranges[handle].end.store(0, std::memory_order_release);
    g_ranges[handle].used.store(false, std::memory_order_release);
}

int faultCount(int handle) {
    if (handle < 0 || handle >= kMaxRanges) return 0;
    return g_ranges[handle].faults.load(std::memory_order_relaxed);
}

} // namespace platform
