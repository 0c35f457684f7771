// XSelectionServer: answers other programs' requests for the viewer's own
// clipboard offers (the text and "AGL DATA" of a copied block) on the X
// server, off the user-interface thread.
//
// Qt answers a selection request on the user-interface thread, from the
// offer's retrieveData: for a block whose forms the clipboard's worker has
// not finished, that thread would wait for the worker, and for a large one
// it then writes the whole property to the X server (14 MB for the text of
// 1000 x 1000 doubles) before it goes on. This server takes such requests
// out of Qt's event stream instead (a native event filter; Qt's check of the
// selection's owner is its one round trip to the X server there) and
// answers them on a thread of its own, started with the first request, over
// an X connection of its own: it waits for the form's bytes, writes them
// into the requestor's property (in increments, ICCCM's INCR, when they
// exceed one X request, each increment waited for at most 5 s as Qt does)
// and sends the SelectionNotify. Every other request (TARGETS, MULTIPLE,
// other offers, forms not rendered by the worker) stays with Qt. Requests
// are answered one after the other.
//
// Made and destroyed on the user-interface thread, which it watches; does
// nothing but on Qt's xcb platform, with DISPLAY naming Qt's X server. The
// destructor stops a transfer under way and waits for the thread (at most
// about 50 ms).
#pragma once

#include <QAbstractNativeEventFilter>

#include <memory>

class XSelectionServer : public QAbstractNativeEventFilter {
public:
    XSelectionServer();
    ~XSelectionServer() override;
    XSelectionServer(const XSelectionServer&) = delete;
    XSelectionServer& operator=(const XSelectionServer&) = delete;

    // Whether it answers (its X connection reaches Qt's server and works).
    bool isActive() const;
    // How many requests it has taken from Qt (user-interface thread).
    int taken() const { return m_taken; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Server;
    std::unique_ptr<Server> m_server;
    int m_taken = 0;
};
