#include "SystemInfo.h"

#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/sysinfo.h>

namespace system_info {

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

// The value of "Name:   1234 kB" in bytes, or nothing.
std::optional<uint64_t> field(const std::string& text, const char* name) {
    const std::string key = std::string("\n") + name + ":";
    const std::string padded = "\n" + text;
    const size_t at = padded.find(key);
    if (at == std::string::npos) return std::nullopt;
    const char* p = padded.c_str() + at + key.size();
    char* end = nullptr;
    errno = 0;
    const unsigned long long kib = std::strtoull(p, &end, 10);
    if (end == p || errno == ERANGE || kib > UINT64_MAX / 1024) return std::nullopt;
    return uint64_t(kib) * 1024;
}

} // namespace

std::optional<Memory> parseMeminfo(const std::string& text) {
    const auto total = field(text, "MemTotal");
    if (!total) return std::nullopt;
    Memory m;
    m.physicalTotal = *total;
    m.committed = field(text, "Committed_AS").value_or(0);
    m.swapTotal = field(text, "SwapTotal").value_or(0);
    m.swapFree = field(text, "SwapFree").value_or(0);
    // A swap that reports more free than total is read as full-free.
    if (m.swapFree > m.swapTotal) m.swapFree = m.swapTotal;
    return m;
}

Memory readMemory() {
    std::ifstream in("/proc/meminfo");
    if (in) {
        std::stringstream text;
        text << in.rdbuf();
        if (auto m = parseMeminfo(text.str())) return *m;
    }
    struct sysinfo s {};
    if (sysinfo(&s) != 0) return {};
    const uint64_t unit = s.mem_unit ? s.mem_unit : 1;
    Memory m;
    m.physicalTotal = uint64_t(s.totalram) * unit;
    m.swapTotal = uint64_t(s.totalswap) * unit;
    m.swapFree = uint64_t(s.freeswap) * unit;
    // sysinfo knows no commit charge: what is in use of memory and swap.
    m.committed = m.physicalTotal -
                  std::min<uint64_t>(m.physicalTotal, uint64_t(s.freeram) * unit) +
                  (m.swapTotal - std::min(m.swapTotal, m.swapFree));
    return m;
}

QString systemInfoText(int bitsPerPixel, const QString& glVersion, const QString& glRenderer,
                       const Memory& memory) {
    const uint64_t swapUsage =
        memory.swapTotal == 0 ? 0
                              : 100 - uint64_t(double(std::min(memory.swapFree, memory.swapTotal)) /
                                               double(memory.swapTotal) * 100.0);
    const QStringList lines = {
        QString("Color Resolution: %1 bit color").arg(bitsPerPixel),
        "OpenGL Version: " + glVersion,
        "OpenGL Renderer: " + glRenderer,
        QString("Physical Memory: %1M").arg(memory.physicalTotal / kMiB + 1),
        QString("Commited Memory: %1M").arg(memory.committed / kMiB),
        QString("Page File Size: %1M").arg(memory.swapTotal / kMiB),
        QString("Page File Usage: %1%").arg(swapUsage),
    };
    return lines.join("\r\n");
}

} // namespace system_info
