// HdfHelper: runs the HDF helper process (tavrix-hdf) for the viewer and
// agltool. The HDF library is old C code that crashes or loops on damaged
// files, so it never runs inside the viewer: the helper lists a file's
// objects and reads one object's elements straight into a shared-memory
// segment the caller made; the caller then maps that segment (no copy).
//
// When the helper crashes, fails or runs past its time limit (it is then
// killed), the call fails with a reason and the caller keeps what it had.
//
// The helper is found through the environment variable TAVRIX_HDF_HELPER,
// else as "tavrix-hdf" next to the running executable.
//
// One thread at a time per object; no Qt, no HDF library.
#pragma once

#include "HdfObjects.h"

#include "aglArray.h"

#include <memory>
#include <string>
#include <vector>

class HdfHelper {
public:
    static constexpr int kListTimeoutMs = 30000;
    static constexpr int kReadTimeoutMs = 120000;

    HdfHelper();
    explicit HdfHelper(std::string helperPath);

    static std::string defaultHelperPath();
    const std::string& helperPath() const { return m_path; }
    // Time limits of the two calls, in milliseconds.
    void setTimeouts(int listMs, int readMs) {
        m_listTimeoutMs = listMs;
        m_readTimeoutMs = readMs;
    }

    // Lists the objects of file. On failure returns false and says why.
    bool list(const std::string& file, HdfObjectList& objects, std::string& reason);

    // Makes the array of a data set, a raster image or a palette of file:
    // a new shared-memory segment of the object's shape, filled by the
    // helper. Returns nullptr when there is nothing to display (reason
    // empty) or when the read failed (reason says why); no segment is left
    // behind either way.
    std::unique_ptr<aglArray> makeArray(const CHdfObject& object, std::string& reason);

    // How the last call's process ended, for messages and tests.
    bool lastCrashed() const { return m_crashed; }
    bool lastTimedOut() const { return m_timedOut; }

    struct Outcome {
        bool started = false;
        bool timedOut = false;
        bool crashed = false; // ended by a signal (not our kill)
        int exitCode = -1;
        std::string out;
        std::string err;
    };
    // Runs the helper with args, collecting its output (each stream capped).
    Outcome run(const std::vector<std::string>& args, int timeoutMs) const;

private:
    std::string m_path;
    int m_listTimeoutMs = kListTimeoutMs;
    int m_readTimeoutMs = kReadTimeoutMs;
    bool m_crashed = false;
    bool m_timedOut = false;
    std::string describe(const Outcome& o) const;
};
