// HdfBrowser: the objects of the HDF file read last and the reads that show
// them. It keeps the object list the helper process gave and the object
// shown, reads an object's arrays (its own, its dimension scales' and its
// palette's) through the helper when it is first shown, and reads a data
// set too large for one array a plane at a time through a plane session,
// into the array of the plane shown before (double buffering: the plane on
// screen is never written). It knows neither the document nor the control:
// whoever shows the arrays is told through the return values and the
// callback of readPlane.
//
// Every wait for the helper goes through wait(), which marks isWaiting()
// for its time; the event loop runs meanwhile (see MessageSink). A release
// asked for then (a new document) cancels the wait and happens when the
// read that waits has ended, so that nothing it reads into is freed under
// it. User-interface thread only.
#pragma once

#include "HdfHelper.h"
#include "HdfObjects.h"
#include "HdfPlaneSession.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class MessageSink;
class aglArray;

class HdfBrowser {
public:
    // sink: where read failures are told, and how the user waits for the
    // helper; waitChanged: told when a wait begins (true) and ends.
    HdfBrowser(MessageSink& sink, std::function<void(bool waiting)> waitChanged);
    ~HdfBrowser();
    HdfBrowser(const HdfBrowser&) = delete;
    HdfBrowser& operator=(const HdfBrowser&) = delete;

    HdfHelper& helper() { return m_helper; }
    // The wait for the helper that marks isWaiting for its time.
    HdfWait wait();
    bool isWaiting() const { return m_waiting; }

    const HdfObjectList& objects() const { return m_objects; }
    CHdfObject* current() const { return m_current; }
    void setCurrent(CHdfObject* object) { m_current = object; }
    bool treeAvailable() const { return m_treeAvailable; }
    int dataSetCount() const { return m_dataSets; }
    // Changes whenever the list is replaced or released: an object of the
    // list held across a read is still there while this has not changed.
    unsigned listVersion() const { return m_listVersion; }

    // A new file's objects become the list (none shown yet); the previous
    // list is returned, for the caller to keep while it still shows one of
    // its arrays.
    HdfObjectList adopt(HdfObjectList objects, int dataSets);
    // The listed object with that id that can be shown: the first one with
    // content (top level in order, each subtree depth-first). An object
    // listed without content says why; nullptr then.
    CHdfObject* showable(int32_t objectId);

    // Reads an object's array when it has none. False when it cannot be
    // made: a failed read (the object has no content from then on; the user
    // is told) or a cancel (cancelled(); the object may be read again).
    bool makeArray(CHdfObject& object);
    // The arrays an object is shown with: its own, its dimension scales' and
    // its palette's. False when its own cannot be made or the user cancelled
    // any of them.
    bool makeParts(CHdfObject& object);
    // Whether the last makeArray, makeParts or readPlane ended on the user's
    // Cancel (or a release).
    bool cancelled() const { return m_cancelled; }

    // Reads a data set's whole values (the data set is read plane by plane
    // otherwise); nullptr and why when it cannot.
    std::unique_ptr<aglArray> readWhole(const CHdfSds& sds, std::string& reason);

    // Reads another plane of sds (the data set shown, read plane by plane)
    // and makes it the data set's array. shown is called once the new array
    // is the data set's, before the previous plane's array is taken for the
    // next read: it tells whoever shows it. Failed: the user was told why,
    // and sds keeps the plane it had. Cancelled: the user cancelled, or the
    // list was released meanwhile (sds may then be gone).
    enum class PlaneRead { Done, Failed, Cancelled };
    PlaneRead readPlane(CHdfSds& sds, const HdfPlane& plane, const std::function<void()>& shown);
    // Ends the plane session and drops the spare plane (another object is
    // shown).
    void endPlanes();

    // Drops the list, the object shown and the plane session. Asked for
    // while a read waits for the helper, it cancels that read and happens
    // when the read has ended.
    void release();

private:
    bool makeArrayPart(CHdfObject& object);
    // Marks a read under way for its scope; a release asked for meanwhile
    // happens when the last one ends.
    class Reading;
    void releaseNow();

    MessageSink& m_sink;
    std::function<void(bool)> m_waitChanged;
    HdfHelper m_helper;
    HdfObjectList m_objects;
    CHdfObject* m_current = nullptr;
    bool m_treeAvailable = false;
    int m_dataSets = 0;
    unsigned m_listVersion = 0;
    std::unique_ptr<HdfPlaneSession> m_planeSession;
    std::unique_ptr<aglArray> m_sparePlane;
    bool m_waiting = false;
    bool m_cancelled = false;
    // Reads under way (makeArray, makeParts, readPlane, readWhole) and the
    // cancel flag of the wait now running: a release waits for the reads.
    int m_reads = 0;
    std::atomic<bool>* m_waitCancel = nullptr;
    bool m_releasePending = false;
};
