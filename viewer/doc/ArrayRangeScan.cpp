#include "ArrayRangeScan.h"

#include "HdfPlaneSession.h"
#include "aglArray.h"
#include "aglRangeScan.h"
#include "aglTypes.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

ArrayRangeScan::ArrayRangeScan(QObject* parent) : QObject(parent) {}

ArrayRangeScan::~ArrayRangeScan() {
    cancel();
}

bool ArrayRangeScan::scan(const void* data, int64_t count, int type,
                          const std::atomic<bool>& cancel, double& minimum, double& maximum,
                          bool& found) {
    found = false;
    if (!data || count <= 0 || !agl::isTypeCode(type)) return !cancel.load();
    const int64_t size = agl::typeInfo(type).size;
    return agl::scanRange({data, 1, count, count * size, size, type}, nullptr, minimum, maximum,
                          found, &cancel);
}

void ArrayRangeScan::start(const std::string& segmentName) {
    run(segmentName, [segmentName](const std::atomic<bool>& cancel, double& minimum,
                                   double& maximum, bool& found) {
        aglArray array;
        if (!array.open(segmentName, true) || array.isPlaceholder() || !array.data()) return true;
        // Read as the graph's finest pass reads a window: a file through its
        // descriptor, none of it left mapped here.
        const int64_t count = array.elementCount(), size = array.elementSize();
        return agl::scanRange({array.data(), 1, count, count * size, size, array.typeCode()},
                              array.segment(), minimum, maximum, found, &cancel);
    });
}

void ArrayRangeScan::startDataSet(const std::string& key, const std::string& helperPath,
                                  const CHdfSds& sds, int timeoutMs) {
    // A session of its own: the document's goes on reading planes meanwhile.
    auto session = std::make_shared<HdfPlaneSession>(helperPath, sds);
    const int type = sds.unpacked ? AGL_DOUBLE : sds.typeCode;
    const std::vector<int32_t> extents = sds.extents;
    run(key, [session, type, extents, timeoutMs](const std::atomic<bool>& cancel, double& minimum,
                                                 double& maximum, bool& found) {
        std::string reason;
        // A helper that fails reports no range (the palette then follows
        // the planes); a cancel ends the helper within a few tens of ms.
        if (!session->findRange(type, extents, timeoutMs, &cancel, minimum, maximum, found, reason))
            found = false;
        return !session->lastCancelled();
    });
}

void ArrayRangeScan::run(const std::string& name, Work work) {
    cancel();
    m_name = name;
    m_running = true;
    const uint64_t generation = ++m_generation;
    auto flag = std::make_shared<std::atomic<bool>>(false);
    m_cancel = flag;
    m_thread = std::thread([this, work = std::move(work), flag, generation] {
        setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 19);
        double minimum = 0.0, maximum = 0.0;
        bool found = false;
        const bool complete = work(*flag, minimum, maximum, found);
        if (!complete || flag->load()) return;
        // The owner waits for this thread before it goes, so it is there to
        // take the report; a report of a scan cancelled meanwhile is dropped.
        QMetaObject::invokeMethod(this, "report", Qt::QueuedConnection,
                                  Q_ARG(quint64, quint64(generation)), Q_ARG(bool, found),
                                  Q_ARG(double, minimum), Q_ARG(double, maximum));
    });
}

void ArrayRangeScan::report(quint64 generation, bool found, double minimum, double maximum) {
    if (generation != m_generation) return;
    join();
    m_running = false;
    emit finished(QString::fromStdString(m_name), found, minimum, maximum);
}

void ArrayRangeScan::cancel() {
    if (m_cancel) m_cancel->store(true);
    join();
    m_cancel.reset();
    m_running = false;
    ++m_generation;
}

void ArrayRangeScan::join() {
    if (m_thread.joinable()) m_thread.join();
}
