// ArrayRangeScan: the smallest and the largest value of a whole array (every
// element of every dimension, not only the plane shown), found on a worker
// thread so that the user-interface thread never waits for it. The viewer
// holds the palette at this range while it plays the planes of an array as
// a movie.
//
// A data set read plane by plane (an HDF4, HDF5 or NetCDF data set of three
// or more dimensions) has only its plane in memory: its range is found by
// the HDF helper, in a plane session of the scan's own that reads the whole
// data set part by part, and cancelling ends that helper.
//
// The scan opens the array's segment afresh by its name (read-only, as the
// graph control does), so it reads a mapping of its own: the document may
// load another array or drop this one while the scan runs. A file cut short
// meanwhile reads as zeros (the process's SIGBUS guard). The worker runs at
// the lowest scheduling priority, like the control's filter thread, and
// looks at its cancel flag every few thousand elements.
//
// start, cancel and the destructor run on the thread that owns the object
// (the user-interface thread); finished is delivered there too.
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class CHdfSds;

class ArrayRangeScan : public QObject {
    Q_OBJECT
public:
    explicit ArrayRangeScan(QObject* parent = nullptr);
    // Cancels a scan under way and waits for its thread (a few microseconds;
    // a few tens of milliseconds while a helper reads a data set's range).
    ~ArrayRangeScan() override;
    ArrayRangeScan(const ArrayRangeScan&) = delete;
    ArrayRangeScan& operator=(const ArrayRangeScan&) = delete;

    // Scans the segment of that name (a file path or a shared-memory name);
    // a scan under way is cancelled first and never reports.
    void start(const std::string& segmentName);
    // Finds the range of the whole data set sds (its file, location, type
    // and extents are copied) through the helper at helperPath; key names
    // the data set in the report and in segmentName(). A helper that fails
    // or runs past timeoutMs reports found false.
    void startDataSet(const std::string& key, const std::string& helperPath, const CHdfSds& sds,
                      int timeoutMs);
    // Stops the scan under way; it does not report.
    void cancel();
    bool isRunning() const { return m_running; }
    // The segment (or the data set's key) the scan under way, or the last
    // one, reads.
    const std::string& segmentName() const { return m_name; }

    // The range of count elements of type (an agl type code) at data,
    // skipping values that are not finite. False when cancel was set before
    // the end; found says whether any finite value was seen. Any thread.
    static bool scan(const void* data, int64_t count, int type, const std::atomic<bool>& cancel,
                     double& minimum, double& maximum, bool& found);

signals:
    // The scan of segmentName ended: found is false when the array holds no
    // finite value or could not be opened.
    void finished(const QString& segmentName, bool found, double minimum, double maximum);

private slots:
    // The worker's report, taken on the owner's thread. Queued by name, so
    // that its values travel in copies Qt makes: a queued lambda would carry
    // them in an object the worker built, handed over through Qt's own locks,
    // which ThreadSanitizer cannot see.
    void report(quint64 generation, bool found, double minimum, double maximum);

private:
    // The worker's part: false when cancelled before the end.
    using Work = std::function<bool(const std::atomic<bool>& cancel, double& minimum,
                                    double& maximum, bool& found)>;
    void run(const std::string& name, Work work);
    void join();

    std::thread m_thread;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    std::string m_name;
    bool m_running = false;
    // Tells a report of a scan that was cancelled (its queued call may
    // still come) from the report of the one under way.
    uint64_t m_generation = 0;
};
