// AutomationServer: offers the viewer's automation object on the user's
// session bus.
//
// Started as "tavrix -Automation --bus-name NAME [--owner UNIQUE]", the
// viewer takes the well-known name NAME and serves the object /TavrixObj:
// the interface com.veradyne.Tavrix.ITavrixObj (the members, see TavrixObj)
// and com.veradyne.Tavrix.ClassObject (CreateInstance, Release), which
// stands in for the class object a client creates the object through.
//
// Single use: the first CreateInstance makes its sender's connection the
// owner and withdraws the class object, so a later client starts a viewer of
// its own. With --owner only that connection may create the object. Every
// member call is checked against the owner's unique name; any other sender
// gets org.freedesktop.DBus.Error.AccessDenied. When the owner calls Release
// or its connection goes away (it exited or crashed), the final release
// runs: the client-owned array becomes the user's, the views are refreshed
// unless the viewer is closing anyway, and the viewer closes unless the user
// has taken control of it (opened a file through its own commands).
//
// A viewer started for automation whose client never creates the object
// (the owner named by --owner left, or nobody came within a minute) closes.
// User-interface thread only.
#pragma once

#include "TavrixApp.h"
#include "TavrixObj.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

class CArrayDoc;
class QDBusServiceWatcher;

namespace automation {

inline constexpr const char* kObjectPath = "/TavrixObj";
inline constexpr const char* kInterface = "com.veradyne.Tavrix.ITavrixObj";
inline constexpr const char* kClassInterface = "com.veradyne.Tavrix.ClassObject";
// On the object interface: the longest a call may wait for the HDF helper,
// in milliseconds.
inline constexpr const char* kLongestWaitAnnotation = "com.veradyne.Tavrix.HelperWaitMs";

// The introspection data of both interfaces.
QString introspectionXml();

class AutomationServer : public QDBusVirtualObject {
    Q_OBJECT
public:
    // Serves obj on connection under busName; owner, when not empty, is the
    // only unique name allowed to create the object. quit ends the viewer.
    AutomationServer(const QDBusConnection& connection, TavrixObj& obj, QString owner,
                     std::function<void()> quit, QObject* parent = nullptr);
    ~AutomationServer() override;

    // Registers the object and takes the name. False (with a message on
    // stderr) when either fails.
    bool start(const QString& busName);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    // The user took control of the viewer: it stays when the client goes.
    void setUserControl() { m_userControl = true; }
    // A file opened by the user withdraws the class object.
    void revoke() { m_revoked = true; }
    const QString& owner() const { return m_owner; }
    bool created() const { return m_created; }
    // Calls waiting for the one that runs, or for the document's wait.
    size_t deferredCalls() const { return m_deferred.size(); }

private:
    // Serves one method call (handleMessage makes them take turns).
    bool serve(const QDBusMessage& message, const QDBusConnection& connection);
    void serveDeferred();
    void ownerGone(const QString& name);
    void finalRelease();

    QDBusConnection m_connection;
    TavrixObj& m_obj;
    QString m_allowed; // from --owner
    QString m_owner;   // the connection that created the object
    std::function<void()> m_quit;
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
    QTimer m_nobodyCame;
    bool m_created = false;
    bool m_released = false;
    bool m_revoked = false;
    bool m_userControl = false;
    bool m_inCall = false;
    std::deque<QDBusMessage> m_deferred; // calls that came while one ran
    bool m_releaseDeferred = false;      // the owner left while one ran
};

// The hooks that join the server to the viewer's start-up.
std::unique_ptr<AutomationHooks> makeHooks();

} // namespace automation
