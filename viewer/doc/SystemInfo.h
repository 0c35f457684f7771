// The About dialog's system information: the screen's colour depth, the
// graph control's OpenGL version and renderer, and the machine's memory as
// the kernel reports it (/proc/meminfo, else sysinfo(2)). Sizes are kept in
// bytes, 64-bit, so machines with more than 4 GiB are counted right. Any
// thread.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace system_info {

// The kernel's memory figures, in bytes.
struct Memory {
    uint64_t physicalTotal = 0;
    uint64_t committed = 0; // what the system has promised to processes
    uint64_t swapTotal = 0; // the page file
    uint64_t swapFree = 0;
};

// Reads the figures from the text of /proc/meminfo ("MemTotal:",
// "Committed_AS:", "SwapTotal:", "SwapFree:", each in kB). Nothing when
// MemTotal is missing or unreadable.
std::optional<Memory> parseMeminfo(const std::string& text);
// This machine's figures: /proc/meminfo, else sysinfo(2), else all 0.
Memory readMemory();

// The lines of the dialog, joined with "\r\n". glVersion and glRenderer are
// empty when there is no control (the labels then stand alone). The page
// file usage is 0 % on a machine without swap.
QString systemInfoText(int bitsPerPixel, const QString& glVersion, const QString& glRenderer,
                       const Memory& memory);

} // namespace system_info
