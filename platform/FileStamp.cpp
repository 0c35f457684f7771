#include "FileStamp.h"

#include <sys/stat.h>

namespace platform {

FileStamp FileStamp::ofStat(const struct stat& st) {
    FileStamp s;
    s.valid = true;
    s.regular = S_ISREG(st.st_mode);
    s.device = uint64_t(st.st_dev);
    s.inode = uint64_t(st.st_ino);
    s.size = int64_t(st.st_size);
    s.timeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

FileStamp FileStamp::ofPath(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? ofStat(st) : FileStamp{};
}

FileStamp FileStamp::ofDescriptor(int fd) {
    struct stat st {};
    return fd >= 0 && ::fstat(fd, &st) == 0 ? ofStat(st) : FileStamp{};
}

} // namespace platform
