// agltool end to end: output formats, exit status and the error rule.
#include "TempDir.h"
#include "core/SegmentImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

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
