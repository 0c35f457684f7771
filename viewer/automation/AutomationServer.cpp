#include "AutomationServer.h"

#include "CArrayDoc.h"
#include "CMainFrame.h"
#include "HdfHelper.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>

#include <cstdio>

namespace automation {

namespace {

// The bus letters of one argument of a member.
const char* busType(char k) {
    switch (k) {
    case 'n':
        return "n";
    case 'u':
        return "u";
    case 'd':
    case 'f':
        return "d";
    case 's':
        return "s";
    default:
        return "i";
    }
}

// A bus argument (of the member's signature, already checked) as a member
// value of kind k.
Value toValue(const QVariant& v, char k) {
    switch (k) {
    case 's':
        return Value(v.toString().toStdString());
    case 'd':
    case 'f':
        return Value(v.toDouble());
    case 'n':
        return Value(int16_t(v.value<short>()));
    case 'u':
        return Value(uint32_t(v.toUInt()));
    default:
        return Value(int(v.toInt()));
    }
}

QVariant toBus(const Value& v, char k) {
    switch (k) {
    case 's':
        return QString::fromStdString(v.toString());
    case 'd':
    case 'f':
        return v.toDouble();
    case 'n':
        return QVariant::fromValue<short>(short(v.toInt()));
    case 'u':
        return QVariant::fromValue<uint>(uint(v.toInt()));
    default:
        return QVariant::fromValue<int>(int(v.toInt()));
    }
}

} // namespace

QString introspectionXml() {
    QString xml = QString("  <interface name=\"%1\">\n").arg(kInterface);
    // A call may wait for the HDF helper: a load lists the file and then
    // reads it, and a call that comes meanwhile runs after. Clients give
    // their calls this much more than their usual limit, so that they hear
    // the helper's failure instead of giving up first.
    xml += QString("    <annotation name=\"%1\" value=\"%2\"/>\n")
               .arg(kLongestWaitAnnotation)
               .arg(HdfHelper::configuredListTimeoutMs() + HdfHelper::configuredReadTimeoutMs());
    for (const Member& m : members()) {
        xml += QString("    <method name=\"%1\">\n").arg(QString::fromStdString(m.name));
        for (const char* k = m.in; *k; ++k)
            xml += QString("      <arg type=\"%1\" direction=\"in\"/>\n").arg(busType(*k));
        for (const char* k = m.out; *k; ++k)
            xml += QString("      <arg type=\"%1\" direction=\"out\"/>\n").arg(busType(*k));
        xml += "    </method>\n";
    }
    xml += "  </interface>\n";
    xml += QString("  <interface name=\"%1\">\n"
                   "    <method name=\"CreateInstance\"/>\n"
                   "    <method name=\"Release\"/>\n"
                   "  </interface>\n")
               .arg(kClassInterface);
    return xml;
}

AutomationServer::AutomationServer(const QDBusConnection& connection, TavrixObj& obj, QString owner,
                                   std::function<void()> quit, QObject* parent)
    : QDBusVirtualObject(parent), m_connection(connection), m_obj(obj), m_allowed(std::move(owner)),
      m_quit(std::move(quit)) {
    // Calls and a final release that came while the document waited for
    // the HDF helper run once it has finished.
    connect(&m_obj.document(), &CArrayDoc::helperWaitChanged, this, [this](bool waiting) {
        if (waiting) return;
        QTimer::singleShot(0, this, &AutomationServer::serveDeferred);
    });
    m_nobodyCame.setSingleShot(true);
    connect(&m_nobodyCame, &QTimer::timeout, this, [this] {
        if (!m_created && !m_userControl && m_quit) m_quit();
    });
}

AutomationServer::~AutomationServer() {
    m_connection.unregisterObject(kObjectPath);
}

bool AutomationServer::start(const QString& busName) {
    if (!m_connection.isConnected()) {
        std::fprintf(stderr, "tavrix: no session bus: %s\n",
                     qPrintable(m_connection.lastError().message()));
        return false;
    }
    if (!m_connection.registerVirtualObject(kObjectPath, this)) {
        std::fprintf(stderr, "tavrix: cannot offer %s on the session bus\n", kObjectPath);
        return false;
    }
    if (!m_connection.registerService(busName)) {
        std::fprintf(stderr, "tavrix: cannot take the bus name %s: %s\n", qPrintable(busName),
                     qPrintable(m_connection.lastError().message()));
        return false;
    }
    // The client that asked for this viewer may die before it creates the
    // object: then nobody ever will.
    m_watcher = std::make_unique<QDBusServiceWatcher>(QString(), m_connection,
                                                      QDBusServiceWatcher::WatchForUnregistration);
    connect(m_watcher.get(), &QDBusServiceWatcher::serviceUnregistered, this,
            &AutomationServer::ownerGone);
    if (!m_allowed.isEmpty()) {
        m_watcher->addWatchedService(m_allowed);
        if (!m_connection.interface()->isServiceRegistered(m_allowed)) {
            ownerGone(m_allowed);
            return true;
        }
    }
    m_nobodyCame.start(60000);
    return true;
}

QString AutomationServer::introspect(const QString& path) const {
    return path == kObjectPath ? introspectionXml() : QString();
}

bool AutomationServer::handleMessage(const QDBusMessage& message,
                                     const QDBusConnection& connection) {
    if (message.type() != QDBusMessage::MethodCallMessage || message.path() != kObjectPath)
        return false;
    // One call at a time: a call that arrives while another runs (its work
    // ran the event loop, say while the HDF helper read), or while the
    // user's own load waits for the helper, is answered after that has
    // ended, in order; no load ever runs inside another.
    if (m_inCall || m_obj.document().isWaitingForHelper()) {
        m_deferred.push_back(message);
        return true;
    }
    m_inCall = true;
    const bool handled = serve(message, connection);
    m_inCall = false;
    if (!m_deferred.empty() || m_releaseDeferred)
        QTimer::singleShot(0, this, &AutomationServer::serveDeferred);
    return handled;
}

void AutomationServer::serveDeferred() {
    if (m_inCall || m_obj.document().isWaitingForHelper()) return;
    if (m_releaseDeferred) {
        // The owner is gone: nobody waits for its calls' answers.
        m_releaseDeferred = false;
        m_deferred.clear();
        finalRelease();
        return;
    }
    while (!m_deferred.empty() && !m_inCall && !m_obj.document().isWaitingForHelper()) {
        const QDBusMessage next = m_deferred.front();
        m_deferred.pop_front();
        if (!handleMessage(next, m_connection))
            m_connection.send(next.createErrorReply(
                QString(kErrorUnknownMethod), QString("%1: no such member").arg(next.member())));
    }
}

bool AutomationServer::serve(const QDBusMessage& message, const QDBusConnection& connection) {
    const QString iface = message.interface();
    const QString member = message.member();
    const QString sender = message.service();
    auto error = [&](const char* name, const QString& text) {
        connection.send(message.createErrorReply(QString(name), text));
        return true;
    };

    if (iface == kClassInterface) {
        if (member == "CreateInstance") {
            if (m_created || m_revoked)
                return error(kErrorAccessDenied, "this viewer serves another client; start "
                                                 "a viewer of your own");
            if (!m_allowed.isEmpty() && sender != m_allowed)
                return error(kErrorAccessDenied, "this viewer was started for another client");
            m_created = true;
            m_owner = sender;
            m_nobodyCame.stop();
            m_watcher->setWatchedServices({m_owner});
            connection.send(message.createReply());
            return true;
        }
        if (member == "Release") {
            if (!m_created || sender != m_owner)
                return error(kErrorAccessDenied, "only the client that created the object "
                                                 "may release it");
            connection.send(message.createReply());
            finalRelease();
            return true;
        }
        return error(kErrorUnknownMethod, QString("no method %1").arg(member));
    }
    if (!iface.isEmpty() && iface != kInterface) return false;

    // Only the client that created the object may call it, and only while
    // it holds it.
    if (!m_created || m_released || sender != m_owner)
        return error(kErrorAccessDenied, "only the client that created this viewer's "
                                         "object may call it");
    const Member* m = findMember(member.toStdString());
    if (!m) return error(kErrorUnknownMethod, QString("%1: no such member").arg(member));
    if (message.signature() != QString::fromStdString(busSignature(m->in)))
        return error(
            kErrorInvalidArgs,
            QString("%1: takes arguments of types \"%2\", not \"%3\"")
                .arg(member, QString::fromStdString(busSignature(m->in)), message.signature()));
    Values args;
    const QVariantList in = message.arguments();
    for (int i = 0; i < in.size(); ++i)
        args.push_back(toValue(in[i], m->in[i]));
    const Result r = m_obj.call(m->name, args);
    if (!r.ok()) return error(r.error.c_str(), QString::fromStdString(r.message));
    QVariantList out;
    for (size_t i = 0; i < r.out.size(); ++i)
        out.push_back(toBus(r.out[i], m->out[i]));
    connection.send(message.createReply(out));
    return true;
}

void AutomationServer::ownerGone(const QString& name) {
    if (m_created) {
        if (name != m_owner) return;
        // Not inside a call or a wait: the release refreshes the views and
        // may close the viewer under the load that runs.
        if (m_inCall || m_obj.document().isWaitingForHelper())
            m_releaseDeferred = true;
        else
            finalRelease();
    } else if (name == m_allowed && !m_userControl && m_quit) {
        m_quit();
    }
}

void AutomationServer::finalRelease() {
    if (m_released) return;
    m_released = true;
    m_watcher->setWatchedServices({});
    CArrayDoc& doc = m_obj.document();
    const bool closing = !m_userControl;
    if (doc.isClientOwned()) {
        doc.clearClientOwned();
        if (!(closing && doc.closeOnRelease() != 0)) doc.refresh();
    }
    if (closing && m_quit) m_quit();
}

// ---------------------------------------------------------------------------

namespace {

class ServerHooks : public AutomationHooks {
public:
    bool registerClassObjects(TavrixApp& app) override {
        const CommandLineInfo& info = app.commandLine();
        if (info.busName.isEmpty()) {
            if (info.automation || info.embedding)
                std::fprintf(stderr, "tavrix: -Automation needs --bus-name NAME\n");
            return !(info.automation || info.embedding);
        }
        CArrayDoc* doc = app.document();
        CMainFrame* frame = app.mainFrame();
        m_obj = std::make_unique<TavrixObj>(*doc, [frame](bool show) {
            if (show) {
                frame->show();
                frame->raise();
            } else {
                frame->hide();
            }
        });
        m_server = std::make_unique<AutomationServer>(
            QDBusConnection::sessionBus(), *m_obj, info.owner,
            [] { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); });
        // Started by the user rather than by a client: the user is in control.
        if (!info.automation && !info.embedding) m_server->setUserControl();
        AutomationServer* server = m_server.get();
        QObject::connect(doc, &CArrayDoc::automationRegistrationChanged, server,
                         [server](bool registered) {
                             if (registered) return;
                             server->revoke();
                             server->setUserControl();
                         });
        return m_server->start(info.busName);
    }
    ~ServerHooks() override {
        m_server.reset();
        m_obj.reset();
    }

private:
    std::unique_ptr<TavrixObj> m_obj;
    std::unique_ptr<AutomationServer> m_server;
};

} // namespace

std::unique_ptr<AutomationHooks> makeHooks() {
    return std::make_unique<ServerHooks>();
}

} // namespace automation
