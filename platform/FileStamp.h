// One look at a file through stat(): which file it is (device and inode), its
// size and its last write time. Two stamps of the same path taken apart say
// whether the file was rewritten, cut, grown or replaced in between; this is
// how the viewer notices a file another program changed, and how the writer
// refuses to put a trailer into a file that is no longer the one it read.
#pragma once

#include <cstdint>
#include <string>

struct stat;

namespace platform {

struct FileStamp {
    bool valid = false;   // the stat succeeded
    bool regular = false; // a regular file: not a folder, FIFO, device or socket
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = -1;  // bytes
    int64_t timeNs = 0; // last write, nanoseconds since the epoch

    // The stamp of what path names now (links followed), of an open
    // descriptor, or of a stat() result. Invalid when the stat fails. Any thread.
    static FileStamp ofPath(const std::string& path);
    static FileStamp ofDescriptor(int fd);
    static FileStamp ofStat(const struct stat& st);

    bool isRegularFile() const { return valid && regular; }
    // Both stamps are of one file (possibly at different times).
    bool isSameFile(const FileStamp& other) const {
        return device == other.device && inode == other.inode;
    }
    // True when now, a later stamp of the same path, shows another file, another
    // size or a newer write. A write time that went backwards (a restored
    // backup over the same inode and size) is not a change.
    bool changedIn(const FileStamp& now) const {
        return !isSameFile(now) || now.size != size || now.timeNs > timeNs;
    }
};

} // namespace platform
