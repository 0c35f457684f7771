// libtavrixclient against real viewers on a private session bus (run under
// dbus-run-session with TAVRIX_VIEWER naming the built viewer): a client's
// shared-memory array shown and steered, the owner check, one viewer per
// client, final release on release and on a killed client, and a segment cut
// short under the viewer.
#include "agl.h"
#include "tavrixclient.h"

#include <dbus/dbus.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A process that exists and is not a zombie.
bool alive(long pid) {
    if (kill(pid_t(pid), 0) != 0) return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t paren = line.rfind(')');
    return paren == std::string::npos || paren + 2 >= line.size() || line[paren + 2] != 'Z';
}

bool goneWithin(long pid, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (!alive(pid)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

struct Segment {
    agl_segment* seg = nullptr;
    Segment(const char* name, int rows, int cols) {
        const int ext[2] = {rows, cols};
        EXPECT_EQ(agl_create(&seg, name, AGL_FLOAT, AGL_LANG_C, 2, ext), 0);
        if (!seg) return;
        float* f = static_cast<float*>(agl_data(seg));
        for (int i = 0; i < rows * cols; ++i)
            f[i] = float(i);
    }
    ~Segment() {
        if (seg) agl_close(seg);
    }
    std::string name() const { return agl_name(seg); }
};

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr) << "run under dbus-run-session";
        ASSERT_EQ(tavrix_create(&v), TAVRIX_OK) << tavrix_last_error();
    }
    void TearDown() override {
        if (v) {
            EXPECT_EQ(tavrix_release(v), TAVRIX_OK) << tavrix_last_error();
        }
    }
    int32_t longs(const char* method, std::initializer_list<int32_t> in, int32_t* out = nullptr,
                  int nout = 0) {
        return tavrix_call_longs(v, method, in.begin(), int(in.size()), out, nout);
    }
    std::string text(const char* property) {
        char buffer[5000];
        EXPECT_EQ(tavrix_get_string(v, property, buffer, sizeof buffer), TAVRIX_OK)
            << tavrix_last_error();
        return buffer;
    }
    tavrix_obj* v = nullptr;
};

} // namespace

TEST_F(ClientTest, TheViewerListsEveryMemberInInterfaceOrder) {
    ASSERT_EQ(tavrix_member_count(v), 110);
    EXPECT_STREQ(tavrix_member_name(v, 0), "GetFileName");
    EXPECT_STREQ(tavrix_member_name(v, 14), "ShowWindow");
    EXPECT_STREQ(tavrix_member_name(v, 108), "GetDimScale");
    EXPECT_STREQ(tavrix_member_in(v, 16), "nii"); // SetRoi
}

// Showing an object of a file needs an HDF file open: anything else is
// refused with the reason, and the array shown stays.
TEST_F(ClientTest, ShowObjectIsRefusedWithoutAnHdfFile) {
    Segment data(nullptr, 4, 5);
    ASSERT_EQ(tavrix_put_string(v, "FileName", data.name().c_str()), TAVRIX_OK);
    EXPECT_EQ(tavrix_show_object(v, "/grp/temp"), TAVRIX_E_INVALID_ARG);
    EXPECT_NE(std::string(tavrix_last_error()).find("no HDF file is open"), std::string::npos)
        << tavrix_last_error();
    EXPECT_EQ(text("FileName"), data.name());
}

TEST_F(ClientTest, ASegmentIsShownSteeredUpdatedAndReadBack) {
    Segment data(nullptr, 10, 20);
    ASSERT_EQ(tavrix_put_string(v, "FileName", data.name().c_str()), TAVRIX_OK)
        << tavrix_last_error();
    int32_t error = -1;
    ASSERT_EQ(tavrix_get_long(v, "ErrorNo", &error), TAVRIX_OK);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(text("FileName"), data.name());
    ASSERT_EQ(longs("ShowWindow", {1}), TAVRIX_OK) << tavrix_last_error();

    int32_t r[4] = {};
    ASSERT_EQ(longs("SetRoi", {0, -5, 1000}), TAVRIX_OK) << tavrix_last_error();
    ASSERT_EQ(longs("GetRoiLb", {0}, &r[0], 1), TAVRIX_OK);
    ASSERT_EQ(longs("GetRoiUb", {0}, &r[1], 1), TAVRIX_OK);
    EXPECT_EQ(r[0], 0);
    EXPECT_EQ(r[1], 9);
    ASSERT_EQ(longs("SetRoi", {0, 7, 3}), TAVRIX_OK);
    ASSERT_EQ(longs("GetRoiUb", {0}, &r[1], 1), TAVRIX_OK);
    EXPECT_EQ(r[1], 9);

    ASSERT_EQ(longs("SetRoi2D", {2, 3, 4, 5}), TAVRIX_OK) << tavrix_last_error();
    ASSERT_EQ(longs("GetRoi2D", {}, r, 4), TAVRIX_OK);
    EXPECT_EQ(std::vector<int32_t>(r, r + 4), (std::vector<int32_t>{2, 3, 4, 5}));

    // The graph kind goes to the document (what it shows is the control's).
    EXPECT_EQ(tavrix_put_long(v, "GraphType", TAVRIX_IMAGE_MAP), TAVRIX_OK) << tavrix_last_error();
    EXPECT_EQ(tavrix_put_long(v, "GraphType", 9), TAVRIX_E_INVALID_ARG);
    EXPECT_NE(std::string(tavrix_last_error()).find("PutGraphType"), std::string::npos);

    static_cast<float*>(agl_data(data.seg))[0] = 42.0f;
    int32_t count = -1;
    ASSERT_EQ(longs("Update", {}, &count, 1), TAVRIX_OK);
    EXPECT_EQ(count, 0);

    ASSERT_EQ(tavrix_put_long(v, "Precision", 8), TAVRIX_OK);
    EXPECT_EQ(tavrix_put_long(v, "Precision", 16), TAVRIX_E_INVALID_ARG);
    int32_t precision = 0;
    ASSERT_EQ(tavrix_get_long(v, "Precision", &precision), TAVRIX_OK);
    EXPECT_EQ(precision, 8);

    ASSERT_EQ(tavrix_put_string(v, "ArrayName", "heat"), TAVRIX_OK);
    EXPECT_EQ(text("ArrayName"), "heat");
}

// Every kind of file the viewer refuses is answered at once with the reason
// (no box waits for a user nobody asked, the call never runs out of time),
// leaves its code for ErrorNo and keeps the array shown before.
TEST_F(ClientTest, EveryLoadRefusalIsAnsweredWithItsReasonAndKeepsTheArray) {
    Segment data(nullptr, 4, 5);
    ASSERT_EQ(tavrix_put_string(v, "FileName", data.name().c_str()), TAVRIX_OK)
        << tavrix_last_error();
    char scratch[] = "/tmp/tavrix-refusals-XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    const std::string dir = scratch;
    const auto write = [&](const char* name, const std::string& bytes) {
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
        return dir + "/" + name;
    };
    const std::string npy = TAVRIX_SOURCE_DIR "/tests/data/npy/";
    const std::vector<std::string> refused = {
        npy + "bad_bigendian_f4.npy",
        npy + "bad_c8.npy",
        npy + "bad_rank8.npy",
        npy + "bad_record.npy",
        write("cut.agl", std::string("AGL\x01\x02", 5)),
        write("empty.agl", ""),
        write("noise.hdf", std::string("\x0e\x03\x13\x01", 4) + std::string(300, '\xff')),
        dir + "/missing.agl",
        dir,
    };
    for (const std::string& path : refused) {
        EXPECT_EQ(tavrix_put_string(v, "FileName", path.c_str()), TAVRIX_E_LOAD_FAILED) << path;
        const std::string why = tavrix_last_error();
        EXPECT_EQ(why.rfind("PutFileName: ", 0), 0u) << path << ": " << why;
        EXPECT_GT(why.size(), std::strlen("PutFileName: ")) << path;
        int32_t error = 0;
        ASSERT_EQ(tavrix_get_long(v, "ErrorNo", &error), TAVRIX_OK) << tavrix_last_error();
        EXPECT_NE(error, 0) << path;
        EXPECT_EQ(text("FileName"), data.name()) << path;
    }
    // The viewer carries on: a good array still loads.
    Segment next(nullptr, 3, 3);
    EXPECT_EQ(tavrix_put_string(v, "FileName", next.name().c_str()), TAVRIX_OK)
        << tavrix_last_error();
    EXPECT_EQ(text("FileName"), next.name());
    std::system(("rm -rf " + dir).c_str());
}

TEST_F(ClientTest, BadValuesGetClearErrorsAndTheViewerCarriesOn) {
    int32_t out = 0;
    // Before any array.
    EXPECT_EQ(longs("GetRoiLb", {0}, &out, 1), TAVRIX_E_NO_ARRAY);
    EXPECT_EQ(longs("Update", {}, &out, 1), TAVRIX_E_NO_ARRAY);
    Segment data(nullptr, 4, 4);
    ASSERT_EQ(tavrix_put_string(v, "FileName", data.name().c_str()), TAVRIX_OK);
    EXPECT_EQ(longs("GetRoiLb", {30000}, &out, 1), TAVRIX_E_INVALID_ARG);
    EXPECT_EQ(longs("SetRowColDim", {-1, 0}), TAVRIX_E_INVALID_ARG);
    EXPECT_EQ(longs("GetRoiLb", {70000}, &out, 1), TAVRIX_E_INVALID_ARG); // not a short
    char name[64];
    EXPECT_EQ(tavrix_get_dim_scale(v, -1, name, sizeof name), TAVRIX_E_INVALID_ARG);
    EXPECT_EQ(tavrix_set_dim_scale(v, 7, data.name().c_str()), TAVRIX_OK); // ignored
    ASSERT_EQ(tavrix_get_dim_scale(v, 0, name, sizeof name), TAVRIX_OK);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(tavrix_put_string(v, "FileName", "\xff\xfe"), TAVRIX_E_INVALID_ARG);
    EXPECT_EQ(tavrix_put_string(v, "FileName", std::string(5000, 'a').c_str()),
              TAVRIX_E_INVALID_ARG);
    EXPECT_EQ(tavrix_put_long(v, "NoSuchThing", 1), TAVRIX_E_UNKNOWN_MEMBER);
    EXPECT_EQ(tavrix_call_longs(v, "SetRoi", nullptr, 0, nullptr, 0), TAVRIX_E_TYPE_MISMATCH);

    // A palette segment of 1000 bytes is refused and leaves the palette as
    // it was.
    agl_segment* pal = nullptr;
    const int ext[1] = {1000};
    ASSERT_EQ(agl_create(&pal, nullptr, AGL_UCHAR, AGL_LANG_C, 1, ext), 0);
    EXPECT_EQ(tavrix_put_string(v, "PaletteFileName", agl_name(pal)), TAVRIX_E_INVALID_ARG);
    EXPECT_EQ(text("PaletteFileName"), "");
    agl_close(pal);

    EXPECT_EQ(text("FileName"), data.name());
    EXPECT_TRUE(alive(tavrix_viewer_pid(v)));
}

TEST_F(ClientTest, OnlyTheCreatingConnectionMayCallTheViewer) {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* other = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    ASSERT_NE(other, nullptr);
    for (const char* iface :
         {"com.veradyne.Tavrix.ITavrixObj", "com.veradyne.Tavrix.ClassObject"}) {
        const char* method = std::strcmp(iface, "com.veradyne.Tavrix.ClassObject") == 0
                                 ? "CreateInstance"
                                 : "GetFileName";
        DBusMessage* call =
            dbus_message_new_method_call(tavrix_bus_name(v), "/TavrixObj", iface, method);
        DBusMessage* reply = dbus_connection_send_with_reply_and_block(other, call, 5000, &error);
        dbus_message_unref(call);
        EXPECT_EQ(reply, nullptr) << method;
        if (reply) dbus_message_unref(reply);
        EXPECT_STREQ(error.name, DBUS_ERROR_ACCESS_DENIED) << method;
        dbus_error_free(&error);
    }
    dbus_connection_close(other);
    dbus_connection_unref(other);
    EXPECT_EQ(tavrix_put_long(v, "CloseOnRelease", 1), TAVRIX_OK) << tavrix_last_error();
}

TEST_F(ClientTest, TwoClientsGetTwoViewersAndReleaseClosesEach) {
    tavrix_obj* second = nullptr;
    ASSERT_EQ(tavrix_create(&second), TAVRIX_OK) << tavrix_last_error();
    EXPECT_NE(tavrix_viewer_pid(second), tavrix_viewer_pid(v));
    EXPECT_STRNE(tavrix_bus_name(second), tavrix_bus_name(v));
    const long pid = tavrix_viewer_pid(second);
    EXPECT_EQ(tavrix_release(second), TAVRIX_OK) << tavrix_last_error();
    EXPECT_TRUE(goneWithin(pid, 20));
    EXPECT_TRUE(alive(tavrix_viewer_pid(v)));
}

// Starts the viewer as the client library does, with our own arguments;
// returns its exit status, or -1 when it is still running after seconds.
int viewerExit(std::vector<std::string> args, int seconds) {
    const char* viewer = getenv("TAVRIX_VIEWER");
    if (!viewer) return -2;
    args.insert(args.begin(), viewer);
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(viewer, argv.data());
        _exit(127);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

// A program that takes the next viewer's bus name first gets nothing: the
// client checks that the name's owner is the viewer it started, and fails
// with a clear error before it sends a single call.
TEST(ClientTrust, ANameTakenByAnotherProgramIsRefusedBeforeAnythingIsSent) {
    ASSERT_NE(getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr) << "run under dbus-run-session";
    // The name the next viewer gets: this process's id and the next number.
    tavrix_obj* first = nullptr;
    ASSERT_EQ(tavrix_create(&first), TAVRIX_OK) << tavrix_last_error();
    const std::string used = tavrix_bus_name(first);
    ASSERT_EQ(tavrix_release(first), TAVRIX_OK);
    const size_t cut = used.rfind('_');
    const std::string next =
        used.substr(0, cut + 1) + std::to_string(std::stoi(used.substr(cut + 1)) + 1);

    DBusError error;
    dbus_error_init(&error);
    DBusConnection* squatter = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    ASSERT_NE(squatter, nullptr);
    dbus_connection_set_exit_on_disconnect(squatter, FALSE);
    ASSERT_EQ(dbus_bus_request_name(squatter, next.c_str(), DBUS_NAME_FLAG_DO_NOT_QUEUE, &error),
              DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER);

    tavrix_obj* v = nullptr;
    EXPECT_EQ(tavrix_create(&v), TAVRIX_E_START);
    EXPECT_EQ(v, nullptr);
    const std::string why = tavrix_last_error();
    EXPECT_NE(why.find("held by another program"), std::string::npos) << why;

    // A round trip through the bus: whatever was sent to the squatter before
    // it is in its queue now. Nothing was.
    EXPECT_TRUE(dbus_bus_name_has_owner(squatter, "org.freedesktop.DBus", &error));
    int calls = 0;
    while (DBusMessage* m = dbus_connection_pop_message(squatter)) {
        if (dbus_message_get_type(m) == DBUS_MESSAGE_TYPE_METHOD_CALL) ++calls;
        dbus_message_unref(m);
    }
    EXPECT_EQ(calls, 0);
    dbus_connection_close(squatter);
    dbus_connection_unref(squatter);
    if (v) tavrix_release(v);
}

TEST(ClientLifetime, AViewerWhoseClientLeftBeforeCreatingTheObjectCloses) {
    const std::string name = "com.veradyne.Tavrix.test" + std::to_string(getpid());
    // No connection has that unique name: its client is gone already.
    EXPECT_EQ(viewerExit({"-Automation", "--bus-name", name, "--owner", ":1.999999"}, 20), 0);
}

TEST(ClientLifetime, AViewerWithoutABusNameOrWithATakenOneDoesNotStart) {
    EXPECT_EQ(viewerExit({"-Automation"}, 20), 1);
    tavrix_obj* v = nullptr;
    ASSERT_EQ(tavrix_create(&v), TAVRIX_OK) << tavrix_last_error();
    EXPECT_EQ(viewerExit({"-Automation", "--bus-name", tavrix_bus_name(v)}, 20), 1);
    EXPECT_EQ(tavrix_release(v), TAVRIX_OK);
}

TEST(ClientLifetime, TheViewerHoldsNoneOfTheClientsDescriptors) {
    // A pipe of the client's, open across the start: once the client closes
    // its write end, the reader must see the end at once.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    tavrix_obj* v = nullptr;
    ASSERT_EQ(tavrix_create(&v), TAVRIX_OK) << tavrix_last_error();
    close(fds[1]);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    char byte = 0;
    EXPECT_EQ(read(fds[0], &byte, 1), 0) << "the viewer keeps the client's pipe open";
    close(fds[0]);
    EXPECT_EQ(tavrix_release(v), TAVRIX_OK);
}

TEST(ClientLifetime, AKilledClientReleasesItsViewer) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        tavrix_obj* v = nullptr;
        long pid = tavrix_create(&v) == TAVRIX_OK ? tavrix_viewer_pid(v) : -1;
        (void)!write(fds[1], &pid, sizeof pid);
        pause();
        _exit(0);
    }
    close(fds[1]);
    long viewer = -1;
    ASSERT_EQ(read(fds[0], &viewer, sizeof viewer), ssize_t(sizeof viewer));
    close(fds[0]);
    ASSERT_GT(viewer, 0);
    EXPECT_TRUE(alive(viewer));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(goneWithin(viewer, 20));
}

TEST_F(ClientTest, ASegmentCutShortUnderTheViewerDoesNotKillIt) {
    const std::string name = "tvx_shrink_" + std::to_string(getpid());
    Segment data(name.c_str(), 256, 256);
    ASSERT_EQ(tavrix_put_string(v, "FileName", data.name().c_str()), TAVRIX_OK);
    ASSERT_EQ(longs("ShowWindow", {1}), TAVRIX_OK);
    // The client cuts its block to nothing and asks for a refresh; the
    // viewer reads it while drawing the grid.
    const int fd = open(("/dev/shm/agl-" + name).c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 0), 0);
    close(fd);
    int32_t out = 0;
    EXPECT_EQ(longs("Update", {}, &out, 1), TAVRIX_OK) << tavrix_last_error();
    EXPECT_EQ(longs("SetRoi2D", {0, 0, 100, 100}), TAVRIX_OK) << tavrix_last_error();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(alive(tavrix_viewer_pid(v)));
    EXPECT_EQ(text("FileName"), data.name());
}

// A viewer may wait longer for its HDF helper than a client waits for an
// ordinary call. A helper that hangs while listing (given a limit over the
// client's usual 30 s) must reach the client as the viewer's refusal, with
// the reason, not as a call that timed out.
TEST(ClientWaits, AHelperThatHangsIsReportedWithItsReasonNotAsNoReply) {
    char scratch[] = "/tmp/tavrix-hung-helper-XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    const std::string dir = scratch;
    const std::string file = dir + "/scales.hdf";
    std::ofstream(file, std::ios::binary)
        << std::string("\x0e\x03\x13\x01", 4) << std::string(200, '\0');
    const std::string script = dir + "/hang.sh";
    std::ofstream(script) << "#!/bin/sh\nexec sleep 600\n";
    ::chmod(script.c_str(), 0755);

    setenv("TAVRIX_HDF_HELPER", script.c_str(), 1);
    setenv("TAVRIX_HDF_LIST_TIMEOUT", "33", 1);
    tavrix_obj* v = nullptr;
    const int32_t created = tavrix_create(&v);
    unsetenv("TAVRIX_HDF_HELPER");
    unsetenv("TAVRIX_HDF_LIST_TIMEOUT");
    ASSERT_EQ(created, TAVRIX_OK) << tavrix_last_error();

    Segment data(nullptr, 4, 5);
    ASSERT_EQ(tavrix_put_string(v, "FileName", data.name().c_str()), TAVRIX_OK)
        << tavrix_last_error();
    EXPECT_EQ(tavrix_put_string(v, "FileName", file.c_str()), TAVRIX_E_LOAD_FAILED);
    const std::string why = tavrix_last_error();
    EXPECT_NE(why.find("did not finish in time"), std::string::npos) << why;
    // The viewer answers on and keeps its array.
    char name[5000];
    ASSERT_EQ(tavrix_get_string(v, "FileName", name, sizeof name), TAVRIX_OK)
        << tavrix_last_error();
    EXPECT_EQ(name, data.name());
    EXPECT_EQ(tavrix_release(v), TAVRIX_OK) << tavrix_last_error();
    std::system(("rm -rf " + dir).c_str());
}
