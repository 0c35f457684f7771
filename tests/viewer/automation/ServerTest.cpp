// The server's life cycle on a private session bus (run under
// dbus-run-session): the first CreateInstance makes its connection the
// owner, other connections are turned away, and the final release refreshes,
// hands the array to the user and closes the viewer, or keeps it when the
// user has taken control.
#include "AutomationServer.h"

#include "DocFakes.h"
#include "WaitFor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>

#include <filesystem>
#include <sys/stat.h>
#include <thread>

using namespace automation;

namespace {

QCoreApplication* app() {
    static int argc = 1;
    static char name[] = "server-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* a = new QCoreApplication(argc, argv);
    return a;
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        ASSERT_NE(getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr) << "run under dbus-run-session";
        doc = std::make_unique<CArrayDoc>(store, sink);
        doc->addView(&graph);
        doc->addView(&grid);
        obj = std::make_unique<TavrixObj>(*doc, nullptr);
        serverBus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "server" + tag()));
        server =
            std::make_unique<AutomationServer>(*serverBus, *obj, QString(), [this] { ++quits; });
        busName = "com.veradyne.Tavrix.servertest" + tag();
        ASSERT_TRUE(server->start(busName));
    }
    void TearDown() override {
        server.reset();
        serverBus->unregisterService(busName);
        QDBusConnection::disconnectFromBus("server" + tag());
        for (const QString& c : clients)
            QDBusConnection::disconnectFromBus(c);
    }
    QString tag() const {
        return QString::fromStdString(
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    QDBusConnection client(const QString& n) {
        clients << n + tag();
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, n + tag());
    }
    QDBusMessage call(QDBusConnection& from, const char* iface, const char* method,
                      const QVariantList& args = {}) {
        QDBusMessage m = QDBusMessage::createMethodCall(busName, kObjectPath, iface, method);
        m.setArguments(args);
        return from.call(m, QDBus::BlockWithGui, 5000);
    }
    void settle(int ms = 200) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    void loadArray() {
        const std::string path = dir.file("a.agl");
        makeAglFile(path, 4, 5);
        ASSERT_TRUE(doc->loadClientSegment(path));
        graph.dispatch.clearLog();
    }

    PrivateConfigHome home;
    TempDir dir;
    SettingsStore store{QString::fromStdString(dir.file("settings.ini"))};
    RecordingSink sink;
    FakeGraphView graph;
    FakeGridView grid;
    std::unique_ptr<CArrayDoc> doc;
    std::unique_ptr<TavrixObj> obj;
    std::unique_ptr<QDBusConnection> serverBus;
    std::unique_ptr<AutomationServer> server;
    QString busName;
    QStringList clients;
    int quits = 0;
};

} // namespace

TEST_F(ServerTest, TheCreatorOwnsTheObjectAndEveryoneElseIsDenied) {
    QDBusConnection first = client("first"), second = client("second");
    EXPECT_EQ(call(first, kInterface, "GetFileName").errorName(), kErrorAccessDenied);
    ASSERT_EQ(call(first, kClassInterface, "CreateInstance").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(server->owner(), first.baseService());
    // Single use: nobody creates a second object in this viewer.
    EXPECT_EQ(call(second, kClassInterface, "CreateInstance").errorName(), kErrorAccessDenied);
    EXPECT_EQ(call(second, kInterface, "GetFileName").errorName(), kErrorAccessDenied);
    EXPECT_EQ(call(second, kClassInterface, "Release").errorName(), kErrorAccessDenied);

    const QDBusMessage r = call(first, kInterface, "GetCloseOnRelease");
    ASSERT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
    EXPECT_EQ(r.arguments().value(0).toInt(), 1);
    // Arguments of the wrong bus types are refused before any member runs.
    EXPECT_EQ(call(first, kInterface, "PutPrecision", {QString("8")}).errorName(),
              kErrorInvalidArgs);
    EXPECT_EQ(call(first, kInterface, "GetRoiLb", {30000}).errorName(), kErrorInvalidArgs);
    EXPECT_EQ(call(first, kInterface, "GetRoiLb", {QVariant::fromValue<short>(30000)}).errorName(),
              kErrorNoArray);
    EXPECT_EQ(quits, 0);
}

TEST_F(ServerTest, ReleaseHandsTheArrayToTheUserAndClosesTheViewer) {
    QDBusConnection first = client("first");
    ASSERT_EQ(call(first, kClassInterface, "CreateInstance").type(), QDBusMessage::ReplyMessage);
    loadArray();
    ASSERT_TRUE(doc->isClientOwned());
    ASSERT_EQ(call(first, kClassInterface, "Release").type(), QDBusMessage::ReplyMessage);
    EXPECT_FALSE(doc->isClientOwned());
    EXPECT_EQ(quits, 1);
    // Closing anyway with CloseOnRelease set: no refresh first.
    EXPECT_EQ(graph.dispatch.count(plotrane::DISPID_Update), 0);
    EXPECT_EQ(call(first, kInterface, "GetFileName").errorName(), kErrorAccessDenied);
}

TEST_F(ServerTest, WithoutCloseOnReleaseTheViewsAreRefreshedBeforeItCloses) {
    QDBusConnection first = client("first");
    ASSERT_EQ(call(first, kClassInterface, "CreateInstance").type(), QDBusMessage::ReplyMessage);
    loadArray();
    ASSERT_EQ(call(first, kInterface, "PutCloseOnRelease", {0}).type(), QDBusMessage::ReplyMessage);
    ASSERT_EQ(call(first, kClassInterface, "Release").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(graph.dispatch.count(plotrane::DISPID_Update), 1);
    EXPECT_EQ(quits, 1);
}

TEST_F(ServerTest, AClientThatGoesAwayIsReleasedAndAViewerInTheUsersHandsStays) {
    server->setUserControl();
    {
        QDBusConnection first = client("first");
        ASSERT_EQ(call(first, kClassInterface, "CreateInstance").type(),
                  QDBusMessage::ReplyMessage);
        loadArray();
    }
    QDBusConnection::disconnectFromBus(clients.takeFirst());
    QElapsedTimer t;
    t.start();
    while (doc->isClientOwned() && t.elapsed() < 5000)
        settle(20);
    EXPECT_FALSE(doc->isClientOwned());
    EXPECT_EQ(graph.dispatch.count(plotrane::DISPID_Update), 1);
    EXPECT_EQ(quits, 0);
}

TEST_F(ServerTest, AFileOpenedByTheUserWithdrawsTheClassObject) {
    server->revoke();
    QDBusConnection first = client("first");
    EXPECT_EQ(call(first, kClassInterface, "CreateInstance").errorName(), kErrorAccessDenied);
}

// While the document waits for the HDF helper (the user's own open of a
// file whose helper hangs), the event loop runs: a client's call that comes
// then is put off, not run inside the load, and answered once the wait has
// ended (here by the user's Cancel).
TEST_F(ServerTest, CallsThatComeWhileTheDocumentWaitsForTheHelperAreAnsweredAfterIt) {
    QDBusConnection first = client("first");
    ASSERT_EQ(call(first, kClassInterface, "CreateInstance").type(), QDBusMessage::ReplyMessage);
    loadArray();
    const std::string mark = dir.file("started");
    const std::string helper =
        dir.write("hang.sh", "#!/bin/sh\ntouch '" + mark + "'\nexec sleep 600\n");
    ::chmod(helper.c_str(), 0755);
    setenv("TAVRIX_HDF_HELPER", helper.c_str(), 1);
    doc->hdfHelper() = HdfHelper();
    unsetenv("TAVRIX_HDF_HELPER");
    const std::string hdf = dir.write("x.hdf", std::string("\x0e\x03\x13\x01", 4) + "rest");

    QDBusPendingCall pending = QDBusPendingCall::fromError(QDBusError());
    bool answeredInside = true;
    sink.onWait = [&](const std::function<void()>& work, std::atomic<bool>& cancel) {
        std::thread worker(work);
        EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(mark); }));
        pending = first.asyncCall(
            QDBusMessage::createMethodCall(busName, kObjectPath, kInterface, "GetFileName"));
        EXPECT_TRUE(waitFor([&] { return server->deferredCalls() == 1; }));
        answeredInside = pending.isFinished();
        cancel = true;
        worker.join();
    };
    EXPECT_FALSE(doc->open(hdf));
    EXPECT_FALSE(answeredInside);
    ASSERT_TRUE(waitFor([&] { return pending.isFinished(); }));
    const QDBusMessage r = pending.reply();
    ASSERT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
    EXPECT_EQ(r.arguments().value(0).toString().toStdString(), dir.file("a.agl"));
}

TEST(ServerIntrospection, DescribesEveryMemberWithItsBusTypes) {
    const QString xml = introspectionXml();
    EXPECT_EQ(xml.count("<method "), 112); // 110 members, CreateInstance, Release
    EXPECT_TRUE(xml.contains("<method name=\"ShowObject\">"));
    EXPECT_TRUE(xml.contains("<method name=\"SetRoi\">\n      <arg type=\"n\" direction=\"in\"/>\n"
                             "      <arg type=\"i\" direction=\"in\"/>\n"));
    EXPECT_TRUE(xml.contains("<method name=\"GetCameraPosition\">\n      <arg type=\"d\" "
                             "direction=\"out\"/>"));
}
