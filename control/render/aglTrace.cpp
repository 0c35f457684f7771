#include "aglTrace.h"

#include <atomic>
#include <cstdarg>
#include <mutex>

namespace {
std::atomic<std::FILE*> g_stream{nullptr};
std::mutex g_mutex;
} // namespace

void aglSetTraceStream(std::FILE* stream) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_stream.store(stream);
}

void aglTrace(const char* format, ...) {
    if (!g_stream.load()) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    std::FILE* stream = g_stream.load();
    if (!stream) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stream, format, args);
    va_end(args);
    std::fflush(stream);
}
