// agltool on HDF files written by other programs: the HDF library itself
// (make_hdf_samples) and Debian's hdf4-tools (hdfimport, r8tohdf). Every
// value agltool dump prints agrees with hdp dumpsds; info lists what the
// viewer's tree lists; convert writes one object with its palette.
#include "TempDir.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct ShellRun {
    int status;
    std::string out;
};

ShellRun shell(const std::string& cmd) {
    ShellRun r{-1, {}};
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return r;
}

ShellRun agltool(const std::string& args) {
    return shell(std::string(TAVRIX_BINARY_DIR) + "/bin/agltool " + args);
}

bool haveHdfTools() {
    return shell("command -v hdp && command -v hdfimport && command -v r8tohdf").status == 0;
}

std::vector<double> numbers(const std::string& text) {
    std::vector<double> out;
    std::istringstream in(text);
    double v;
    while (in >> v)
        out.push_back(v);
    return out;
}

class AgltoolHdf : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(std::system((std::string(MAKE_HDF_SAMPLES) + " " + dir.path()).c_str()), 0);
    }
    std::string file(const char* name) const { return dir.file(name); }
    TempDir dir;
};

} // namespace

TEST_F(AgltoolHdf, DumpAgreesWithHdpOnEveryValueOfEveryNumberType) {
    if (!haveHdfTools()) GTEST_SKIP() << "hdf4-tools not installed";
    for (const char* set : {"f32", "f64", "i8", "u8", "i16", "u16", "i32", "u32"}) {
        SCOPED_TRACE(set);
        const ShellRun hdp =
            shell("hdp dumpsds -d -n " + std::string(set) + " " + file("types.hdf"));
        const ShellRun ours =
            agltool("dump " + file("types.hdf") + " --object " + set + " --rowdim 0 --coldim 1");
        ASSERT_EQ(hdp.status, 0) << hdp.out;
        ASSERT_EQ(ours.status, 0) << ours.out;
        const std::vector<double> a = numbers(hdp.out), b = numbers(ours.out);
        ASSERT_EQ(a.size(), 12u) << hdp.out;
        ASSERT_EQ(b.size(), 12u) << ours.out;
        for (size_t i = 0; i < a.size(); ++i)
            EXPECT_DOUBLE_EQ(a[i], b[i]) << i;
    }
}

TEST_F(AgltoolHdf, FilesOfHdfimportAndR8tohdfAreListedAndRead) {
    if (!haveHdfTools()) GTEST_SKIP() << "hdf4-tools not installed";
    // hdfimport's text form: planes rows columns, max min, row and column
    // coordinates, then the values.
    dir.write("in.txt", "TEXT\n1 2 3\n6 1\n10 20\n1 2 3\n1 2 3\n4 5 6\n");
    ASSERT_EQ(shell("hdfimport " + file("in.txt") + " -o " + file("fp.hdf")).status, 0);
    const ShellRun info = agltool("info " + file("fp.hdf"));
    ASSERT_EQ(info.status, 0) << info.out;
    EXPECT_EQ(info.out.rfind("0\tScientific Data\t", 0), 0u) << info.out;
    EXPECT_NE(info.out.find("float[2][3]"), std::string::npos) << info.out;
    const ShellRun hdp = shell("hdp dumpsds -d -i 0 " + file("fp.hdf"));
    const ShellRun ours = agltool("dump " + file("fp.hdf") + " --object 0 --rowdim 0 --coldim 1");
    const std::vector<double> a = numbers(hdp.out);
    ASSERT_GE(a.size(), 6u);
    EXPECT_EQ(numbers(ours.out), std::vector<double>(a.begin(), a.begin() + 6));

    // A raster-8 image with its palette.
    std::string pixels, palette;
    for (int i = 0; i < 15; ++i)
        pixels += char(i * 10);
    for (int i = 0; i < 256; ++i)
        palette += std::string{char(i), char(0), char(255 - i)};
    dir.write("img.raw", pixels);
    dir.write("pal.raw", palette);
    ASSERT_EQ(
        shell("r8tohdf 5 3 " + file("r8.hdf") + " -p " + file("pal.raw") + " " + file("img.raw"))
            .status,
        0);
    const ShellRun r8 = agltool("info --json " + file("r8.hdf"));
    ASSERT_EQ(r8.status, 0) << r8.out;
    EXPECT_NE(r8.out.find("\"kind\": \"Raster Image\""), std::string::npos) << r8.out;
    EXPECT_NE(r8.out.find("\"shape\": \"uchar[3][5]\""), std::string::npos) << r8.out;
    const ShellRun dump = agltool("dump " + file("r8.hdf") + " --object 0");
    EXPECT_EQ(numbers(dump.out).back(), 140.0) << dump.out;
}

// A reader that stops early (agltool dump ... | head) ends agltool through
// its normal exit, with a message: the shared-memory block it read the HDF
// object into goes with it instead of staying in /dev/shm.
TEST_F(AgltoolHdf, AReaderThatStopsEarlyLeavesNoBlockBehind) {
    if (!haveHdfTools()) GTEST_SKIP() << "hdf4-tools not installed";
    // 300 x 300 values: far more text than a pipe holds.
    std::string text = "TEXT\n1 300 300\n1 0\n";
    for (int axis = 0; axis < 2; ++axis)
        for (int i = 0; i < 300; ++i)
            text += std::to_string(i) + (i == 299 ? "\n" : " ");
    for (int i = 0; i < 300 * 300; ++i)
        text += std::to_string((i % 997) * 0.001) + ((i % 300) == 299 ? "\n" : " ");
    dir.write("big.txt", text);
    ASSERT_EQ(shell("hdfimport " + file("big.txt") + " -o " + file("big.hdf")).status, 0);
    // agltool under a name of its own: the blocks it makes carry the name.
    const std::string tool = "agltool-reader-" + std::to_string(getpid());
    ASSERT_EQ(
        shell("cp " + std::string(TAVRIX_BINARY_DIR) + "/bin/agltool " + file(tool.c_str())).status,
        0);
    const ShellRun cut =
        shell("TAVRIX_HDF_HELPER=" + std::string(TAVRIX_BINARY_DIR) + "/bin/tavrix-hdf " +
              file(tool.c_str()) + " dump " + file("big.hdf") + " --object 0 2>" + file("err.txt") +
              " | head -c 100");
    EXPECT_EQ(cut.out.size(), 100u) << cut.out;
    const ShellRun left = shell("ls /dev/shm | grep -c -- " + tool);
    EXPECT_EQ(left.out, "0\n") << shell("ls /dev/shm").out;
    const ShellRun err = shell("cat " + file("err.txt"));
    EXPECT_NE(err.out.find("the output was cut short"), std::string::npos) << err.out;
}

// Names from the file cannot break the listing's lines and fields: control
// characters are escaped in the text form and kept in the JSON form.
TEST_F(AgltoolHdf, InfoEscapesControlCharactersInObjectNames) {
    const ShellRun text = agltool("info " + file("names.hdf"));
    ASSERT_EQ(text.status, 0) << text.out;
    EXPECT_NE(text.out.find("\ttab\\there\t"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\ttwo\\nlines\\\\\t"), std::string::npos) << text.out;
    // One line per object, each of four fields.
    std::istringstream lines(text.out);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 3) << line;
    }
    EXPECT_EQ(count, 2) << text.out;
    const ShellRun json = agltool("info --json " + file("names.hdf"));
    ASSERT_EQ(json.status, 0) << json.out;
    EXPECT_NE(json.out.find("\"two\\u000alines\\\\\""), std::string::npos) << json.out;
}

TEST_F(AgltoolHdf, ConvertWritesOneObjectWithItsPaletteAsTheTrailersPalette) {
    const ShellRun list = agltool("info " + file("images.hdf"));
    ASSERT_EQ(list.status, 0) << list.out;
    EXPECT_EQ(list.out.find("colour"), std::string::npos); // multi-component: not listed
    ASSERT_EQ(
        agltool("convert " + file("images.hdf") + " " + file("p.agl") + " --object picture").status,
        0);
    const ShellRun info = agltool("info --json " + file("p.agl"));
    EXPECT_NE(info.out.find("\"palette\": true"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\"extents\": [3, 5]"), std::string::npos) << info.out;
    // By number: temperature is the first object of scales.hdf.
    ASSERT_EQ(agltool("convert " + file("scales.hdf") + " " + file("t.agl") + " --object 0").status,
              0);
    const ShellRun back = agltool("dump " + file("t.agl") + " --rowdim 0 --coldim 1");
    EXPECT_EQ(numbers(back.out),
              (std::vector<double>{0, 0.5, 2, 4.5, 8, 12.5, 18, 24.5, 32, 40.5, 50, 60.5}));
}

TEST_F(AgltoolHdf, ObjectsWithoutElementsAndBadChoicesFailWithStatusTwo) {
    EXPECT_EQ(agltool("dump " + file("scales.hdf")).status, 2); // no --object
    const ShellRun none = agltool("dump " + file("scales.hdf") + " --object nosuch");
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.out.find("no object nosuch"), std::string::npos) << none.out;
    EXPECT_EQ(agltool("dump " + file("scales.hdf") + " --object 99").status, 2);
    const ShellRun single = agltool("dump " + file("scales.hdf") + " --object single");
    EXPECT_EQ(single.status, 2);
    EXPECT_NE(single.out.find("has no elements"), std::string::npos) << single.out;
    dir.write("fake.hdf", std::string("\x0e\x03\x13\x01", 4) + "junk");
    const ShellRun fake = agltool("info " + file("fake.hdf"));
    EXPECT_EQ(fake.status, 2);
    EXPECT_NE(fake.out.find("Couldn't read file!"), std::string::npos) << fake.out;
}

TEST(AgltoolNumpy, InfoAndDumpReadNumpysOwnFilesAndRefuseTheRest) {
    const std::string dir = std::string(TAVRIX_SOURCE_DIR) + "/tests/data/npy/";
    const ShellRun info = agltool("info " + dir + "ok_u2.npy");
    ASSERT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("kind:       NumPy file"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("AGL_USHORT"), std::string::npos) << info.out;
    EXPECT_EQ(numbers(agltool("dump " + dir + "ok_i1.npy").out),
              (std::vector<double>{1, 2, 3, 11, 12, 13}));
    const ShellRun refused = agltool("info " + dir + "bad_c8.npy");
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.out.find("NumPy type '<c8' has no agl element type: AGL_E_FORMAT (20485)"),
              std::string::npos)
        << refused.out;
}

// convert, info and dump read an HDF object as the viewer shows it, and the
// text convert writes of it reads back; render draws an HDF object too.
TEST_F(AgltoolHdf, AnObjectGoesThroughTextAndBack) {
    const std::string txt = file("temperature.txt");
    ASSERT_EQ(agltool("convert " + file("scales.hdf") + " " + txt + " --object 0").status, 0);
    const ShellRun info = agltool("info " + txt);
    ASSERT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("kind:       agl text file"), std::string::npos) << info.out;
    // One plane for both: the text reader picks its own default.
    const ShellRun direct =
        agltool("dump " + file("scales.hdf") + " --object 0 --rowdim 0 --coldim 1");
    const ShellRun back = agltool("dump " + txt + " --rowdim 0 --coldim 1");
    ASSERT_EQ(direct.status, 0) << direct.out;
    ASSERT_EQ(back.status, 0) << back.out;
    EXPECT_EQ(numbers(back.out), numbers(direct.out));
    EXPECT_FALSE(numbers(direct.out).empty());
    const ShellRun plain = agltool("convert " + file("scales.hdf") + " " + file("t.agl"));
    EXPECT_EQ(plain.status, 2);
    EXPECT_NE(plain.out.find("needs --object"), std::string::npos) << plain.out;
}

// ---- HDF5 ------------------------------------------------------------------------

namespace {

// A Python that has h5py, or empty.
std::string pythonWithH5py() {
    for (const char* python : {"python3", "/usr/bin/python3"})
        if (shell(std::string(python) + " -c 'import h5py'").status == 0) return python;
    return {};
}

// The values h5dump prints for a data set, in storage order.
std::vector<double> h5dump(const std::string& file, const std::string& location) {
    const ShellRun r = shell("h5dump -y -w 0 -d " + location + " " + file);
    const size_t data = r.out.find("DATA {");
    if (r.status != 0 || data == std::string::npos) return {};
    std::string body = r.out.substr(data + 6, r.out.find('}', data) - data - 6);
    std::replace(body.begin(), body.end(), ',', ' ');
    return numbers(body);
}

class AgltoolHdf5 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(std::system((std::string(MAKE_HDF5_SAMPLES) + " " + dir.path()).c_str()), 0);
    }
    std::string file(const char* name) const { return dir.file(name); }
    TempDir dir;
};

} // namespace

TEST_F(AgltoolHdf5, InfoListsGroupsAsFoldersAndRefusedDataSetsWithTheirReason) {
    const ShellRun list = agltool("info " + file("sample.h5"));
    ASSERT_EQ(list.status, 0) << list.out;
    for (const char* line : {"\tGroup\tgrp\t\n", "\t  Scientific Data\ttemp\tfloat[3][4]\n",
                             "\t    Scientific Data\ty\tdouble[3]\n",
                             "\tScientific Data\tbig\tdouble (from int64)[3]\n",
                             "\tScientific Data\tpairs\tunsupported[2]\n"})
        EXPECT_NE(list.out.find(line), std::string::npos) << line << list.out;
    // One object: its path, why it is refused, an attribute's values.
    const ShellRun pairs = agltool("info " + file("sample.h5") + " --object pairs");
    ASSERT_EQ(pairs.status, 0) << pairs.out;
    EXPECT_NE(pairs.out.find("location\t/pairs\n"), std::string::npos) << pairs.out;
    EXPECT_NE(pairs.out.find("refused\tcompound data sets cannot be shown\n"), std::string::npos)
        << pairs.out;
    const ShellRun temp = agltool("info " + file("sample.h5") + " --object temp");
    EXPECT_NE(temp.out.find("attribute\tfactors\t0.5\\n2\n"), std::string::npos) << temp.out;
    EXPECT_NE(temp.out.find("attribute\tunits\tK\n"), std::string::npos) << temp.out;
    const ShellRun title = agltool("info " + file("sample.h5") + " --object title");
    EXPECT_NE(title.out.find("\nOcean run\n"), std::string::npos) << title.out;
    // Reading a refused one fails with the reason.
    const ShellRun dump = agltool("dump " + file("sample.h5") + " --object names");
    EXPECT_EQ(dump.status, 2);
    EXPECT_NE(dump.out.find("string data sets cannot be shown"), std::string::npos) << dump.out;
}

TEST_F(AgltoolHdf5, DumpOfAFileWrittenByH5pyAgreesWithH5dump) {
    const std::string python = pythonWithH5py();
    if (python.empty()) GTEST_SKIP() << "h5py is not installed";
    if (shell("command -v h5dump").status != 0) GTEST_SKIP() << "h5dump is not installed";
    const std::string h5 = file("h5py.h5");
    const ShellRun write =
        shell(python + " " + TAVRIX_SOURCE_DIR + "/tests/tools/hdf5/write_h5py_sample.py " + h5);
    ASSERT_EQ(write.status, 0) << write.out;
    const struct {
        const char* object;
        const char* location;
        size_t count; // values in the plane dump prints
    } cases[] = {{"temp", "/run/temp", 20},
                 {"lat", "/run/lat", 4},
                 {"lon", "/run/lon", 5},
                 {"counts", "/run/counts", 3},
                 {"cube", "/run/cube", 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.object);
        const ShellRun ours = agltool("dump " + h5 + " --object " + c.object);
        ASSERT_EQ(ours.status, 0) << ours.out;
        const std::vector<double> expected = h5dump(h5, c.location), got = numbers(ours.out);
        ASSERT_GE(expected.size(), c.count);
        ASSERT_EQ(got.size(), c.count) << ours.out;
        // The first plane of a cube is its first 2 x 4 values.
        for (size_t i = 0; i < c.count; ++i)
            EXPECT_DOUBLE_EQ(got[i], expected[i]) << i;
    }
    // The scales sit under the data set; the refused ones are listed.
    const ShellRun list = agltool("info " + h5);
    EXPECT_NE(list.out.find("\t    Scientific Data\tlat\tdouble[4]\n"), std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("\t  Scientific Data\trecords\tunsupported[2]\n"), std::string::npos)
        << list.out;
    const ShellRun temp = agltool("info " + h5 + " --object temp");
    EXPECT_NE(temp.out.find("attribute\tlong_name\tsea water temperature\n"), std::string::npos)
        << temp.out;
    const ShellRun counts = agltool("info --json " + h5 + " --object counts");
    EXPECT_NE(counts.out.find("\"shape\": \"double (from int64)[3]\""), std::string::npos)
        << counts.out;
}

namespace {

// The process whose parent is parent (-1 when there is none), by /proc.
pid_t childOf(pid_t parent) {
    FILE* p = popen(("ps -o pid= --ppid " + std::to_string(parent)).c_str(), "r");
    if (!p) return -1;
    long pid = -1;
    if (std::fscanf(p, "%ld", &pid) != 1) pid = -1;
    pclose(p);
    return pid_t(pid);
}

// Whether pid has ended (gone, or a zombie no one has reaped yet).
bool ended(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return true;
    const size_t close = text.rfind(')');
    return close == std::string::npos || text.compare(close + 2, 1, "Z") == 0;
}

} // namespace

// A helper stuck inside the HDF library (here: opening a FIFO no one writes)
// ends when the program that started it is killed, SIGKILL included, rather
// than holding the file and its memory for good.
TEST_F(AgltoolHdf, AHelperHangingInTheLibraryEndsWhenItsCallerIsKilled) {
    const std::string fifo = file("never.hdf");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The viewer's helper hook, pointed at the real helper with the FIFO
    // for a file: the same process (exec), hanging for real.
    const std::string script = file("hang.sh");
    {
        std::ofstream out(script);
        out << "#!/bin/sh\nexec '" << TAVRIX_BINARY_DIR << "/bin/tavrix-hdf' list '" << fifo
            << "'\n";
    }
    ::chmod(script.c_str(), 0755);
    const std::string tool = std::string(TAVRIX_BINARY_DIR) + "/bin/agltool";
    std::string tool_ = tool, info = "info", hdf = file("types.hdf");
    {
        std::string hook = "TAVRIX_HDF_HELPER=" + script;
        char* argv[] = {tool_.data(), info.data(), hdf.data(), nullptr};
        char* envp[] = {hook.data(), nullptr};
        pid_t caller = -1;
        ASSERT_EQ(posix_spawn(&caller, tool.c_str(), nullptr, nullptr, argv, envp), 0);
        pid_t helper = -1;
        ASSERT_TRUE(waitFor([&] {
            // A caller that ended by itself never started the helper.
            if (::waitpid(caller, nullptr, WNOHANG) == caller) return true;
            helper = childOf(caller);
            if (helper <= 0) return false;
            // Started, and the script has become the helper.
            std::ifstream cmd("/proc/" + std::to_string(helper) + "/cmdline");
            std::string args((std::istreambuf_iterator<char>(cmd)), {});
            return args.find("tavrix-hdf") != std::string::npos;
        }));
        ASSERT_GT(helper, 0) << "agltool ended without starting the helper";
        ::kill(caller, SIGKILL);
        ASSERT_EQ(::waitpid(caller, nullptr, 0), caller);
        EXPECT_TRUE(waitFor([&] { return ended(helper); })) << "helper " << helper << " lives on";
        if (!ended(helper)) ::kill(helper, SIGKILL);
    }
}
