// A whole file mapped read-only, for readers that parse a file in one go
// (bitmaps, agl ASCII text, the tools). The mapping is registered with the
// SIGBUS guard, so a file that another program cuts short while it is read
// gives zeros instead of killing the process, and torn() says so afterwards:
// whatever was parsed from a torn file must be thrown away.
//
// Only regular files open (a FIFO or a device never blocks the caller). An
// empty file opens with size 0 and no data. The descriptor is closed once the
// file is mapped. Owned by one thread at a time.
#pragma once

#include "FileStamp.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class MappedFile {
public:
    MappedFile() = default;
    explicit MappedFile(const std::string& path) { open(path); }
    ~MappedFile() { close(); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Maps path, dropping any earlier mapping; false when it cannot be
    // opened, is not a regular file or cannot be mapped.
    bool open(const std::string& path);
    void close();

    bool isOpen() const { return m_open; }
    // The bytes; nullptr when nothing is mapped (not open, or empty).
    const uint8_t* data() const { return m_data; }
    const char* chars() const { return reinterpret_cast<const char*>(m_data); }
    size_t size() const { return m_size; }
    // The file as it was when it was mapped.
    const FileStamp& stamp() const { return m_stamp; }
    // True when the file shrank under the mapping since it was opened.
    bool torn() const;

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    int m_guard = -1;
    bool m_open = false;
    FileStamp m_stamp;
};

} // namespace platform
