// FileStamp: the one stat-to-stamp the viewer's file watch, the segment and
// the agl writer share. A missed change means a stale picture of a rewritten
// file; a false one asks the user to reload a file nobody touched.
#include "FileStamp.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

using platform::FileStamp;

namespace {

// Sets a file's write time to seconds + nanoseconds since the epoch, so that
// tests never depend on the clock's resolution.
void setWriteTime(const std::string& path, time_t seconds, long nanoseconds) {
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0));
}

} // namespace

TEST(FileStamp, DescribesARegularFileByIdentitySizeAndTime) {
    TempDir dir;
    const std::string path = dir.write("a.agl", "12345");
    setWriteTime(path, 1700000000, 250);
    const FileStamp s = FileStamp::ofPath(path);
    ASSERT_TRUE(s.isRegularFile());
    EXPECT_EQ(s.size, 5);
    EXPECT_EQ(s.timeNs, 1700000000LL * 1000000000 + 250);

    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const FileStamp viaDescriptor = FileStamp::ofDescriptor(fd);
    ::close(fd);
    EXPECT_TRUE(viaDescriptor.isSameFile(s));
    EXPECT_FALSE(s.changedIn(viaDescriptor));
}

TEST(FileStamp, WhatIsNotARegularFileIsNeverTakenForOne) {
    TempDir dir;
    EXPECT_FALSE(FileStamp::ofPath(dir.file("missing")).valid);
    EXPECT_FALSE(FileStamp::ofDescriptor(-1).valid);
    const FileStamp folder = FileStamp::ofPath(dir.path());
    EXPECT_TRUE(folder.valid);
    EXPECT_FALSE(folder.isRegularFile());
    ASSERT_EQ(0, mkfifo(dir.file("pipe").c_str(), 0600));
    EXPECT_FALSE(FileStamp::ofPath(dir.file("pipe")).isRegularFile());
}

// Each row changes the file one way after the first stamp and says whether
// the change must be seen.
struct ChangeCase {
    const char* name;
    void (*change)(const TempDir& dir, const std::string& path);
    bool seen;
};
// ctest shows the case by its name.
void PrintTo(const ChangeCase& c, std::ostream* out) {
    *out << c.name;
}

class FileStampChange : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(FileStampChange, IsSeenExactlyWhenTheFileIsNoLongerTheOneStamped) {
    TempDir dir;
    const std::string path = dir.write("data.agl", "abcdef");
    setWriteTime(path, 1700000000, 500);
    const FileStamp before = FileStamp::ofPath(path);
    GetParam().change(dir, path);
    const FileStamp after = FileStamp::ofPath(path);
    ASSERT_TRUE(after.isRegularFile());
    EXPECT_EQ(before.changedIn(after), GetParam().seen);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileStampChange,
    ::testing::Values(ChangeCase{"Untouched", [](const TempDir&, const std::string&) {}, false},
                      ChangeCase{"RewrittenInPlaceSameSize",
                                 [](const TempDir&, const std::string& p) {
                                     std::FILE* f = std::fopen(p.c_str(), "r+");
                                     std::fputs("ABCDEF", f);
                                     std::fclose(f);
                                     setWriteTime(p, 1700000000, 501); // one nanosecond later
                                 },
                                 true},
                      ChangeCase{"CutShortKeepingItsTime",
                                 [](const TempDir&, const std::string& p) {
                                     ASSERT_EQ(0, truncate(p.c_str(), 2));
                                     setWriteTime(p, 1700000000, 500);
                                 },
                                 true},
                      // An editor's save: a new file renamed over the old one, with the
                      // same size and an older time stamp.
                      ChangeCase{"ReplacedByRename",
                                 [](const TempDir& d, const std::string& p) {
                                     const std::string tmp = d.write("new.tmp", "zzzzzz");
                                     setWriteTime(tmp, 1600000000, 0);
                                     ASSERT_EQ(0, std::rename(tmp.c_str(), p.c_str()));
                                 },
                                 true},
                      // A write time put back (a restored copy over the same file) is not
                      // taken for a newer version.
                      ChangeCase{"TimeMovedBackwardOnly",
                                 [](const TempDir&, const std::string& p) {
                                     setWriteTime(p, 1600000000, 0);
                                 },
                                 false}),
    [](const ::testing::TestParamInfo<ChangeCase>& row) { return std::string(row.param.name); });
