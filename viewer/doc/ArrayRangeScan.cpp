#include "ArrayRangeScan.h"

#include "HdfPlaneSession.h"
#include "aglArray.h"
#include "aglTypes.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace {

// Elements between two looks at the cancel flag: well under a millisecond.
constexpr int64_t kChunk = 1 << 16;

template <typename T>
bool scanTyped(const uint8_t* p, int64_t count, const std::atomic<bool>& cancel, double& minimum,
               double& maximum, bool& found) {
    T lo{}, hi{};
    bool any = false;
    for (int64_t first = 0; first < count; first += kChunk) {
        if (cancel.load(std::memory_order_relaxed)) return false;
        const int64_t end = std::min(count, first + kChunk);
        for (int64_t i = first; i < end; ++i) {
            // Elements are rarely aligned for their type: copied out.
            T v;
            std::memcpy(&v, p + i * int64_t(sizeof(T)), sizeof(T));
            if constexpr (std::is_floating_point_v<T>) {
                if (!std::isfinite(v)) continue;
            }
            if (!any) {
                lo = hi = v;
                any = true;
            } else if (v < lo) {
                lo = v;
            } else if (v > hi) {
                hi = v;
            }
        }
    }
    found = any;
    if (any) {
        minimum = double(lo);
        maximum = double(hi);
    }
    return true;
}

} // namespace

ArrayRangeScan::ArrayRangeScan(QObject* parent) : QObject(parent) {}

ArrayRangeScan::~ArrayRangeScan() {
    cancel();
}

bool ArrayRangeScan::scan(const void* data, int64_t count, int type,
                          const std::atomic<bool>& cancel, double& minimum, double& maximum,
                          bool& found) {
    found = false;
    const auto* p = static_cast<const uint8_t*>(data);
    if (!p || count <= 0) return !cancel.load();
    switch (type) {
    case AGL_UCHAR:
        return scanTyped<uint8_t>(p, count, cancel, minimum, maximum, found);
    case AGL_CHAR:
        return scanTyped<int8_t>(p, count, cancel, minimum, maximum, found);
    case AGL_USHORT:
        return scanTyped<uint16_t>(p, count, cancel, minimum, maximum, found);
    case AGL_SHORT:
        return scanTyped<int16_t>(p, count, cancel, minimum, maximum, found);
    case AGL_ULONG:
        return scanTyped<uint32_t>(p, count, cancel, minimum, maximum, found);
    case AGL_LONG:
        return scanTyped<int32_t>(p, count, cancel, minimum, maximum, found);
    case AGL_FLOAT:
        return scanTyped<float>(p, count, cancel, minimum, maximum, found);
    case AGL_DOUBLE:
        return scanTyped<double>(p, count, cancel, minimum, maximum, found);
    default:
        return !cancel.load();
    }
}

void ArrayRangeScan::start(const std::string& segmentName) {
    run(segmentName, [segmentName](const std::atomic<bool>& cancel, double& minimum,
                                   double& maximum, bool& found) {
        aglArray array;
        if (!array.open(segmentName, true) || array.isPlaceholder()) return true;
        return scan(array.data(), array.elementCount(), array.typeCode(), cancel, minimum, maximum,
                    found);
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
