// Data segments: header checks, limits, both header forms, creation, reshape,
// names, shared-memory lifetime across holders and processes.
#include "SegmentImage.h"
#include "TempDir.h"

#include "ShmName.h"
#include "aglSegment.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <ostream>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string floats(std::initializer_list<float> v) {
    std::string s;
    for (float f : v)
        SegmentImage::put(s, f);
    return s;
}

bool shmExists(const std::string& segmentName) {
    int fd = shm_open(platform::shmObjectName(segmentName).c_str(), O_RDONLY, 0);
    if (fd < 0) return false;
    close(fd);
    return true;
}

std::string uniqueName(const char* stem) {
    return std::string("tavrix-test/") + stem + "-" + std::to_string(getpid()) + "-" +
           std::to_string(aglSegment::initCount());
}

} // namespace

struct BadHeader {
    const char* what;
    std::string bytes;
    int error;
};
// ctest shows the case by what it holds.
void PrintTo(const BadHeader& c, std::ostream* out) {
    *out << c.what;
}

class SegmentHeaderRejects : public ::testing::TestWithParam<BadHeader> {};

TEST_P(SegmentHeaderRejects, WithTheRightCode) {
    TempDir dir;
    const std::string path = dir.write("bad.agl", GetParam().bytes);
    aglSegment seg;
    EXPECT_FALSE(seg.open(path, true));
    EXPECT_EQ(seg.takeError(), GetParam().error) << GetParam().what;
    EXPECT_EQ(seg.takeError(), 0) << "reading the error clears it";
    EXPECT_FALSE(seg.isValid());
    EXPECT_EQ(seg.elements(), nullptr);
}

static std::vector<BadHeader> badHeaders() {
    std::vector<BadHeader> v;
    SegmentImage ok;
    ok.extents = {2, 3};
    const std::string six = floats({1, 2, 3, 4, 5, 6});
    v.push_back({"empty file", "", AGL_E_FORMAT});
    v.push_back({"12 bytes", ok.header().substr(0, 12), AGL_E_FORMAT});
    v.push_back({"promises more than it holds", ok.header() + six.substr(0, 20), AGL_E_FORMAT});
    SegmentImage m = ok;
    m.magic = 0x12345678;
    v.push_back({"bad magic", m.header() + six, AGL_E_FORMAT});
    SegmentImage l = ok;
    l.language = 3;
    v.push_back({"language 3", l.header() + six, AGL_E_FORMAT});
    SegmentImage n0 = ok;
    n0.slotsByte = 0;
    v.push_back({"zero slots", n0.header() + six, AGL_E_RANK});
    SegmentImage n8 = ok;
    n8.slotsByte = 200;
    v.push_back({"200 slots", n8.header() + six, AGL_E_RANK});
    SegmentImage neg = ok;
    neg.extents = {2, -3};
    v.push_back({"negative extent", neg.header() + six, AGL_E_EXTENT});
    SegmentImage big = ok;
    big.extents = {0x40000001, 1};
    v.push_back({"extent above 2^30", big.header(), AGL_E_EXTENT});
    SegmentImage too = ok;
    too.extents = {1024, 1024, 1025};
    v.push_back({"product above 2^30", too.header(), AGL_E_TOO_LARGE});
    SegmentImage none = ok;
    none.extents = {0, 5};
    v.push_back({"no dimension", none.header(), AGL_E_RANK});
    SegmentImage wrap = ok;
    wrap.type = 7; // 2^30 doubles: 8 GiB must not wrap to a small size
    wrap.extents = {1 << 30};
    v.push_back({"8 GiB of doubles in a tiny file", wrap.header() + six, AGL_E_FORMAT});
    v.push_back({"header cut inside the extents", ok.header().substr(0, 15), AGL_E_FORMAT});
    return v;
}

INSTANTIATE_TEST_SUITE_P(Files, SegmentHeaderRejects, ::testing::ValuesIn(badHeaders()));

TEST(Segment, OpensNormalFormAndFindsTrailer) {
    TempDir dir;
    SegmentImage img;
    img.extents = {2, 3};
    const std::string path =
        dir.write("a.agl", img.header() + floats({1, 2, 3, 4, 5, 6}) + "TRAIL");
    aglSegment seg;
    ASSERT_TRUE(seg.open(path, true));
    EXPECT_EQ(seg.dimCount(), 2);
    EXPECT_EQ(seg.headerSize(), 28);
    EXPECT_EQ(seg.typeCode(), AGL_FLOAT);
    EXPECT_EQ(seg.elementCount(), 6);
    EXPECT_EQ(seg.totalSize(), 28u + 24u + 5u);
    ASSERT_NE(seg.trailer(), nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(seg.trailer()), 5), "TRAIL");
    EXPECT_FLOAT_EQ(static_cast<const float*>(seg.elements())[5], 6.0f);
    EXPECT_FALSE(seg.isWritable());
}

TEST(Segment, ZeroExtentEndsTheDimensionsButNotTheHeader) {
    TempDir dir;
    SegmentImage img;
    img.type = 0;
    img.extents = {5, 0, 7};
    const std::string path = dir.write("a.agl", img.header() + std::string(5, 'x'));
    aglSegment seg;
    ASSERT_TRUE(seg.open(path, true));
    EXPECT_EQ(seg.dimCount(), 1);
    EXPECT_EQ(seg.elementCount(), 5);
    EXPECT_EQ(seg.headerSize(), 36);
    EXPECT_EQ(seg.slotCount(), 3);
    EXPECT_EQ(seg.extent(1), 0);
    EXPECT_EQ(seg.trailer(), nullptr);
}

TEST(Segment, FixedFormHasSevenSlotsAndA324ByteHeader) {
    TempDir dir;
    SegmentImage img;
    img.language = 2;
    img.type = 7;
    img.extents = {2, 2};
    img.lower = {0, -4};
    std::string data;
    for (double d : {1.5, 2.5, 3.5, 4.5})
        SegmentImage::put(data, d);
    const std::string path = dir.write("f.agl", img.fixedHeader() + data);
    aglSegment seg;
    ASSERT_TRUE(seg.open(path, true));
    EXPECT_TRUE(seg.isFixedForm());
    EXPECT_EQ(seg.slotCount(), 7);
    EXPECT_EQ(seg.headerSize(), 324);
    EXPECT_EQ(seg.lowerBound(1), -4);
    EXPECT_EQ(seg.lowerBound(3), 1) << "Fortran default beyond the dimensions";
    EXPECT_DOUBLE_EQ(static_cast<const double*>(seg.elements())[3], 4.5);
}

TEST(Segment, ExactlyTwoToThe30ElementsIsAccepted) {
    // A sparse file: the header check must not read the elements.
    TempDir dir;
    SegmentImage img;
    img.type = 0;
    img.extents = {1024, 1024, 1024};
    const std::string path = dir.write("big.agl", img.header());
    ASSERT_EQ(truncate(path.c_str(), off_t(img.header().size()) + (off_t(1) << 30)), 0);
    aglSegment seg;
    ASSERT_TRUE(seg.open(path, true));
    EXPECT_EQ(seg.elementCount(), int64_t(1) << 30);
}

TEST(Segment, ViewInPlaceNeverReadsPastWhatIsAvailable) {
    SegmentImage img;
    img.extents = {4};
    const std::string bytes = img.header() + floats({1, 2, 3, 4});
    aglSegment seg;
    EXPECT_FALSE(seg.viewInPlace(bytes.data(), bytes.size() - 1));
    EXPECT_EQ(seg.takeError(), AGL_E_FORMAT);
    EXPECT_FALSE(seg.viewInPlace(bytes.data(), 10));
    ASSERT_TRUE(seg.viewInPlace(bytes.data(), bytes.size()));
    EXPECT_EQ(seg.totalSize(), bytes.size());
    EXPECT_FALSE(seg.isWritable());
}

TEST(Segment, NonRegularFilesAreRefusedWithoutHanging) {
    TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    aglSegment seg;
    EXPECT_FALSE(seg.open(fifo, true));
    EXPECT_EQ(seg.takeError(), AGL_E_OPEN);
    EXPECT_FALSE(seg.open(dir.path(), true));
    EXPECT_EQ(seg.takeError(), AGL_E_OPEN);
}

TEST(Segment, CreateFileKeepsALongerFilesTailAsTrailer) {
    TempDir dir;
    const std::string path = dir.write("c.agl", std::string(100, 'z'));
    aglSegment seg;
    const int32_t ext[2] = {3, 2};
    ASSERT_TRUE(seg.create(path.c_str(), 2, ext, AGL_SHORT, AGL_LANG_FORTRAN));
    EXPECT_EQ(seg.totalSize(), 100u);
    ASSERT_NE(seg.trailer(), nullptr);
    EXPECT_EQ(seg.trailer() - seg.base(), 12 + 16 + 12);
    EXPECT_EQ(seg.lowerBound(0), 1);
    EXPECT_TRUE(seg.isWritable());

    aglSegment fresh;
    ASSERT_TRUE(fresh.create(dir.file("d.agl").c_str(), 2, ext, AGL_SHORT, AGL_LANG_C));
    EXPECT_EQ(fresh.totalSize(), 40u);
    EXPECT_EQ(fresh.trailer(), nullptr);
    struct stat st {};
    ASSERT_EQ(stat(dir.file("d.agl").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 40);
}

TEST(Segment, ReshapeRules) {
    aglSegment seg;
    const int32_t ext[2] = {12, 0};
    ASSERT_TRUE(seg.create(nullptr, 2, ext, AGL_FLOAT, AGL_LANG_C));
    EXPECT_EQ(seg.dimCount(), 1);
    const int32_t longs[2] = {6, 2};
    ASSERT_TRUE(seg.reshape(2, longs, AGL_LONG));
    EXPECT_EQ(seg.typeCode(), AGL_LONG);
    EXPECT_EQ(seg.extent(1), 2);
    EXPECT_EQ(seg.base()[5], 5) << "type byte rewritten";
    EXPECT_FALSE(seg.reshape(2, longs, AGL_DOUBLE));
    EXPECT_EQ(seg.takeError(), AGL_E_SIZE);
    const int32_t three[3] = {2, 3, 8};
    EXPECT_FALSE(seg.reshape(3, three, AGL_UCHAR));
    EXPECT_EQ(seg.takeError(), AGL_E_RANK) << "more dimensions than slots";

    aglSegment one;
    const int32_t e1[1] = {48};
    ASSERT_TRUE(one.create(nullptr, 1, e1, AGL_UCHAR, AGL_LANG_C));
    const int32_t e2[2] = {6, 8};
    EXPECT_FALSE(one.reshape(2, e2, AGL_UCHAR));
    EXPECT_EQ(one.takeError(), AGL_E_RANK);
    const int32_t twelve[1] = {12};
    EXPECT_FALSE(one.reshape(1, twelve, 9999));
    EXPECT_EQ(one.takeError(), AGL_E_SIZE) << "an unknown type is one byte: 12 != 48";
    const int32_t fortyEight[2] = {6, 8};
    EXPECT_FALSE(one.reshape(2, fortyEight, 9999));
    const int32_t same[1] = {48};
    EXPECT_TRUE(one.reshape(1, same, 9999));
    EXPECT_EQ(one.typeCode(), AGL_UCHAR);
}

TEST(Segment, ReshapeOfAReadOnlySegmentFails) {
    TempDir dir;
    SegmentImage img;
    img.extents = {2};
    const std::string path = dir.write("r.agl", img.header() + floats({1, 2}));
    aglSegment seg;
    ASSERT_TRUE(seg.open(path, true));
    const int32_t e[1] = {8};
    EXPECT_FALSE(seg.reshape(1, e, AGL_UCHAR));
    EXPECT_EQ(seg.takeError(), AGL_E_READONLY);
    EXPECT_FALSE(seg.setLowerBound(0, 3));
}

TEST(SegmentNames, GeneratedNamesCarryPathCounterAndClock) {
    aglSegment a, b;
    const int32_t e[1] = {4};
    const int before = aglSegment::initCount();
    ASSERT_TRUE(a.create(nullptr, 1, e, AGL_UCHAR, AGL_LANG_C));
    ASSERT_TRUE(b.create(nullptr, 1, e, AGL_UCHAR, AGL_LANG_C));
    EXPECT_NE(a.name(), b.name());
    char exe[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    const std::string prefix = std::string(exe) + "@" + std::to_string(before) + "@";
    EXPECT_EQ(a.name().rfind(prefix, 0), 0u) << a.name();
    EXPECT_EQ(a.name().find('\\'), std::string::npos);
}

TEST(SegmentNames, ObjectNameEncodingAndHashForLongNames) {
    EXPECT_EQ(platform::shmObjectName("a/b%c"), "/agl-a%2Fb%25c");
    const std::string longName(300, 'q');
    const std::string object = platform::shmObjectName(longName);
    EXPECT_EQ(object.size(), 5u + 200u + 1u + 16u);
    EXPECT_EQ(object.substr(0, 205), "/agl-" + std::string(200, 'q'));
    EXPECT_EQ(platform::shmObjectName(longName + "x").substr(206),
              platform::shmObjectName(longName + "x").substr(206));
    EXPECT_NE(platform::shmObjectName(longName + "x"), platform::shmObjectName(longName + "y"));
    // FNV-1a 64 of "a" is a published test vector.
    EXPECT_EQ(platform::fnv1a64("a"), 0xaf63dc4c8601ec8cull);
}

TEST(SegmentNames, LongNamesWorkEndToEnd) {
    const std::string name = uniqueName("long") + std::string(400, 'n');
    aglSegment seg;
    const int32_t e[1] = {3};
    ASSERT_TRUE(seg.createShared(name, 1, e, AGL_UCHAR, AGL_LANG_C));
    aglSegment again;
    ASSERT_TRUE(again.open(seg.name(), true));
    EXPECT_EQ(again.elementCount(), 3);
    aglSegment thousand;
    EXPECT_FALSE(thousand.open(std::string(1000, 'w'), true));
    EXPECT_EQ(thousand.takeError(), AGL_E_OPEN);
}

TEST(SharedMemory, CreatingAnExistingNameFailsAndNeverOpensIt) {
    const std::string name = uniqueName("dup");
    aglSegment a, b;
    const int32_t e[1] = {8};
    ASSERT_TRUE(a.createShared(name, 1, e, AGL_UCHAR, AGL_LANG_C));
    EXPECT_FALSE(b.createShared(name, 1, e, AGL_UCHAR, AGL_LANG_C));
    EXPECT_EQ(b.takeError(), AGL_E_EXISTS);
    EXPECT_EQ(b.elements(), nullptr);
}

TEST(SharedMemory, BlockLivesWhileAnyHolderHasItOpen) {
    const std::string name = uniqueName("life");
    const int32_t e[1] = {16};
    auto creator = std::make_unique<aglSegment>();
    ASSERT_TRUE(creator->createShared(name, 1, e, AGL_UCHAR, AGL_LANG_C));
    static_cast<uint8_t*>(creator->elements())[3] = 42;
    auto reader = std::make_unique<aglSegment>();
    ASSERT_TRUE(reader->open(name, true));
    EXPECT_EQ(reader->totalSize(), 12u + 8u + 16u);
    creator.reset();
    EXPECT_TRUE(shmExists(name)) << "the reader still holds it";
    EXPECT_EQ(static_cast<const uint8_t*>(reader->elements())[3], 42);
    reader.reset();
    EXPECT_FALSE(shmExists(name)) << "the last holder removes it";
    aglSegment late;
    EXPECT_FALSE(late.open(name, true));
    EXPECT_EQ(late.takeError(), AGL_E_OPEN);
}

TEST(SharedMemory, AnotherProcessOpensTheBlockByName) {
    const std::string name = uniqueName("proc");
    const int32_t e[2] = {2, 2};
    aglSegment seg;
    ASSERT_TRUE(seg.createShared(name, 2, e, AGL_DOUBLE, AGL_LANG_C));
    static_cast<double*>(seg.elements())[3] = 2.75;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        aglSegment other;
        const bool ok =
            other.open(name, false) && static_cast<double*>(other.elements())[3] == 2.75;
        if (ok) static_cast<double*>(other.elements())[0] = -1.0;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(static_cast<double*>(seg.elements())[0], -1.0) << "writes are shared";
    EXPECT_TRUE(shmExists(name)) << "the child's close must not remove our block";
}

TEST(SharedMemory, SweepRemovesOnlyBlocksNobodyHolds) {
    // Only this test's blocks are swept: the other tests running beside it
    // make blocks of their own that no process holds for a moment.
    const std::string held = uniqueName("sweep-held"), orphan = uniqueName("sweep-orphan");
    aglSegment keep;
    const int32_t e[1] = {4};
    ASSERT_TRUE(keep.createShared(held, 1, e, AGL_UCHAR, AGL_LANG_C));
    // An orphan: the object exists but no process holds a lock on it. Made
    // and swept over and over until time() has turned to the next second: a
    // block is stamped with a finer clock than time() reads, so one made just
    // as the second turns could look younger than zero.
    const time_t start = time(nullptr);
    for (int round = 0; time(nullptr) == start && round < 100000; ++round) {
        const int fd =
            shm_open(platform::shmObjectName(orphan).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        close(fd);
        platform::sweepAbandonedBlocks(0.0, "tavrix-test/sweep-");
        ASSERT_FALSE(shmExists(orphan)) << "round " << round;
    }
    EXPECT_TRUE(shmExists(held));
}

TEST(SharedMemory, TruncatedBlockIsRefusedNotMapped) {
    const std::string name = uniqueName("short");
    SegmentImage img;
    img.extents = {1000};
    const std::string head = img.header();
    const std::string object = platform::shmObjectName(name);
    const int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, head.data(), head.size()), ssize_t(head.size()));
    aglSegment seg;
    EXPECT_FALSE(seg.open(name, true));
    EXPECT_EQ(seg.takeError(), AGL_E_FORMAT);
    close(fd);
    shm_unlink(object.c_str());
}

TEST(SegmentFaults, FileTruncatedWhileMappedReadsZerosInsteadOfKillingUs) {
    TempDir dir;
    SegmentImage img;
    img.type = 0;
    img.extents = {1 << 20};
    const std::string path = dir.write("t.agl", img.header() + std::string(1 << 20, '\x05'));
    aglSegment seg;
    ASSERT_TRUE(seg.open(path, true));
    const volatile uint8_t* p = static_cast<const uint8_t*>(seg.elements());
    EXPECT_EQ(p[(1 << 20) - 1], 5);
    EXPECT_EQ(seg.truncationFaults(), 0);
    ASSERT_EQ(truncate(path.c_str(), 100), 0);
    EXPECT_EQ(p[(1 << 20) - 1], 0) << "a page past the new end reads zeros";
    EXPECT_EQ(p[50], 5) << "what is still in the file is still there";
    EXPECT_GT(seg.truncationFaults(), 0);
}

// Another program rewrites the header of an array we have open (extents
// made smaller, the rank changed): a copy of it is refused as damaged,
// never sized from one header and filled from the other; the header put
// back as it was copies again.
TEST(SegmentFaults, CopyOfAnArrayWhoseHeaderWasRewrittenIsRefused) {
    TempDir dir;
    SegmentImage img;
    img.extents = {6, 8};
    std::string data;
    for (int i = 0; i < 48; ++i)
        SegmentImage::put(data, float(i));
    const std::string path = dir.write("h.agl", img.header() + data);
    aglSegment seg;
    ASSERT_TRUE(seg.open(path, true));
    const int fd = open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    const auto poke = [&](off_t at, int32_t value) { ASSERT_EQ(pwrite(fd, &value, 4, at), 4); };
    const auto copyFails = [&](const char* what) {
        aglSegment copy;
        EXPECT_FALSE(copy.copyOf(seg)) << what;
        EXPECT_EQ(copy.takeError(), AGL_E_FORMAT) << what;
    };
    poke(12, 2); // 2 x 8: a smaller array than the mapping holds
    copyFails("smaller extents");
    poke(12, 600); // 600 x 8: more than the mapping holds
    copyFails("larger extents");
    poke(12, 6);
    const uint8_t rank = 1; // [6] alone
    const uint8_t two = 2;
    ASSERT_EQ(pwrite(fd, &rank, 1, 6), 1);
    copyFails("rank changed");
    ASSERT_EQ(pwrite(fd, &two, 1, 6), 1);
    close(fd);
    aglSegment copy;
    ASSERT_TRUE(copy.copyOf(seg));
    EXPECT_EQ(copy.elementCount(), 48);
    EXPECT_EQ(static_cast<const float*>(copy.elements())[47], 47.0f);
}

// Names longer than 512 bytes are refused, never cut: cut names of one
// prefix would meet, and a name that could be shared could not be opened.
TEST(SharedMemory, OverlongNamesAreRefusedBothWays) {
    const std::string base = uniqueName("long") + std::string(600, 'a');
    const int32_t e[1] = {4};
    aglSegment seg;
    EXPECT_FALSE(seg.createShared(base, 1, e, AGL_UCHAR, AGL_LANG_C));
    EXPECT_EQ(seg.takeError(), AGL_E_OPEN);
    EXPECT_FALSE(shmExists(base.substr(0, 512)));
    EXPECT_FALSE(seg.create(base.c_str(), 1, e, AGL_UCHAR, AGL_LANG_C));
    // Exactly 512 bytes is a name like any other.
    const std::string fits = base.substr(0, aglSegment::kMaxNameLength);
    ASSERT_TRUE(seg.createShared(fits, 1, e, AGL_UCHAR, AGL_LANG_C));
    aglSegment other;
    EXPECT_TRUE(other.open(fits, true));
    EXPECT_FALSE(other.open(fits + "b", true));
}

// A block whose creator died holds no lock: creating the name again sweeps
// it instead of failing; a held block still makes the name taken.
TEST(SharedMemory, CreatingSweepsAnAbandonedBlockOfTheSameName) {
    const std::string name = uniqueName("abandoned");
    const std::string object = platform::shmObjectName(name);
    const int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 64), 0);
    close(fd);
    const int32_t e[1] = {4};
    aglSegment seg;
    ASSERT_TRUE(seg.createShared(name, 1, e, AGL_UCHAR, AGL_LANG_C)) << seg.takeError();
    aglSegment again;
    EXPECT_FALSE(again.createShared(name, 1, e, AGL_UCHAR, AGL_LANG_C));
    EXPECT_EQ(again.takeError(), AGL_E_EXISTS);
    EXPECT_EQ(platform::removeAbandonedBlock(object), platform::RemoveResult::Held);
}

// A private segment (a copied block's snapshot) has the header and the rules
// of any other, and leaves nothing behind that another program could open.
TEST(PrivateSegment, HoldsItsElementsAndMakesNoSharedBlock) {
    // What this process holds of shared memory: mapped regions and open
    // descriptors under /dev/shm. Other tests make and remove blocks there
    // at the same time, so the folder itself says nothing about us.
    const auto sharedHeld = [] {
        std::vector<std::string> held;
        std::ifstream maps("/proc/self/maps");
        for (std::string line; std::getline(maps, line);)
            if (line.find("/dev/shm/") != std::string::npos) held.push_back(line);
        if (DIR* d = opendir("/proc/self/fd")) {
            while (dirent* ent = readdir(d)) {
                char target[4096];
                const std::string link = std::string("/proc/self/fd/") + ent->d_name;
                const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
                if (n > 0 && std::string(target, size_t(n)).rfind("/dev/shm/", 0) == 0)
                    held.emplace_back(target, size_t(n));
            }
            closedir(d);
        }
        return held;
    };
    const auto before = sharedHeld();
    aglSegment s;
    const int32_t e[2] = {3, 5};
    ASSERT_TRUE(s.createPrivate(2, e, AGL_DOUBLE, AGL_LANG_FORTRAN));
    EXPECT_TRUE(s.isWritable());
    EXPECT_EQ(s.name(), "");
    EXPECT_EQ(s.extent(0), 3);
    EXPECT_EQ(s.extent(1), 5);
    EXPECT_EQ(s.totalSize(), 12u + 8u * 2u + 15u * 8u);
    auto* values = static_cast<uint8_t*>(s.elements());
    for (int i = 0; i < 15 * 8; ++i)
        values[i] = uint8_t(i);
    const int32_t flat[1] = {15};
    ASSERT_TRUE(s.reshape(1, flat, AGL_DOUBLE));
    EXPECT_EQ(s.extent(0), 15);
    EXPECT_EQ(static_cast<const uint8_t*>(s.elements())[100], 100);
    EXPECT_EQ(sharedHeld(), before);

    const int32_t huge[2] = {int32_t(1) << 30, 2}; // over 2^30 elements
    aglSegment tooBig;
    EXPECT_FALSE(tooBig.createPrivate(2, huge, AGL_DOUBLE, AGL_LANG_C));
    EXPECT_NE(tooBig.takeError(), 0);
}

// A block made for another process to fill whole claims no memory up front
// (the filler takes it page by page as it writes); a block made otherwise
// claims all of it at once, so that no later write can fault. Either way
// another process opens and fills it.
TEST(SharedMemory, AnUnreservedBlockTakesItsMemoryOnlyAsItIsWritten) {
    const int32_t e[2] = {512, 1024}; // 4 MiB of floats
    auto claimed = [](const aglSegment& seg) {
        struct stat st {};
        const int fd =
            shm_open(platform::shmObjectName(seg.name()).c_str(), O_RDONLY | O_CLOEXEC, 0);
        if (fd < 0 || fstat(fd, &st) != 0) return int64_t(-1);
        close(fd);
        return int64_t(st.st_blocks) * 512;
    };
    aglSegment reserved;
    ASSERT_TRUE(reserved.create(nullptr, 2, e, AGL_FLOAT, AGL_LANG_C));
    EXPECT_GE(claimed(reserved), int64_t(reserved.totalSize()));
    aglSegment lazy;
    ASSERT_TRUE(lazy.createUnreserved(2, e, AGL_FLOAT, AGL_LANG_C));
    EXPECT_LT(claimed(lazy), int64_t(1) << 20);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        aglSegment other;
        if (!other.open(lazy.name(), false)) _exit(1);
        auto* v = static_cast<float*>(other.elements());
        for (int64_t i = 0; i < other.elementCount(); ++i)
            v[i] = float(i % 1000);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_GE(claimed(lazy), int64_t(lazy.totalSize()) - 4096);
    EXPECT_EQ(static_cast<const float*>(lazy.elements())[512 * 1024 - 1], float(524287 % 1000));
}
