// HdfHelper: runs the HDF helper process (tavrix-hdf) for the viewer and
// agltool, for HDF4, HDF5 and NetCDF files alike (tavrix-hdf hands a classic
// NetCDF file to tavrix-netcdf in its own place). The HDF and NetCDF
// libraries are C code that crashes or loops on damaged files, so they never
// run inside the viewer: the helper lists a file's objects and reads one
// object's elements straight into a shared-memory segment the caller made;
// the caller then maps that segment (no copy). HDF4 objects are read by
// their index, HDF5 data sets by their path, NetCDF variables by their name
// (CHdfObject::location).
//
// When the helper crashes, fails or runs past its time limit (it is then
// killed), the call fails with a reason and the caller keeps what it had.
//
// A call may take long (a large or damaged file, a helper that hangs). The
// caller chooses how it waits by passing an HdfWait: the viewer runs the
// work on a worker thread while its window stays alive, shows progress and
// offers Cancel, which kills the helper (the call then fails with
// kHdfCancelledReason). Without one the call waits on the calling thread.
//
// The helper is found through the environment variable TAVRIX_HDF_HELPER,
// else as "tavrix-hdf" next to the running executable.
//
// One thread at a time per object; no Qt, no HDF library.
#pragma once

#include "HdfObjects.h"

#include "aglArray.h"

#include <atomic>
#include <functional>
#include <memory>
#include <spawn.h>
#include <string>
#include <vector>

// How a caller waits for the helper: runs work (which returns when the
// helper has ended) and returns once it has returned. What it waits for is
// said in what ("Reading f.hdf"). Setting cancel, from any thread, makes
// work kill the helper and return within a few tens of milliseconds.
using HdfWait = std::function<void(const std::string& what, const std::function<void()>& work,
                                   std::atomic<bool>& cancel)>;

// The reason a call that was cancelled gives.
inline constexpr const char* kHdfCancelledReason = "reading the HDF file was cancelled";

// Spawn attributes for a helper process: it starts with the default signal
// dispositions and an empty mask, whatever the thread that starts it has.
// The caller destroys them.
void initHelperSpawnAttributes(posix_spawnattr_t& attr);

class HdfHelper {
public:
    static constexpr int kListTimeoutMs = 30000;
    static constexpr int kReadTimeoutMs = 120000;
    // The limits a new helper starts with: the two above, unless
    // TAVRIX_HDF_LIST_TIMEOUT or TAVRIX_HDF_READ_TIMEOUT give whole seconds
    // (1 to 3600) instead, for files on slow disks.
    static int configuredListTimeoutMs();
    static int configuredReadTimeoutMs();

    HdfHelper();
    explicit HdfHelper(std::string helperPath);

    static std::string defaultHelperPath();
    const std::string& helperPath() const { return m_path; }
    int listTimeoutMs() const { return m_listTimeoutMs; }
    int readTimeoutMs() const { return m_readTimeoutMs; }
    // Time limits of the two calls, in milliseconds.
    void setTimeouts(int listMs, int readMs) {
        m_listTimeoutMs = listMs;
        m_readTimeoutMs = readMs;
    }

    // Lists the objects of file. On failure returns false and says why.
    bool list(const std::string& file, HdfObjectList& objects, std::string& reason,
              const HdfWait& wait = {});

    // Makes the array of a data set, a raster image or a palette of file:
    // a new shared-memory segment of the object's shape, filled by the
    // helper. Returns nullptr when there is nothing to display (reason
    // empty) or when the read failed (reason says why); no segment is left
    // behind either way.
    // With plane, a data set read plane by plane (hdfReadsByPlane) is read
    // as that one plane (HdfPlane): only that part of the file is read, and
    // the array has the data set's rank, the plane's row and column
    // dimensions whole and the others of extent 1.
    std::unique_ptr<aglArray> makeArray(const CHdfObject& object, std::string& reason,
                                        const HdfWait& wait = {}, const HdfPlane* plane = nullptr);

    // The array of one plane of sds, in a new shared-memory segment that
    // nothing has filled yet (the plane session fills it), with the plane's
    // row and column dimensions; start receives where the plane starts in
    // the data set (sds.rank indices) when not null. nullptr, with the
    // reason, when the plane does not fit or no segment can be made.
    static std::unique_ptr<aglArray> makePlaneArray(const CHdfSds& sds, const HdfPlane& plane,
                                                    std::string& reason, int32_t* start = nullptr);

    // For the last makeArray of a data set of 64-bit integers read as
    // doubles: how many values lost precision (0 otherwise).
    int64_t lastImpreciseValues() const { return m_imprecise; }

    // How the last call's process ended, for messages and tests.
    bool lastCrashed() const { return m_crashed; }
    bool lastTimedOut() const { return m_timedOut; }
    bool lastCancelled() const { return m_cancelled; }

    struct Outcome {
        bool started = false;
        bool timedOut = false;
        bool cancelled = false; // killed because cancel was set
        bool crashed = false;   // ended by a signal (not our kill)
        int exitCode = -1;
        std::string out;
        std::string err;
    };
    // Runs the helper with args, collecting its output (each stream capped).
    // Setting cancel (any thread) kills it. The calling thread.
    Outcome run(const std::vector<std::string>& args, int timeoutMs,
                const std::atomic<bool>* cancel = nullptr) const;

private:
    std::string m_path;
    int m_listTimeoutMs = configuredListTimeoutMs();
    int m_readTimeoutMs = configuredReadTimeoutMs();
    bool m_crashed = false;
    bool m_timedOut = false;
    bool m_cancelled = false;
    int64_t m_imprecise = 0;
    std::string describe(const Outcome& o) const;
    // run, through wait when there is one.
    Outcome runWaiting(const std::vector<std::string>& args, int timeoutMs, const std::string& what,
                       const HdfWait& wait);
};
