#include "HdfHelper.h"

#include "aglSegment.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Bounds on what the helper may write: a list of a million objects fits.
constexpr size_t kMaxOutput = size_t(512) << 20;
constexpr size_t kMaxErrorOutput = 64u << 10;

std::string ownDirectory() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, size_t(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

struct Pipe {
    int fd[2] = {-1, -1};
    ~Pipe() {
        for (int f : fd)
            if (f >= 0) ::close(f);
    }
    bool open() { return ::pipe2(fd, O_CLOEXEC) == 0; }
    void closeEnd(int i) {
        if (fd[i] >= 0) ::close(fd[i]);
        fd[i] = -1;
    }
};

std::string firstLine(const std::string& text) {
    const size_t nl = text.find('\n');
    return nl == std::string::npos ? text : text.substr(0, nl);
}

} // namespace

void initHelperSpawnAttributes(posix_spawnattr_t& attr) {
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

namespace {

// Whole seconds from variable, 1 to 3600; fallbackMs when it is unset or
// anything else (said once on stderr, so a mistyped limit is not silently
// the default).
int secondsFromEnvironment(const char* variable, int fallbackMs, std::atomic<bool>& said) {
    const char* text = std::getenv(variable);
    if (!text || !*text) return fallbackMs;
    char* end = nullptr;
    errno = 0;
    const long seconds = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || seconds < 1 || seconds > 3600) {
        if (!said.exchange(true))
            std::fprintf(stderr,
                         "tavrix: %s=%s is not a whole number of seconds from 1 to 3600; "
                         "%d s is used\n",
                         variable, text, fallbackMs / 1000);
        return fallbackMs;
    }
    return int(seconds * 1000);
}

std::atomic<bool> g_listLimitSaid{false}, g_readLimitSaid{false};

} // namespace

int HdfHelper::configuredListTimeoutMs() {
    return secondsFromEnvironment("TAVRIX_HDF_LIST_TIMEOUT", kListTimeoutMs, g_listLimitSaid);
}

int HdfHelper::configuredReadTimeoutMs() {
    return secondsFromEnvironment("TAVRIX_HDF_READ_TIMEOUT", kReadTimeoutMs, g_readLimitSaid);
}

HdfHelper::HdfHelper() : m_path(defaultHelperPath()) {}

HdfHelper::HdfHelper(std::string helperPath) : m_path(std::move(helperPath)) {}

std::string HdfHelper::defaultHelperPath() {
    if (const char* env = std::getenv("TAVRIX_HDF_HELPER"); env && *env) return env;
    return ownDirectory() + "/tavrix-hdf";
}

HdfHelper::Outcome HdfHelper::run(const std::vector<std::string>& args, int timeoutMs,
                                  const std::atomic<bool>* cancel) const {
    Outcome o;
    Pipe out, err;
    if (!out.open() || !err.open()) {
        o.err = std::strerror(errno);
        return o;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);
    posix_spawnattr_t attr;
    initHelperSpawnAttributes(attr);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(m_path.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, m_path.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    out.closeEnd(1);
    err.closeEnd(1);
    if (rc != 0) {
        o.err = "cannot start " + m_path + ": " + std::strerror(rc);
        return o;
    }
    o.started = true;

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool outOpen = true, errOpen = true;
    char buf[65536];
    // A cancel is looked for between short polls: it comes from another
    // thread, which then waits for this call to return.
    const long long slice = cancel ? 20 : 1000;
    auto cancelled = [&] { return cancel && cancel->load(std::memory_order_relaxed); };
    while (outOpen || errOpen) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (cancelled()) {
            o.cancelled = true;
            break;
        }
        if (left <= 0) {
            o.timedOut = true;
            break;
        }
        pollfd fds[2] = {{out.fd[0], short(outOpen ? POLLIN : 0), 0},
                         {err.fd[0], short(errOpen ? POLLIN : 0), 0}};
        const int n = ::poll(fds, 2, int(std::min<long long>(left, slice)));
        if (n < 0 && errno != EINTR) break;
        for (int i = 0; i < 2 && n > 0; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
            if (got <= 0) {
                (i == 0 ? outOpen : errOpen) = false;
                continue;
            }
            std::string& into = i == 0 ? o.out : o.err;
            const size_t cap = i == 0 ? kMaxOutput : kMaxErrorOutput;
            if (into.size() + size_t(got) > cap) {
                // A helper that writes without end is as bad as one that hangs.
                o.timedOut = true;
                outOpen = errOpen = false;
                break;
            }
            into.append(buf, size_t(got));
        }
    }
    // Both streams are closed (or the time is up): the process should be
    // ending; one that lingers past the deadline is killed all the same.
    int status = 0;
    for (;;) {
        const bool stop = o.timedOut || o.cancelled;
        if (stop) ::kill(pid, SIGKILL);
        const pid_t w = ::waitpid(pid, &status, stop ? 0 : WNOHANG);
        if (w == pid) break;
        if (w < 0 && errno != EINTR) {
            status = -1;
            break;
        }
        if (w == 0) {
            if (cancelled())
                o.cancelled = true;
            else if (Clock::now() >= deadline)
                o.timedOut = true;
            else
                ::usleep(1000);
        }
    }
    if (!o.timedOut && !o.cancelled && status != -1) {
        if (WIFEXITED(status))
            o.exitCode = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            o.crashed = true;
    }
    return o;
}

std::string HdfHelper::describe(const Outcome& o) const {
    if (!o.started) return o.err;
    if (o.cancelled) return kHdfCancelledReason;
    if (o.timedOut) return "the HDF reader did not finish in time";
    if (o.crashed) return "the HDF reader crashed";
    const std::string line = firstLine(o.err);
    return line.empty() ? "the HDF reader failed" : line;
}

HdfHelper::Outcome HdfHelper::runWaiting(const std::vector<std::string>& args, int timeoutMs,
                                         const std::string& what, const HdfWait& wait) {
    Outcome o;
    if (wait) {
        std::atomic<bool> cancel{false};
        wait(
            what, [&] { o = run(args, timeoutMs, &cancel); }, cancel);
    } else {
        o = run(args, timeoutMs);
    }
    m_crashed = o.crashed;
    m_timedOut = o.timedOut;
    m_cancelled = o.cancelled;
    return o;
}

bool HdfHelper::list(const std::string& file, HdfObjectList& objects, std::string& reason,
                     const HdfWait& wait) {
    objects.clear();
    const Outcome o =
        runWaiting({"list", file}, m_listTimeoutMs, "Listing the objects of " + file, wait);
    if (!o.started || o.timedOut || o.cancelled || o.crashed || o.exitCode != 0) {
        reason = describe(o);
        return false;
    }
    return decodeHdfObjects(o.out, file, objects, reason);
}

std::unique_ptr<aglArray> HdfHelper::makePlaneArray(const CHdfSds& sds, const HdfPlane& plane,
                                                    std::string& reason, int32_t* start) {
    int32_t extents[agl::kMaxDims] = {};
    int32_t own[agl::kMaxDims] = {};
    if (!start) start = own;
    if (!sds.hasContent || !hdfPlaneShape(sds, plane, extents, start)) {
        reason = "the plane does not fit the data set";
        return nullptr;
    }
    // HDF4 data sets are Fortran arrays from 1, the others C arrays from 0,
    // as when they are read whole.
    const bool hdf4 = sds.location.empty();
    aglSegment segment;
    if (!segment.create(nullptr, sds.rank, extents, sds.unpacked ? AGL_DOUBLE : sds.typeCode,
                        hdf4 ? AGL_LANG_FORTRAN : AGL_LANG_C)) {
        reason = std::string("cannot make a segment: ") + agl::errorName(segment.takeError());
        return nullptr;
    }
    for (int d = 0; d < sds.rank; ++d)
        segment.setLowerBound(d, hdf4 ? 1 : 0);
    auto array = std::make_unique<aglArray>();
    if (!array->open(segment.name(), true)) {
        reason = std::string("cannot map the segment: ") + agl::errorName(array->takeError());
        return nullptr;
    }
    array->setRowDim(plane.rowDim);
    array->setColDim(plane.colDim);
    return array;
}

std::unique_ptr<aglArray> HdfHelper::makeArray(const CHdfObject& object, std::string& reason,
                                               const HdfWait& wait, const HdfPlane* plane) {
    reason.clear();
    m_imprecise = 0;
    // A listed object the helper refused says why it cannot be shown.
    if (!object.hasContent) {
        reason = object.refusal;
        return nullptr;
    }
    if (plane && hdfReadsByPlane(object)) {
        // One plane: a segment of its shape, filled by a helper that reads
        // only that part of the data set.
        const auto& s = static_cast<const CHdfSds&>(object);
        int32_t start[agl::kMaxDims] = {};
        auto array = makePlaneArray(s, *plane, reason, start);
        if (!array) return nullptr;
        std::string at = "at=";
        for (int d = 0; d < s.rank; ++d)
            at += (d ? "," : "") + std::to_string(start[d]);
        const bool hdf4 = s.location.empty();
        std::vector<std::string> args = {"read",
                                         hdf4                   ? "sds"
                                         : s.location[0] == '/' ? "h5"
                                                                : "nc",
                                         s.filePath, hdf4 ? std::to_string(s.index) : s.location,
                                         array->segment()->name()};
        if (s.unpacked) args.push_back("unpack");
        args.push_back(at);
        const Outcome o = runWaiting(args, m_readTimeoutMs,
                                     "Reading " + s.shownName() + " from " + s.filePath, wait);
        if (!o.started || o.timedOut || o.cancelled || o.crashed || o.exitCode != 0) {
            reason = describe(o);
            return nullptr;
        }
        if (o.out.rfind("imprecise ", 0) == 0)
            m_imprecise = std::max<int64_t>(0, std::strtoll(o.out.c_str() + 10, nullptr, 10));
        return array;
    }
    int32_t extents[agl::kMaxDims] = {};
    int dims = 0, type = AGL_UCHAR;
    std::string what;
    std::string index = std::to_string(object.index);
    switch (object.kind) {
    case HdfKindSds: {
        const auto& s = static_cast<const CHdfSds&>(object);
        if (!s.hasContent || hdfShownElementCount(s) == 0) return nullptr;
        dims = s.rank;
        for (int d = 0; d < dims; ++d)
            extents[d] = s.extents[size_t(d)];
        // Unpacked values are doubles, whatever the file holds.
        type = s.unpacked ? AGL_DOUBLE : s.typeCode;
        // HDF5 data sets go by their path, NetCDF variables by their name,
        // HDF4 data sets by their index.
        what = object.location.empty() ? "sds" : object.location[0] == '/' ? "h5" : "nc";
        if (!object.location.empty()) index = object.location;
        break;
    }
    case HdfKindRaster: {
        const auto& r = static_cast<const CHdfRasterImage&>(object);
        if (!r.hasContent || r.components != 1 || r.elementSize <= 0 || r.width <= 0 ||
            r.height <= 0 || int64_t(r.width) * r.height > agl::kMaxElements ||
            int64_t(r.width) * r.height < 2)
            return nullptr;
        dims = 2;
        extents[0] = r.height;
        extents[1] = r.width;
        type = r.typeCode;
        what = "image";
        break;
    }
    case HdfKindPalette: {
        const auto& p = static_cast<const CHdfPalette&>(object);
        if (!p.hasContent) return nullptr;
        dims = 2;
        extents[0] = 256;
        extents[1] = 4;
        type = AGL_UCHAR;
        what = p.source == HdfPaletteDfp ? "dfp" : "lut";
        break;
    }
    default:
        return nullptr; // attributes and annotations are shown as text
    }
    // HDF4 data sets are indexed as Fortran does, from 1; HDF5 data sets and
    // NetCDF variables as C does (and h5dump and ncdump show them), from 0,
    // rows before columns.
    const bool hdf5 = !object.location.empty();
    // The helper writes every value: the block's memory is taken by its
    // writes, while the file is read, rather than zeroed here first (a
    // full /dev/shm then costs the helper, never this process).
    aglSegment segment;
    if (!segment.createUnreserved(dims, extents, type, hdf5 ? AGL_LANG_C : AGL_LANG_FORTRAN)) {
        reason = std::string("cannot make a segment: ") + agl::errorName(segment.takeError());
        return nullptr;
    }
    for (int d = 0; d < dims; ++d)
        segment.setLowerBound(d, hdf5 ? 0 : 1);
    std::vector<std::string> args = {"read", what, object.filePath, index, segment.name()};
    if (object.kind == HdfKindSds && static_cast<const CHdfSds&>(object).unpacked)
        args.push_back("unpack");
    const Outcome o = runWaiting(
        args, m_readTimeoutMs, "Reading " + object.shownName() + " from " + object.filePath, wait);
    if (!o.started || o.timedOut || o.cancelled || o.crashed || o.exitCode != 0) {
        reason = describe(o);
        return nullptr; // the segment goes with this function
    }
    // "imprecise N": values of 64-bit integers a double cannot hold.
    if (o.out.rfind("imprecise ", 0) == 0)
        m_imprecise = std::max<int64_t>(0, std::strtoll(o.out.c_str() + 10, nullptr, 10));
    auto array = std::make_unique<aglArray>();
    if (!array->open(segment.name(), true)) {
        reason = std::string("cannot map the segment: ") + agl::errorName(array->takeError());
        return nullptr;
    }
    if (object.kind != HdfKindSds) {
        // Images and palettes: rows first, as they are stored.
        array->setRowDim(0);
        array->setColDim(1);
    } else if (hdf5 && dims >= 2) {
        // The last two dimensions vary fastest: they make the plane.
        array->setRowDim(dims - 2);
        array->setColDim(dims - 1);
    }
    return array;
}
