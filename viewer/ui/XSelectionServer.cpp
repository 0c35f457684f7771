#include "XSelectionServer.h"

#include "CArrayDataSource.h"
#include "ClipboardFormat.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#if TAVRIX_HAVE_XCB && QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>

#include <poll.h>
#include <pthread.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

// How long a requestor may take to ask for the next increment (Qt's own
// clipboard gives it as long).
constexpr auto kIncrementTimeout = std::chrono::seconds(5);

struct Request {
    xcb_window_t requestor = XCB_NONE;
    xcb_atom_t selection = XCB_NONE;
    xcb_atom_t target = XCB_NONE;
    xcb_atom_t type = XCB_NONE;
    xcb_atom_t property = XCB_NONE;
    xcb_timestamp_t time = XCB_CURRENT_TIME;
    CArrayDataSource::FormWait wait;
};

} // namespace

struct XSelectionServer::Server {
    ~Server() {
        if (thread.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                stop.store(true);
            }
            wake.notify_all();
            thread.join();
        }
        if (connection) xcb_disconnect(connection);
    }

    // Connects to the X server of DISPLAY (the one Qt's xcb platform uses
    // unless told another) and learns the atoms it needs.
    bool open() {
        connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection)) return false;
        const char* const names[] = {"CLIPBOARD",     "UTF8_STRING", "TEXT",
                                     "text/plain",    "INCR",        "text/plain;charset=utf-8",
                                     kAglDataMimeType};
        xcb_atom_t* const atoms[] = {&clipboard, &utf8String, &text,   &textPlain,
                                     &incr,      &textUtf8,   &aglData};
        xcb_intern_atom_cookie_t cookies[std::size(names)];
        for (size_t i = 0; i < std::size(names); ++i)
            cookies[i] = xcb_intern_atom(connection, 0, uint16_t(std::strlen(names[i])), names[i]);
        bool all = true;
        for (size_t i = 0; i < std::size(names); ++i) {
            xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookies[i], nullptr);
            all = all && reply;
            if (reply) *atoms[i] = reply->atom;
            std::free(reply);
        }
        // The most bytes one property write may carry (whole words; a big
        // request's length takes 4 more bytes): beyond, increments.
        maxBytes = (qsizetype(xcb_get_maximum_request_length(connection)) * 4 -
                    qsizetype(sizeof(xcb_change_property_request_t)) - 4) &
                   ~qsizetype(3);
        return all && maxBytes > 0;
    }

    // Whether this connection reaches the X server of Qt's (which DISPLAY
    // need not name: Qt may have been told another): a name made here must
    // read back there.
    bool reachesServerOf(xcb_connection_t* qt) {
        const std::string name = "_TAVRIX_SELECTION_SERVER_" + std::to_string(getpid());
        xcb_intern_atom_reply_t* interned = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.data()),
            nullptr);
        if (!interned) return false;
        const xcb_atom_t atom = interned->atom;
        std::free(interned);
        xcb_get_atom_name_reply_t* named =
            xcb_get_atom_name_reply(qt, xcb_get_atom_name(qt, atom), nullptr);
        if (!named) return false;
        const bool same = std::string(xcb_get_atom_name_name(named),
                                      size_t(xcb_get_atom_name_name_length(named))) == name;
        std::free(named);
        return same;
    }

    void run() {
        pthread_setname_np(pthread_self(), "xselection");
        for (;;) {
            Request request;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [&] { return stop.load() || !requests.empty(); });
                if (stop.load()) return;
                request = std::move(requests.front());
                requests.pop_front();
            }
            answer(request);
        }
    }

    void answer(const Request& r) {
        // Errors left by earlier answers (a requestor gone meanwhile).
        while (xcb_generic_event_t* e = xcb_poll_for_event(connection))
            std::free(e);
        const std::optional<QByteArray> bytes = r.wait(stop);
        if (stop.load()) return;
        if (!bytes) {
            // The offer went before its form was rendered: refused.
            notify(r, XCB_NONE);
        } else if (bytes->size() <= maxBytes) {
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, r.requestor, r.property, r.type,
                                8, uint32_t(bytes->size()), bytes->constData());
            notify(r, r.property);
        } else {
            sendIncrements(r, *bytes);
        }
        xcb_flush(connection);
        // A connection that failed answers nothing more: Qt takes over.
        if (xcb_connection_has_error(connection)) broken.store(true);
    }

    void notify(const Request& r, xcb_atom_t property) {
        xcb_selection_notify_event_t n = {};
        n.response_type = XCB_SELECTION_NOTIFY;
        n.time = r.time;
        n.requestor = r.requestor;
        n.selection = r.selection;
        n.target = r.target;
        n.property = property;
        // An event goes over the wire as 32 bytes, whatever its type's size.
        char event[32] = {};
        std::memcpy(event, &n, sizeof n);
        xcb_send_event(connection, 0, r.requestor, XCB_EVENT_MASK_NO_EVENT, event);
    }

    // ICCCM's INCR: the property first holds the size; each time the
    // requestor deletes it, the next increment is written, and an empty one
    // ends the transfer.
    void sendIncrements(const Request& r, const QByteArray& bytes) {
        const uint32_t propertyEvents = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(connection, r.requestor, XCB_CW_EVENT_MASK, &propertyEvents);
        const uint32_t size = uint32_t(std::min<qsizetype>(bytes.size(), UINT32_MAX));
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, r.requestor, r.property, incr, 32, 1,
                            &size);
        notify(r, r.property);
        xcb_flush(connection);
        using Clock = std::chrono::steady_clock;
        Clock::time_point deadline = Clock::now() + kIncrementTimeout;
        qsizetype offset = 0;
        bool ended = false;
        while (!ended && !stop.load()) {
            xcb_generic_event_t* e = xcb_poll_for_event(connection);
            if (!e) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
                if (xcb_connection_has_error(connection) || left.count() <= 0) break;
                // A look at the stop flag every 50 ms.
                pollfd fd = {xcb_get_file_descriptor(connection), POLLIN, 0};
                poll(&fd, 1, int(std::min<int64_t>(left.count(), 50)));
                continue;
            }
            const uint8_t kind = e->response_type & 0x7f;
            if (kind == 0) {
                // An error: the requestor's window went.
                std::free(e);
                break;
            }
            if (kind == XCB_PROPERTY_NOTIFY) {
                const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
                if (p->window == r.requestor && p->atom == r.property &&
                    p->state == XCB_PROPERTY_DELETE) {
                    const qsizetype n = std::min(maxBytes, bytes.size() - offset);
                    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, r.requestor, r.property,
                                        r.type, 8, uint32_t(n), bytes.constData() + offset);
                    xcb_flush(connection);
                    offset += n;
                    ended = n == 0;
                    deadline = Clock::now() + kIncrementTimeout;
                }
            }
            std::free(e);
        }
        const uint32_t noEvents = XCB_EVENT_MASK_NO_EVENT;
        xcb_change_window_attributes(connection, r.requestor, XCB_CW_EVENT_MASK, &noEvents);
    }

    xcb_connection_t* connection = nullptr;
    xcb_atom_t clipboard = XCB_NONE, utf8String = XCB_NONE, text = XCB_NONE, textPlain = XCB_NONE,
               textUtf8 = XCB_NONE, incr = XCB_NONE, aglData = XCB_NONE;
    qsizetype maxBytes = 0;

    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Request> requests;
    std::atomic<bool> stop{false};
    std::atomic<bool> broken{false};
};

XSelectionServer::XSelectionServer() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return;
    auto server = std::make_unique<Server>();
    if (!server->open() || !server->reachesServerOf(x11->connection())) return;
    m_server = std::move(server);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

XSelectionServer::~XSelectionServer() {
    if (m_server)
        if (QCoreApplication* app = QCoreApplication::instance())
            app->removeNativeEventFilter(this);
}

bool XSelectionServer::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (!m_server || m_server->broken.load() || eventType != "xcb_generic_event_t") return false;
    const auto* e = static_cast<const xcb_generic_event_t*>(message);
    if ((e->response_type & 0x7f) != XCB_SELECTION_REQUEST) return false;
    const auto* r = reinterpret_cast<const xcb_selection_request_event_t*>(e);
    Server& s = *m_server;
    QClipboard::Mode mode;
    if (r->selection == s.clipboard)
        mode = QClipboard::Clipboard;
    else if (r->selection == XCB_ATOM_PRIMARY)
        mode = QClipboard::Selection;
    else
        return false;
    // The text is plain ASCII: the same bytes in every text encoding.
    QString mimeType;
    xcb_atom_t type = r->target;
    if (r->target == s.utf8String || r->target == XCB_ATOM_STRING || r->target == s.textPlain ||
        r->target == s.textUtf8) {
        mimeType = QString::fromLatin1(kTextMimeType);
    } else if (r->target == s.text) {
        mimeType = QString::fromLatin1(kTextMimeType);
        type = XCB_ATOM_STRING;
    } else if (r->target == s.aglData) {
        mimeType = QString::fromLatin1(kAglDataMimeType);
    } else {
        return false;
    }
    const auto* offer =
        qobject_cast<const CArrayDataSource*>(QGuiApplication::clipboard()->mimeData(mode));
    if (!offer) return false;
    CArrayDataSource::FormWait wait = offer->formWait(mimeType);
    if (!wait) return false;
    // The thread starts with the first request it takes.
    if (!s.thread.joinable()) {
        try {
            s.thread = std::thread([&s] { s.run(); });
        } catch (const std::system_error&) {
            s.broken.store(true);
            return false;
        }
    }
    Request request;
    request.requestor = r->requestor;
    request.selection = r->selection;
    request.target = r->target;
    request.type = type;
    // A requestor of old names no property: the target is the property.
    request.property = r->property != XCB_NONE ? r->property : r->target;
    request.time = r->time;
    request.wait = std::move(wait);
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.requests.push_back(std::move(request));
    }
    s.wake.notify_one();
    ++m_taken;
    return true;
}

#else // no xcb: Qt answers every request

struct XSelectionServer::Server {};

XSelectionServer::XSelectionServer() = default;

XSelectionServer::~XSelectionServer() = default;

bool XSelectionServer::nativeEventFilter(const QByteArray&, void*, qintptr*) {
    return false;
}

#endif

bool XSelectionServer::isActive() const {
#if TAVRIX_HAVE_XCB && QT_CONFIG(xcb)
    return m_server && !m_server->broken.load();
#else
    return false;
#endif
}
