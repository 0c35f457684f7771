#include "HdfPlaneSession.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// An answer is one short line; a helper that says more is not believed.
constexpr size_t kMaxAnswer = 4096;

} // namespace

HdfPlaneSession::HdfPlaneSession(std::string helperPath, const CHdfSds& sds)
    : m_helper(std::move(helperPath)), m_file(sds.filePath), m_location(sds.location),
      m_index(sds.index), m_unpacked(sds.unpacked) {}

HdfPlaneSession::~HdfPlaneSession() {
    stop();
}

bool HdfPlaneSession::serves(const CHdfSds& sds, const std::string& helperPath) const {
    return helperPath == m_helper && sds.filePath == m_file && sds.location == m_location &&
           (!m_location.empty() || sds.index == m_index) && sds.unpacked == m_unpacked;
}

bool HdfPlaneSession::launch(std::string& reason) {
    // One socket for both ways: the helper's standard input and output. A
    // socket, unlike a pipe, lets a write to a helper that has died fail
    // (MSG_NOSIGNAL) instead of raising SIGPIPE in this process.
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pair[1], 0);
    posix_spawn_file_actions_adddup2(&actions, pair[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attr;
    initHelperSpawnAttributes(attr);
    // HDF4 data sets go by their index, HDF5 data sets by their path,
    // NetCDF variables by their name.
    const std::string kind = m_location.empty() ? "sds" : m_location[0] == '/' ? "h5" : "nc";
    std::vector<std::string> args = {m_helper, "planes", kind, m_file,
                                     m_location.empty() ? std::to_string(m_index) : m_location};
    if (m_unpacked) args.emplace_back("unpack");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&m_pid, m_helper.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(pair[1]);
    if (rc != 0) {
        ::close(pair[0]);
        m_pid = -1;
        reason = "cannot start " + m_helper + ": " + std::strerror(rc);
        return false;
    }
    m_socket = pair[0];
    return true;
}

void HdfPlaneSession::stop() {
    if (m_socket >= 0) ::close(m_socket);
    m_socket = -1;
    if (m_pid > 0) {
        // Its input is gone, so a sound helper is ending already; one that
        // is not goes now.
        ::kill(m_pid, SIGKILL);
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    m_pid = -1;
}

bool HdfPlaneSession::exchange(const std::string& request, int timeoutMs,
                               const std::atomic<bool>* cancel, std::string& answer,
                               std::string& reason) {
    m_cancelled = false;
    if (m_socket < 0 && !launch(reason)) return false;
    auto fail = [&](const std::string& why) {
        stop(); // the next request starts afresh
        reason = why;
        return false;
    };
    // The helper's end, found on its socket: how it ended.
    auto ended = [&] {
        int status = 0;
        const pid_t pid = m_pid;
        m_pid = -1;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return fail(WIFSIGNALED(status) ? "the HDF reader crashed" : "the HDF reader ended");
    };
    for (size_t sent = 0; sent < request.size();) {
        const ssize_t n =
            ::send(m_socket, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return ended();
        sent += size_t(n);
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    answer.clear();
    // A cancel is looked for between short polls.
    const long long slice = cancel ? 20 : 1000;
    while (answer.find('\n') == std::string::npos) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            m_cancelled = true;
            return fail(kHdfCancelledReason);
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return fail("the HDF reader did not finish in time");
        pollfd fd = {m_socket, POLLIN, 0};
        const int n = ::poll(&fd, 1, int(std::min<long long>(left, slice)));
        if (n < 0 && errno != EINTR) return fail(std::strerror(errno));
        if (n <= 0) continue;
        char buf[512];
        const ssize_t got = ::recv(m_socket, buf, sizeof buf, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return ended(); // it closed its end: it ended, or a signal ended it
        answer.append(buf, size_t(got));
        if (answer.size() > kMaxAnswer) return fail("the HDF reader's answer is malformed");
    }
    answer.resize(answer.find('\n'));
    if (answer.rfind("error ", 0) == 0) {
        // The helper refused this request and waits for the next.
        reason = answer.substr(6);
        return false;
    }
    return true;
}

bool HdfPlaneSession::read(const aglSegment& segment, const int32_t* start, int timeoutMs,
                           const std::atomic<bool>* cancel, int64_t& imprecise,
                           std::string& reason) {
    imprecise = 0;
    std::string request = segment.name() + " ";
    for (int d = 0; d < segment.dimCount(); ++d)
        request += (d ? "," : "") + std::to_string(start[d]);
    request += '\n';
    std::string answer;
    if (!exchange(request, timeoutMs, cancel, answer, reason)) return false;
    if (answer.rfind("ok ", 0) == 0) {
        char* end = nullptr;
        const long long n = std::strtoll(answer.c_str() + 3, &end, 10);
        if (*end == '\0' && n >= 0) {
            imprecise = n;
            return true;
        }
    }
    stop();
    reason = "the HDF reader's answer is malformed";
    return false;
}

bool HdfPlaneSession::findRange(int type, const std::vector<int32_t>& extents, int timeoutMs,
                                const std::atomic<bool>* cancel, double& minimum, double& maximum,
                                bool& found, std::string& reason) {
    found = false;
    std::string request = "range " + std::to_string(type) + " ";
    for (size_t d = 0; d < extents.size(); ++d)
        request += (d ? "," : "") + std::to_string(extents[d]);
    request += '\n';
    std::string answer;
    if (!exchange(request, timeoutMs, cancel, answer, reason)) return false;
    if (answer == "range none") return true;
    char* end = nullptr;
    if (answer.rfind("range ", 0) == 0) {
        const double lo = std::strtod(answer.c_str() + 6, &end);
        const double hi = *end == ' ' ? std::strtod(end + 1, &end) : 0.0;
        if (*end == '\0' && std::isfinite(lo) && std::isfinite(hi) && lo <= hi) {
            minimum = lo;
            maximum = hi;
            found = true;
            return true;
        }
    }
    stop();
    reason = "the HDF reader's answer is malformed";
    return false;
}
