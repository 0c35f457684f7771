// MappedFile: the one read-only whole-file mapping the readers share.
#include "MappedFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

using platform::MappedFile;

TEST(MappedFile, GivesTheFileBytesAndItsStamp) {
    TempDir dir;
    const std::string bytes("agl\0data", 8);
    const std::string path = dir.write("a.bin", bytes);
    MappedFile f(path);
    ASSERT_TRUE(f.isOpen());
    ASSERT_NE(f.data(), nullptr);
    EXPECT_EQ(std::string(f.chars(), f.size()), bytes);
    EXPECT_EQ(f.stamp().size, 8);
    EXPECT_FALSE(f.torn());
}

TEST(MappedFile, EmptyFileOpensWithoutData) {
    TempDir dir;
    MappedFile f(dir.write("empty", ""));
    EXPECT_TRUE(f.isOpen());
    EXPECT_EQ(f.data(), nullptr);
    EXPECT_EQ(f.size(), 0u);
}

TEST(MappedFile, RefusesWhatIsNotARegularFileWithoutBlocking) {
    TempDir dir;
    ASSERT_EQ(0, mkfifo(dir.file("pipe").c_str(), 0600));
    MappedFile f;
    EXPECT_FALSE(f.open(dir.file("pipe"))); // a FIFO with no writer must not hang
    EXPECT_FALSE(f.open(dir.path()));
    EXPECT_FALSE(f.open(dir.file("missing")));
    EXPECT_FALSE(f.isOpen());
    EXPECT_EQ(f.data(), nullptr);
}

TEST(MappedFile, ReopeningDropsTheEarlierMapping) {
    TempDir dir;
    MappedFile f(dir.write("one", "first file"));
    ASSERT_TRUE(f.open(dir.write("two", "2nd")));
    EXPECT_EQ(std::string(f.chars(), f.size()), "2nd");
    EXPECT_FALSE(f.open(dir.file("missing")));
    EXPECT_EQ(f.size(), 0u);
}

// Another program cuts the file short while it is being read: the reader
// sees zeros instead of dying, and torn() tells it to discard what it read.
TEST(MappedFile, FileCutShortUnderTheMappingReadsZerosAndIsTorn) {
    TempDir dir;
    const long page = sysconf(_SC_PAGESIZE);
    const std::string path = dir.write("big", std::string(size_t(3 * page), 'x'));
    MappedFile f(path);
    ASSERT_EQ(f.size(), size_t(3 * page));
    ASSERT_EQ(0, truncate(path.c_str(), page));
    EXPECT_EQ(f.data()[0], 'x');
    EXPECT_EQ(f.data()[2 * page + 5], 0);
    EXPECT_TRUE(f.torn());
}
