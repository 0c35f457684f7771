#include "HdfBrowser.h"

#include "MessageSink.h"
#include "aglArray.h"

#include <utility>

namespace {

CHdfPalette* paletteChild(const CHdfObject& o) {
    for (const auto& c : o.children)
        if (c->kind == HdfKindPalette && c->hasContent) return static_cast<CHdfPalette*>(c.get());
    return nullptr;
}

// The first object with that id that has content: each top-level object
// itself, else its subtree depth-first, parent before children.
CHdfObject* findShowable(const CHdfObject& o, int32_t id) {
    for (const auto& c : o.children) {
        if (c->objectId == id) return c->hasContent ? c.get() : nullptr;
        if (CHdfObject* inner = findShowable(*c, id)) return inner;
    }
    return nullptr;
}

} // namespace

class HdfBrowser::Reading {
public:
    explicit Reading(HdfBrowser& browser) : m_browser(browser) { ++m_browser.m_reads; }
    ~Reading() {
        if (--m_browser.m_reads == 0 && m_browser.m_releasePending && !m_browser.m_waiting)
            m_browser.releaseNow();
    }
    Reading(const Reading&) = delete;
    Reading& operator=(const Reading&) = delete;

private:
    HdfBrowser& m_browser;
};

HdfBrowser::HdfBrowser(MessageSink& sink, std::function<void(bool)> waitChanged)
    : m_sink(sink), m_waitChanged(std::move(waitChanged)) {}

HdfBrowser::~HdfBrowser() {
    m_current = nullptr;
    m_objects.clear();
}

HdfWait HdfBrowser::wait() {
    return [this](const std::string& what, const std::function<void()>& work,
                  std::atomic<bool>& cancel) {
        std::atomic<bool>* const outer = m_waitCancel;
        m_waitCancel = &cancel;
        if (m_releasePending) cancel = true;
        m_waiting = true;
        if (m_waitChanged) m_waitChanged(true);
        m_sink.waitForHelper(what, work, cancel);
        m_waiting = false;
        if (m_waitChanged) m_waitChanged(false);
        m_waitCancel = outer;
        // A wait of no read of ours (a file's listing): the release asked
        // for meanwhile happens now.
        if (m_releasePending && m_reads == 0) releaseNow();
    };
}

HdfObjectList HdfBrowser::adopt(HdfObjectList objects, int dataSets) {
    HdfObjectList previous = std::move(m_objects);
    endPlanes();
    m_objects = std::move(objects);
    m_current = nullptr;
    m_dataSets = dataSets;
    m_treeAvailable = true;
    ++m_listVersion;
    return previous;
}

CHdfObject* HdfBrowser::showable(int32_t objectId) {
    if (objectId == 0) return nullptr;
    // A listed object that cannot be shown says why.
    if (const CHdfObject* o = findHdfObject(m_objects, objectId);
        o && !o->hasContent && !o->refusal.empty()) {
        m_sink.message(o->shownName() + ": " + o->refusal, MessageIcon::Information);
        return nullptr;
    }
    for (const auto& o : m_objects) {
        if (o->objectId == objectId) return o->hasContent ? o.get() : nullptr;
        if (CHdfObject* found = findShowable(*o, objectId)) return found;
    }
    return nullptr;
}

void HdfBrowser::endPlanes() {
    m_planeSession.reset();
    m_sparePlane.reset();
}

void HdfBrowser::release() {
    if (m_reads > 0 || m_waiting) {
        m_releasePending = true;
        if (m_waitCancel) *m_waitCancel = true;
        return;
    }
    releaseNow();
}

void HdfBrowser::releaseNow() {
    m_releasePending = false;
    endPlanes();
    m_current = nullptr;
    m_objects.clear();
    m_treeAvailable = false;
    m_dataSets = 0;
    ++m_listVersion;
}

bool HdfBrowser::makeArray(CHdfObject& object) {
    Reading reading(*this);
    m_cancelled = false;
    return makeArrayPart(object);
}

bool HdfBrowser::makeArrayPart(CHdfObject& object) {
    if (object.array) return true;
    if (m_cancelled) return false; // the user stopped this object change
    std::string reason;
    // A data set read plane by plane: the plane it showed last (unpacking
    // reads it again), else its first.
    const bool byPlane = hdfReadsByPlane(object);
    const HdfPlane plane = !byPlane ? HdfPlane{}
                           : static_cast<CHdfSds&>(object).byPlane
                               ? static_cast<CHdfSds&>(object).plane
                               : hdfFirstPlane(static_cast<CHdfSds&>(object));
    object.array = m_helper.makeArray(object, reason, wait(), byPlane ? &plane : nullptr);
    if (object.array && object.kind == HdfKindSds) {
        auto& s = static_cast<CHdfSds&>(object);
        s.impreciseValues = m_helper.lastImpreciseValues();
        s.byPlane = byPlane;
        s.plane = plane;
    }
    if (!object.array && (m_helper.lastCancelled() || m_releasePending)) {
        // Not the object's fault: it may be read another time.
        m_cancelled = true;
        return false;
    }
    if (!object.array && !reason.empty()) {
        // A failed read is not data: the object has no content from now on.
        object.hasContent = false;
        m_sink.message("Unable to read file: " + object.filePath, MessageIcon::Exclamation);
    }
    return object.array != nullptr;
}

bool HdfBrowser::makeParts(CHdfObject& object) {
    Reading reading(*this);
    m_cancelled = false;
    if (!makeArrayPart(object)) return false;
    if (object.kind == HdfKindSds) {
        for (const auto& c : object.children) {
            if (c->kind != HdfKindSds) continue;
            const int d = static_cast<const CHdfSds&>(*c).scaleOfDimension;
            if (d >= 0 && d < object.array->dimCount() && d < 7) makeArrayPart(*c);
        }
    }
    if (object.kind == HdfKindSds || object.kind == HdfKindRaster)
        if (CHdfPalette* palette = paletteChild(object)) makeArrayPart(*palette);
    // A Cancel while the scales or the palette were read drops the change
    // whole, rather than showing the object without them; so does a release
    // (the object may be gone once this read ends).
    if (m_releasePending) m_cancelled = true;
    return !m_cancelled;
}

std::unique_ptr<aglArray> HdfBrowser::readWhole(const CHdfSds& sds, std::string& reason) {
    Reading reading(*this);
    std::unique_ptr<aglArray> whole = m_helper.makeArray(sds, reason, wait());
    if (m_releasePending) {
        reason = kHdfCancelledReason;
        return nullptr;
    }
    return whole;
}

HdfBrowser::PlaneRead HdfBrowser::readPlane(CHdfSds& sds, const HdfPlane& plane,
                                            const std::function<void()>& shown) {
    Reading reading(*this);
    m_cancelled = false;
    int32_t extents[agl::kMaxDims] = {}, start[agl::kMaxDims] = {};
    if (!hdfPlaneShape(sds, plane, extents, start)) {
        m_sink.message(sds.shownName() +
                           ": that plane cannot be shown (a plane holds 2 to 2^30 values)",
                       MessageIcon::Information);
        return PlaneRead::Failed;
    }
    if (!m_planeSession || !m_planeSession->serves(sds, m_helper.helperPath()))
        m_planeSession = std::make_unique<HdfPlaneSession>(m_helper.helperPath(), sds);
    // The array of the plane shown before takes the new one when it has its
    // shape; the plane on screen is never written.
    std::unique_ptr<aglArray> into = std::move(m_sparePlane);
    bool fits = into && into->segment() && into->dimCount() == sds.rank &&
                into->typeCode() == (sds.unpacked ? AGL_DOUBLE : sds.typeCode);
    for (int d = 0; fits && d < sds.rank; ++d)
        fits = into->extent(d) == extents[d];
    std::string reason;
    if (!fits) into = HdfHelper::makePlaneArray(sds, plane, reason);
    if (!into) {
        m_sink.message("Unable to read file: " + sds.filePath + " (" + reason + ")",
                       MessageIcon::Exclamation);
        return PlaneRead::Failed;
    }
    bool ok = false;
    int64_t imprecise = 0;
    std::atomic<bool> cancel{false};
    HdfPlaneSession& session = *m_planeSession;
    wait()(
        "Reading a plane of " + sds.shownName() + " from " + sds.filePath,
        [&] {
            ok = session.read(*into->segment(), start, m_helper.readTimeoutMs(), &cancel, imprecise,
                              reason);
        },
        cancel);
    if (m_releasePending) {
        // The list goes when this read ends: nothing of it is shown.
        m_cancelled = true;
        return PlaneRead::Cancelled;
    }
    if (!ok) {
        // Its values are no one's now; the next read makes a fresh one (the
        // helper may have refused this one).
        into.reset();
        if (session.lastCancelled()) {
            m_cancelled = true;
            return PlaneRead::Cancelled;
        }
        m_sink.message("Unable to read file: " + sds.filePath + " (" + reason + ")",
                       MessageIcon::Exclamation);
        return PlaneRead::Failed;
    }
    into->setRowDim(plane.rowDim);
    into->setColDim(plane.colDim);
    for (int d = 0; d < sds.rank; ++d)
        into->setRoi(d, 0, extents[d] - 1);
    std::unique_ptr<aglArray> previous = std::move(sds.array);
    sds.array = std::move(into);
    sds.plane = plane;
    sds.impreciseValues = imprecise;
    if (shown) shown();
    // Whoever showed the plane before has let go of it: the next one is
    // read into it.
    m_sparePlane = std::move(previous);
    return PlaneRead::Done;
}
