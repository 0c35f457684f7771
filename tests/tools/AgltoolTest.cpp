// agltool end to end: output formats, exit status and the error rule.
#include "TempDir.h"
#include "core/SegmentImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <sys/wait.h>

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
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
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
    for (int32_t v : {1, 2, 3, 4, 5, 6}) SegmentImage::put(data, v);
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
    for (const char* field : {"\"type\": \"AGL_LONG\"", "\"type_code\": 4101",
                              "\"language\": \"Fortran\"", "\"extents\": [2, 3]",
                              "\"lower_bounds\": [1, 0]", "\"header_form\": \"normal\"",
                              "\"header_size\": 28", "\"element_count\": 6",
                              "\"has_trailer\": false"})
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
    const std::string cmd = std::string(TAVRIX_BINARY_DIR) + "/bin/agltool share " + name + " " + path;
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
