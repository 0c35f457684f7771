// ReplacingFile: writes a file that replaces its target only when complete.
//
// The bytes go to a new file in the target's folder; commit() closes it,
// checking the close, and renames it over the target. Until then the target
// is untouched, so a failed write (a full disk, a write error reported only
// at close) leaves the old file as it was, and a program may write a file
// from data it has mapped from that very file. A target that exists and is
// not a regular file (a named pipe, a device such as /dev/full) is refused
// at open: writing to it would block, or report success for bytes that went
// nowhere. A symbolic link is followed: the file it names is replaced.
//
// One thread at a time; nothing is thrown. Errors are text ("write: No space
// left on device") for the caller's message.
#pragma once

#include <string>

class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile(); // discards an uncommitted file
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the new file for target path; false with error() on failure.
    bool open(const std::string& path);
    // Descriptor to write to (-1 before a successful open).
    int descriptor() const { return m_fd; }
    // Writes all of [data, data + length); false with error() on failure.
    bool write(const void* data, size_t length);
    // Closes the new file and puts it in the target's place.
    bool commit();
    // Closes and removes the new file; the target stays as it was.
    void discard();

    const std::string& error() const { return m_error; }
    // Records a failure of the caller's own writes through descriptor().
    void setError(const char* what, int err);

private:
    int m_fd = -1;
    std::string m_temp, m_target, m_error;
};
