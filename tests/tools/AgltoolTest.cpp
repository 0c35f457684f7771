// agltool end to end: output formats, exit status and the error rule.
#include "TempDir.h"
#include "core/SegmentImage.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct ToolRun {
    int status;
    std::string out;
};

ToolRun agltool(const std::string& args) {
    const std::string cmd = std::string(TAVRIX_BINARY_DIR) + "/bin/agltool " + args + " 2>&1";
    ToolRun r{-1, {}};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return r;
}

std::string fortranFile(const TempDir& dir) {
    SegmentImage img;
    img.language = 2;
    img.type = 5; // AGL_LONG
    img.extents = {2, 3};
    img.lower = {1, 0};
    std::string data;
    for (int32_t v : {1, 2, 3, 4, 5, 6})
        SegmentImage::put(data, v);
    return dir.write("f.agl", img.header() + data);
}

} // namespace

TEST(Agltool, InfoPrintsTheShapeFirstAndJsonFields) {
    TempDir dir;
    const std::string path = fortranFile(dir);
    ToolRun info = agltool("info " + path);
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(info.out.substr(0, info.out.find('\n')), "int*4 M(0:2, 2)");
    ToolRun json = agltool("info --json " + path);
    EXPECT_EQ(json.status, 0);
    for (const char* field :
         {"\"type\": \"AGL_LONG\"", "\"type_code\": 4101", "\"language\": \"Fortran\"",
          "\"extents\": [2, 3]", "\"lower_bounds\": [1, 0]", "\"header_form\": \"normal\"",
          "\"header_size\": 28", "\"element_count\": 6", "\"has_trailer\": false"})
        EXPECT_NE(json.out.find(field), std::string::npos) << field << "\n" << json.out;
}

TEST(Agltool, DumpUsesTheLanguagesDefaultPlaneAndOptions) {
    TempDir dir;
    const std::string path = fortranFile(dir);
    // Fortran: rows run along stored dimension 1, columns along dimension 0.
    EXPECT_EQ(agltool("dump " + path).out, "1\t4\n2\t5\n3\t6\n");
    EXPECT_EQ(agltool("dump " + path + " --rowdim 0 --coldim 1 --roi 1:1:2").out, "2\t3\n5\t6\n");
    ToolRun bad = agltool("dump " + path + " --roi 9:0:0");
    EXPECT_EQ(bad.status, 2);
}

TEST(Agltool, FailuresNameTheCodeAndExitWithTwo) {
    TempDir dir;
    ToolRun missing = agltool("info " + dir.file("nothing.agl"));
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.out.find("AGL_E_OPEN (20484)"), std::string::npos) << missing.out;
    ToolRun shortFile = agltool("dump " + dir.write("s.agl", "abc"));
    EXPECT_EQ(shortFile.status, 2);
    EXPECT_NE(shortFile.out.find("AGL_E_FORMAT (20485)"), std::string::npos) << shortFile.out;
    EXPECT_EQ(agltool("frobnicate x").status, 2);
}

TEST(Agltool, ShareMakesABlockOthersCanOpen) {
    TempDir dir;
    const std::string path = fortranFile(dir);
    const std::string name = "tavrix-test/share-" + std::to_string(getpid());
    const std::string cmd =
        std::string(TAVRIX_BINARY_DIR) + "/bin/agltool share " + name + " " + path;
    FILE* p = popen(("exec " + cmd).c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[512] = {};
    ASSERT_NE(fgets(line, sizeof line, p), nullptr); // ready
    EXPECT_EQ(agltool("dump " + name).out, "1\t4\n2\t5\n3\t6\n");
    ToolRun json = agltool("info --json " + name);
    EXPECT_NE(json.out.find("\"lower_bounds\": [1, 0]"), std::string::npos) << json.out;
    std::system(("pkill -INT -f 'agltool share " + name + "'").c_str());
    pclose(p);
    EXPECT_EQ(agltool("info " + name).status, 2) << "the block goes with its last holder";
}

namespace {

// The Fortran 2 x 3 file of fortranFile, followed by a trailer built byte by
// byte: record, annotation "hello", palette, a 2-D scale for dimension 0 and
// a 1-D scale for dimension 1 (without the 2-D one: exactly what the writer
// makes of it).
std::string fileWithTrailer(const TempDir& dir, bool withFlatScale = true) {
    SegmentImage img;
    img.language = 2;
    img.type = 5;
    img.extents = {2, 3};
    img.lower = {1, 0};
    std::string head = img.header();
    for (int32_t v : {1, 2, 3, 4, 5, 6})
        SegmentImage::put(head, v);

    SegmentImage flat;
    flat.extents = {2, 2};
    std::string scale0 = withFlatScale ? flat.header() + std::string(16, '\x01') : "";
    SegmentImage line;
    line.type = 7; // AGL_DOUBLE
    line.extents = {3};
    std::string scale1 = line.header();
    for (double v : {0.5, 1.5, 2.5})
        SegmentImage::put(scale1, v);

    std::string record(328, '\0');
    auto at = [&record](size_t off, uint32_t v) { std::memcpy(&record[off], &v, 4); };
    at(0, 328);
    at(4, 100);
    at(8, 0x3003);
    at(12, 8);
    at(28, 0x10 | 0x80 | 0x20);
    at(280, 328);
    at(284, 334);
    if (withFlatScale) at(296, 334 + 1024);
    at(300, uint32_t(334 + 1024 + scale0.size()));
    std::string palette(1024, '\0');
    for (int i = 0; i < 1024; ++i)
        palette[size_t(i)] = char(i);
    return dir.write(withFlatScale ? "t.agl" : "canonical.agl",
                     head + record + "hello" + std::string(1, '\0') + palette + scale0 + scale1);
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(Agltool, InfoJsonDescribesTheTrailer) {
    TempDir dir;
    ToolRun none = agltool("info --json " + fortranFile(dir));
    EXPECT_NE(none.out.find("\"trailer\": null"), std::string::npos) << none.out;

    ToolRun json = agltool("info --json " + fileWithTrailer(dir));
    EXPECT_EQ(json.status, 0);
    for (const char* field :
         {"\"has_trailer\": true", "\"annotation\": \"hello\"", "\"palette\": true",
          "\"axis_scales\": [1]", "\"record_size\": 328", "\"ShowPalette\": 1", "\"ShowCursor\": 1",
          "\"AxisAutoScale\": 1", "\"PaletteAutoAdjust\": 1", "\"grid_exponent_form\": 0",
          "\"grid_precision\": 8",
          "\"height_plot_settings\": {\"word\": 176, \"LineSmooth\": 1, \"ShowGrid\": 1, "
          "\"shading_off\": 0, \"HighLight\": 0, \"TextureMode\": 1",
          "\"axis_scale_offsets\": [1358, 1402, 0, 0, 0, 0, 0]"})
        EXPECT_NE(json.out.find(field), std::string::npos) << field << "\n" << json.out;
}

TEST(Agltool, ConvertGoesThroughTextAndBackKeepingValuesAndTrailer) {
    TempDir dir;
    const std::string canonical = fileWithTrailer(dir, false);
    ASSERT_EQ(agltool("convert " + canonical + " " + dir.file("copy.agl")).status, 0);
    EXPECT_EQ(fileText(dir.file("copy.agl")), fileText(canonical)) << "byte for byte";
    // The reader's view travels: the two-dimensional scale is dropped.
    const std::string src = fileWithTrailer(dir);
    ASSERT_EQ(agltool("convert " + src + " " + dir.file("copy2.agl")).status, 0);
    EXPECT_EQ(fileText(dir.file("copy2.agl")), fileText(canonical));

    ToolRun toText = agltool("convert " + src + " " + dir.file("t.TXT"));
    EXPECT_EQ(toText.status, 0) << toText.out;
    EXPECT_EQ(fileText(dir.file("t.TXT")).substr(0, 58),
              "#agl ascii data V1.0\n#type AGL_LONG\n#lang Fortran\n#dim 2 0");
    ASSERT_EQ(agltool("convert " + dir.file("t.TXT") + " " + dir.file("back.agl")).status, 0);
    EXPECT_EQ(agltool("dump " + dir.file("back.agl")).out, "1\t4\n2\t5\n3\t6\n");
    EXPECT_EQ(agltool("info --json " + dir.file("back.agl")).out.find("\"lower_bounds\": [1, 0]") ==
                  std::string::npos,
              false);

    ToolRun shortText =
        agltool("convert " + dir.write("s.txt", "#dim 5\n1 2") + " " + dir.file("s.agl"));
    EXPECT_EQ(shortText.status, 0);
    EXPECT_NE(shortText.out.find("Expecting 5 data elements, \nbut only read 2\n"),
              std::string::npos);
    ToolRun empty =
        agltool("convert " + dir.write("e.txt", "no numbers") + " " + dir.file("e.agl"));
    EXPECT_EQ(empty.status, 2);
    EXPECT_NE(empty.out.find("AGL_E_FORMAT (20485)"), std::string::npos) << empty.out;
    ToolRun unwritable = agltool("convert " + src + " " + dir.file("no/such/out.txt"));
    EXPECT_EQ(unwritable.status, 2);
    EXPECT_NE(unwritable.out.find("AGL_E_OPEN (20484)"), std::string::npos) << unwritable.out;
    EXPECT_EQ(agltool("convert " + src + " x.txt --precision 99").status, 2);
}

// ---- Faults found with real data and hostile input ------------------------

namespace {

// agltool started in the background with its output in a pipe; killed (if
// still running) and reaped when it goes.
class BackgroundTool {
public:
    explicit BackgroundTool(const std::vector<std::string>& args) {
        int fds[2];
        if (pipe(fds) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(fds[1], 1);
            dup2(fds[1], 2);
            close(fds[0]);
            close(fds[1]);
            const std::string tool = std::string(TAVRIX_BINARY_DIR) + "/bin/agltool";
            std::vector<char*> argv{const_cast<char*>(tool.c_str())};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(tool.c_str(), argv.data());
            _exit(127);
        }
        close(fds[1]);
        m_out = fdopen(fds[0], "r");
    }
    ~BackgroundTool() {
        if (m_pid > 0 && !m_reaped) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_out) fclose(m_out);
    }
    // The next line of output (empty at the end).
    std::string line() {
        char buf[4096];
        return m_out && fgets(buf, sizeof buf, m_out) ? std::string(buf) : std::string();
    }
    // Reads the rest of the output and the exit status.
    ToolRun finish() {
        ToolRun r{-1, {}};
        char buf[65536];
        size_t n;
        while (m_out && (n = fread(buf, 1, sizeof buf, m_out)) > 0)
            r.out.append(buf, n);
        int st = 0;
        waitpid(m_pid, &st, 0);
        m_reaped = true;
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return r;
    }
    void signal(int sig) {
        kill(m_pid, sig);
        if (sig == SIGKILL) {
            waitpid(m_pid, nullptr, 0);
            m_reaped = true;
        }
    }

private:
    pid_t m_pid = -1;
    bool m_reaped = false;
    FILE* m_out = nullptr;
};

std::string uniqueName(const char* what) {
    return std::string("tavrix-test/") + what + "-" + std::to_string(getpid());
}

} // namespace

// A binary agl file named .txt, converted onto itself: the text writer must
// not destroy the bytes it is reading from.
TEST(AgltoolFaults, ConvertOntoItsOwnSourceKeepsTheValues) {
    TempDir dir;
    const std::string path = fortranFile(dir);
    const std::string txt = dir.file("self.txt");
    ASSERT_EQ(std::rename(path.c_str(), txt.c_str()), 0);
    ToolRun run = agltool("convert " + txt + " " + txt);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(fileText(txt).substr(0, 20), "#agl ascii data V1.0");
    ASSERT_EQ(agltool("convert " + txt + " " + dir.file("back.agl")).status, 0);
    EXPECT_EQ(agltool("dump " + dir.file("back.agl")).out, "1\t4\n2\t5\n3\t6\n");
}

// Outputs that are no regular file: a named pipe would block for ever,
// a device swallows or refuses the bytes. Each is refused at once.
TEST(AgltoolFaults, OutputsThatAreNoRegularFileAreRefused) {
    TempDir dir;
    const std::string in = fortranFile(dir);
    const std::string fifo = dir.file("pipe.txt");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& out : {fifo, std::string("/dev/full")}) {
        ToolRun run = agltool("convert " + in + " " + out);
        EXPECT_EQ(run.status, 2) << out << "\n" << run.out;
        EXPECT_NE(run.out.find("not a regular file"), std::string::npos) << run.out;
    }
    struct stat st {};
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the pipe itself stays";
}

// A file cut short while dump reads it: its lost pages read as zeros, which
// must end in an error, not in a screenful of zeros and status 0.
TEST(AgltoolFaults, DumpFailsWhenTheFileShrinksUnderIt) {
    TempDir dir;
    SegmentImage img;
    img.extents = {4096, 1024};
    const std::string head = img.header();
    const std::string path = dir.write("big.agl", head);
    ASSERT_EQ(truncate(path.c_str(), off_t(head.size()) + off_t(4096) * 1024 * 4), 0);
    BackgroundTool dump({"dump", path});
    ASSERT_FALSE(dump.line().empty()); // reading has begun
    ASSERT_EQ(truncate(path.c_str(), off_t(head.size())), 0);
    ToolRun run = dump.finish();
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("shrank while it was read"), std::string::npos) << run.out.size();
}

// Option numbers are read in 64 bits and checked before they narrow: 2^32 + 1
// is not row 1.
TEST(AgltoolFaults, RoiBeyondThe32BitRangeIsRefusedNotWrapped) {
    TempDir dir;
    const std::string path = fortranFile(dir);
    for (const char* roi :
         {"0:4294967297:4294967298", "0:0:4294967296", "0:1:0", "0:0:99999999999999999999"}) {
        ToolRun run = agltool("dump " + path + " --roi " + roi);
        EXPECT_EQ(run.status, 2) << roi << "\n" << run.out;
        EXPECT_EQ(run.out.find("\t"), std::string::npos) << roi << ": no values printed";
    }
    EXPECT_EQ(agltool("dump " + path + " --roi 0:1:1").out, "4\n5\n6\n");
}

// Names longer than a segment name may be are refused in both directions,
// so what share accepts, info finds.
TEST(AgltoolFaults, OverlongShareNamesAreRefused) {
    TempDir dir;
    const std::string path = fortranFile(dir);
    const std::string longName = uniqueName("long") + std::string(600, 'x');
    BackgroundTool share({"share", longName, path});
    ToolRun run = share.finish(); // a share that started would wait for ever
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("limited to 512 bytes"), std::string::npos) << run.out;
    ToolRun info = agltool("info " + longName);
    EXPECT_EQ(info.status, 2);
    EXPECT_NE(info.out.find("limited to 512 bytes"), std::string::npos) << info.out;
}

// A share that is killed leaves its block with no holder: sharing the name
// again works, and ls / rm show and remove such blocks.
TEST(AgltoolFaults, BlocksOfAKilledShareAreSweptListedAndRemoved) {
    TempDir dir;
    const std::string path = fortranFile(dir);
    const std::string name = uniqueName("killed");
    {
        BackgroundTool first({"share", name, path});
        ASSERT_NE(first.line().find("sharing"), std::string::npos);
        first.signal(SIGKILL);
    }
    ToolRun ls = agltool("ls");
    EXPECT_NE(ls.out.find("abandoned"), std::string::npos) << ls.out;
    EXPECT_NE(ls.out.find(name), std::string::npos) << ls.out;

    {
        BackgroundTool again({"share", name, path});
        ASSERT_NE(again.line().find("sharing"), std::string::npos) << "the name is free again";
        ToolRun held = agltool("rm " + name);
        EXPECT_EQ(held.status, 2);
        EXPECT_NE(held.out.find("held"), std::string::npos) << held.out;
        EXPECT_EQ(agltool("dump " + name).out, "1\t4\n2\t5\n3\t6\n");
        again.signal(SIGKILL);
    }
    EXPECT_EQ(agltool("rm " + name).status, 0);
    EXPECT_EQ(agltool("ls").out.find(name + "\n"), std::string::npos);
    EXPECT_EQ(agltool("rm " + name).status, 2) << "nothing left to remove";
}

// info --json is always valid UTF-8: bytes of a name that are not UTF-8
// become U+FFFD, while real UTF-8 passes as it is.
TEST(AgltoolFaults, InfoJsonReplacesBytesThatAreNotUtf8) {
    TempDir dir;
    const std::string source = fortranFile(dir);
    const std::string odd = dir.file("\xff\xc3(\xe2\x82.agl");
    const std::string fine = dir.file("caf\xc3\xa9.agl");
    ASSERT_EQ(std::rename(source.c_str(), odd.c_str()), 0);
    ASSERT_EQ(link(odd.c_str(), fine.c_str()), 0);
    ToolRun bad = agltool("info --json '" + odd + "'");
    ASSERT_EQ(bad.status, 0) << bad.out;
    EXPECT_NE(bad.out.find("/\\ufffd\\ufffd(\\ufffd\\ufffd.agl\""), std::string::npos) << bad.out;
    for (unsigned char c : bad.out)
        EXPECT_LT(c, 0x80) << "only the escapes carry the odd bytes";
    ToolRun good = agltool("info --json '" + fine + "'");
    EXPECT_NE(good.out.find("caf\xc3\xa9.agl\""), std::string::npos) << good.out;
}

// Fortran bounds at the ends of the 32-bit range: the shape text and the
// text file carry them exactly, and a pair whose upper end does not fit is
// refused at load rather than wrapped.
TEST(AgltoolFaults, BoundsAtThe32BitLimitsSurviveTheTextRoundTrip) {
    TempDir dir;
    SegmentImage img;
    img.language = 2;
    img.type = 5; // AGL_LONG
    img.extents = {2, 3};
    img.lower = {INT32_MAX - 1, INT32_MIN};
    std::string data;
    for (int32_t v : {1, 2, 3, 4, 5, 6})
        SegmentImage::put(data, v);
    const std::string edge = dir.write("edge.agl", img.header() + data);
    ToolRun info = agltool("info " + edge);
    ASSERT_EQ(info.status, 0) << info.out;
    EXPECT_EQ(info.out.substr(0, info.out.find('\n')),
              "int*4 M(-2147483648:-2147483646, 2147483646:2147483647)");
    ASSERT_EQ(agltool("convert " + edge + " " + dir.file("edge.txt")).status, 0);
    ToolRun back = agltool("convert " + dir.file("edge.txt") + " " + dir.file("back.agl"));
    ASSERT_EQ(back.status, 0) << back.out;
    EXPECT_EQ(agltool("dump " + dir.file("back.agl")).out, agltool("dump " + edge).out);
    EXPECT_NE(agltool("info --json " + dir.file("back.agl"))
                  .out.find("\"lower_bounds\": [2147483646, -2147483648]"),
              std::string::npos);

    img.lower = {INT32_MAX, INT32_MIN}; // upper end 2^31 + 1
    ToolRun over = agltool("info " + dir.write("over.agl", img.header() + data));
    EXPECT_EQ(over.status, 2);
    EXPECT_NE(over.out.find("AGL_E_EXTENT"), std::string::npos) << over.out;
}

// ---- Every format the viewer reads, read the viewer's way ------------------

namespace {

std::string dataFile(const std::string& name) {
    return std::string(TAVRIX_SOURCE_DIR) + "/tests/data/" + name;
}

std::vector<double> numbersIn(const std::string& text) {
    std::vector<double> out;
    const char* p = text.c_str();
    char* end = nullptr;
    for (double v = std::strtod(p, &end); end != p; v = std::strtod(p, &end)) {
        out.push_back(v);
        p = end;
    }
    return out;
}

} // namespace

// NumPy files, bitmaps and text go through info, dump and convert (and
// convert's text back through all three); nothing is garbled into numbers
// found in a binary header, as the forgiving text reader once made of them.
TEST(AgltoolFormats, NumpyBitmapAndTextFilesAreReadAsTheViewerReadsThem) {
    TempDir dir;
    struct Case {
        std::string file;
        const char* shape;
        const char* kind;
        std::vector<double> values; // the default plane, row by row
    } cases[] = {
        {dataFile("npy/ok_f4.npy"), "float M[2][3]", "NumPy file", {1, 2, 3, 11, 12, 13}},
        {dataFile("npy/ok_default_int.npy"),
         "double M[3][4]",
         "NumPy file (a double copy of int64 data)",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {dataFile("npy/ok_u8.npy"), "double M[2][3]", "NumPy file", {1, 2, 3, 11, 12, 13}},
        {dataFile("npy/ok_f2.npy"), "double M[2][3]", "NumPy file", {1, 2, 3, 11, 12, 13}},
        {dataFile("bmp/magick_40_4bit.bmp"), "uint*1 M(7, 5)", "bitmap (palette indices)", {}},
        {dir.write("grid.txt", "1 2 3\n4 5 6\n"),
         "real*4 M(3, 2)",
         "agl text file",
         {1, 2, 3, 4, 5, 6}},
    };
    // One plane for every file: a Fortran agl file shows another by default
    // than the text or bitmap it was made from.
    const std::string plane = " --rowdim 0 --coldim 1";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const ToolRun info = agltool("info " + c.file);
        ASSERT_EQ(info.status, 0) << info.out;
        EXPECT_EQ(info.out.substr(0, info.out.find('\n')), c.shape);
        EXPECT_NE(info.out.find(std::string("kind:       ") + c.kind), std::string::npos)
            << info.out;
        const ToolRun dump = agltool("dump " + c.file + plane);
        ASSERT_EQ(dump.status, 0) << dump.out;
        const std::vector<double> values = numbersIn(dump.out);
        if (!c.values.empty()) {
            EXPECT_EQ(values, c.values);
        }

        // Through agl and through text, and back: the same values.
        const std::string agl = dir.file("out.agl"), txt = dir.file("out.txt");
        ASSERT_EQ(agltool("convert " + c.file + " " + agl).status, 0);
        EXPECT_EQ(numbersIn(agltool("dump " + agl + plane).out), values);
        const ToolRun toText = agltool("convert " + c.file + " " + txt);
        ASSERT_EQ(toText.status, 0) << toText.out;
        const ToolRun textInfo = agltool("info " + txt);
        ASSERT_EQ(textInfo.status, 0) << textInfo.out;
        EXPECT_EQ(textInfo.out.substr(0, textInfo.out.find('\n')), c.shape);
        EXPECT_EQ(numbersIn(agltool("dump " + txt + plane).out), values);
        const ToolRun back = agltool("convert " + txt + " " + dir.file("back.agl"));
        ASSERT_EQ(back.status, 0) << back.out;
        EXPECT_EQ(numbersIn(agltool("dump " + dir.file("back.agl") + plane).out), values);
    }
}

// The JSON says how the array was read, and values beyond 2^53 that a
// double cannot hold are counted.
TEST(AgltoolFormats, InfoSaysWhenSixtyFourBitIntegersLostPrecision) {
    const ToolRun json = agltool("info --json " + dataFile("npy/big_i8.npy"));
    ASSERT_EQ(json.status, 0) << json.out;
    for (const char* field : {"\"format\": \"NumPy\"", "\"converted_from\": \"int64\"",
                              "\"imprecise_values\": 3", "\"type\": \"AGL_DOUBLE\""})
        EXPECT_NE(json.out.find(field), std::string::npos) << field << "\n" << json.out;
    const ToolRun info = agltool("info " + dataFile("npy/big_u8.npy"));
    EXPECT_NE(info.out.find("2 values beyond 2^53 lost precision"), std::string::npos) << info.out;
    EXPECT_EQ(agltool("dump " + dataFile("npy/big_u8.npy")).out,
              "9007199254740992\t1.8446744073709552e+19\t9.2233720368547758e+18\t7\n");
}

// Files no reader takes are refused with the reason, status 2, and no output
// file: a 24-bit bitmap, a NumPy file of a type nobody holds, and binary
// junk with digits in it.
TEST(AgltoolFormats, FilesItCannotReadAreRefusedWithTheReasonNotGarbled) {
    TempDir dir;
    std::string junk = "\x7f"
                       "ELF";
    for (int i = 0; i < 300; ++i)
        junk += std::string(1, char(i * 37)) + "12.5 ";
    struct Case {
        std::string file;
        const char* why;
    } cases[] = {
        {dataFile("bmp/magick_24bit.bmp"),
         "only 1, 2, 4 and 8 bits per pixel are supported: AGL_E_FORMAT (20485)"},
        {dataFile("npy/bad_bigendian_f4.npy"),
         "big-endian NumPy data ('>f4') is not supported: AGL_E_FORMAT (20485)"},
        {dir.write("junk.bin", junk),
         "not an array file: it has no agl, HDF4, HDF5, NetCDF, NumPy or bitmap "
         "signature, and it is not text: AGL_E_FORMAT (20485)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        for (const std::string& command :
             {"info " + c.file, "dump " + c.file, "convert " + c.file + " " + dir.file("x.agl"),
              "convert " + c.file + " " + dir.file("x.txt")}) {
            const ToolRun run = agltool(command);
            EXPECT_EQ(run.status, 2) << command << "\n" << run.out;
            EXPECT_NE(run.out.find(c.why), std::string::npos) << command << "\n" << run.out;
        }
        struct stat st {};
        EXPECT_NE(stat(dir.file("x.agl").c_str(), &st), 0) << "nothing was written";
        EXPECT_NE(stat(dir.file("x.txt").c_str(), &st), 0) << "nothing was written";
    }
}
