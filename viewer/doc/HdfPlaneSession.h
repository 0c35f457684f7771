// HdfPlaneSession: reads plane after plane of one data set (an HDF4 or HDF5
// data set or NetCDF variable of three or more dimensions, hdfReadsByPlane)
// through a helper process that stays running while the data set is shown
// ("tavrix-hdf planes", see tools/hdfhelper). Starting a helper and opening
// the file cost far more than reading one plane of it, so stepping through
// the planes of a large data set keeps both: each read is one request line
// and one answer line over a socket, and the helper writes the plane
// straight into the caller's shared-memory segment.
//
// A helper that crashes, answers nonsense or runs past the time limit is
// killed, and the read fails with a reason; the next read starts a new one.
// The caller keeps whatever it showed, as it does for HdfHelper's calls.
//
// One thread at a time; the read may run on a worker thread (HdfWait) while
// the object stays with its owner. No Qt, no HDF library.
#pragma once

#include "HdfHelper.h"
#include "HdfObjects.h"

#include "aglSegment.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

class HdfPlaneSession {
public:
    // The session of sds (its file, location and whether its values are
    // read unpacked), run by the helper at helperPath. Starts nothing yet.
    HdfPlaneSession(std::string helperPath, const CHdfSds& sds);
    // Ends the helper: its input is closed and it is killed.
    ~HdfPlaneSession();
    HdfPlaneSession(const HdfPlaneSession&) = delete;
    HdfPlaneSession& operator=(const HdfPlaneSession&) = delete;

    // Whether this session reads sds as it is to be read now, with the
    // helper at helperPath.
    bool serves(const CHdfSds& sds, const std::string& helperPath) const;

    // Fills segment (a shared-memory segment of the data set's rank and
    // element type, whose extents are the part's) with the part of the data
    // set that starts at start. Fails (false, with reason) when the helper
    // cannot be started, refuses, ends, crashes or runs past timeoutMs, or
    // when cancel is set (from any thread; the helper is then killed within
    // a few tens of milliseconds and reason is kHdfCancelledReason).
    // imprecise receives the 64-bit integers a double could not hold.
    bool read(const aglSegment& segment, const int32_t* start, int timeoutMs,
              const std::atomic<bool>* cancel, int64_t& imprecise, std::string& reason);

    // The smallest and the largest value of the whole data set (type: the
    // agl type code its planes are read as; extents: all of its extents),
    // read by the helper part by part; values that are not finite (NaN,
    // and fill and missing values, which read as NaN) are left out. found
    // is false when there is no other. Fails as read does; a cancel ends
    // the helper, so a long read stops at once. Blocks: run it on a worker
    // thread, with a session of its own when planes are read meanwhile.
    bool findRange(int type, const std::vector<int32_t>& extents, int timeoutMs,
                   const std::atomic<bool>* cancel, double& minimum, double& maximum, bool& found,
                   std::string& reason);

    // Whether the last read failed because cancel was set.
    bool lastCancelled() const { return m_cancelled; }

private:
    bool launch(std::string& reason);
    // Sends request (one line) and receives the answer's line; an "error"
    // answer fails with its reason and keeps the helper.
    bool exchange(const std::string& request, int timeoutMs, const std::atomic<bool>* cancel,
                  std::string& answer, std::string& reason);
    void stop();

    std::string m_helper;
    std::string m_file;
    std::string m_location;
    int32_t m_index = 0; // an HDF4 data set's (m_location empty)
    bool m_unpacked = false;
    pid_t m_pid = -1;
    int m_socket = -1;
    bool m_cancelled = false;
};
