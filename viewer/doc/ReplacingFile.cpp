#include "ReplacingFile.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ReplacingFile::~ReplacingFile() {
    discard();
}

void ReplacingFile::setError(const char* what, int err) {
    m_error = std::string(what) + ": " + std::strerror(err);
}

bool ReplacingFile::open(const std::string& path) {
    discard();
    m_error.clear();
    m_target = path;
    mode_t mode = 0666;
    bool exists = false;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            m_error = "not a regular file";
            return false;
        }
        exists = true;
        mode = st.st_mode & 07777;
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            m_target = real;
            std::free(real);
        }
    }
    const size_t slash = m_target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : m_target.substr(0, slash);
    const std::string base = slash == std::string::npos ? m_target : m_target.substr(slash + 1);

    static std::atomic<unsigned> s_counter{0};
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_temp = folder + "/." + base + "." + std::to_string(::getpid()) + "-" +
                 std::to_string(s_counter++) + ".tmp";
        m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (m_fd < 0 && errno != EEXIST) break;
    }
    if (m_fd < 0) {
        setError("create", errno);
        m_temp.clear();
        return false;
    }
    // An existing file keeps its permissions; a new one gets the umask's.
    if (exists) (void)::fchmod(m_fd, mode);
    return true;
}

bool ReplacingFile::write(const void* data, size_t length) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = ::write(m_fd, p, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            setError("write", n == 0 ? ENOSPC : errno);
            return false;
        }
        p += n;
        length -= size_t(n);
    }
    return true;
}

bool ReplacingFile::commit() {
    if (m_fd < 0) {
        if (m_error.empty()) m_error = "nothing to write";
        return false;
    }
    // close() can report a deferred write error (NFS, quotas): it counts.
    const int closed = ::close(m_fd);
    const int closeError = errno;
    m_fd = -1;
    if (closed != 0) {
        setError("close", closeError);
        discard();
        return false;
    }
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        setError("replace", errno);
        discard();
        return false;
    }
    m_temp.clear();
    return true;
}

void ReplacingFile::discard() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temp.empty()) ::unlink(m_temp.c_str());
    m_temp.clear();
}
