#include "MappedFile.h"

#include "MappingGuard.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

bool MappedFile::open(const std::string& path) {
    close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    m_stamp = FileStamp::ofDescriptor(fd);
    bool ok = m_stamp.isRegularFile();
    if (ok && m_stamp.size > 0) {
        void* p = ::mmap(nullptr, size_t(m_stamp.size), PROT_READ, MAP_SHARED, fd, 0);
        if (p == MAP_FAILED) {
            ok = false;
        } else {
            m_data = static_cast<const uint8_t*>(p);
            m_size = size_t(m_stamp.size);
            m_guard = guardMapping(p, m_size);
        }
    }
    ::close(fd);
    m_open = ok;
    return ok;
}

void MappedFile::close() {
    if (m_data) {
        if (m_guard >= 0) unguardMapping(m_guard);
        ::munmap(const_cast<uint8_t*>(m_data), m_size);
    }
    m_data = nullptr;
    m_size = 0;
    m_guard = -1;
    m_open = false;
    m_stamp = FileStamp{};
}

bool MappedFile::torn() const {
    return m_guard >= 0 && faultCount(m_guard) > 0;
}

} // namespace platform
