// Replays the kept fuzz corpus (tests/data/fuzz/<target>/) through the fuzz
// targets in the normal build, so every input that once crashed or was
// interesting keeps being checked.
#include "fuzz/FuzzTargets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

int replay(const std::string& target, int (*run)(const uint8_t*, size_t)) {
    const std::filesystem::path dir =
        std::filesystem::path(TAVRIX_SOURCE_DIR) / "tests/data/fuzz" / target;
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
        SCOPED_TRACE(entry.path().string());
        // An exact-size copy, so a read past the input's end is caught.
        std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() ? bytes.size() : 1]);
        std::copy(bytes.begin(), bytes.end(), copy.get());
        EXPECT_EQ(run(copy.get(), bytes.size()), 0);
        ++count;
    }
    return count;
}

} // namespace

TEST(FuzzCorpus, SegmentHeaderInputsStillPass) {
    EXPECT_GT(replay("segment_header", fuzzSegmentHeader), 0);
}
TEST(FuzzCorpus, AglTrailerInputsStillPass) {
    EXPECT_GT(replay("agl_trailer", fuzzAglTrailer), 0);
}
TEST(FuzzCorpus, AglAsciiInputsStillPass) {
    EXPECT_GT(replay("agl_ascii", fuzzAglAscii), 0);
}
TEST(FuzzCorpus, AglDataInputsStillPass) {
    EXPECT_GT(replay("agl_data", fuzzAglData), 0);
}
TEST(FuzzCorpus, BitmapInputsStillPass) {
    EXPECT_GT(replay("bitmap", fuzzBitmap), 0);
}
TEST(FuzzCorpus, HdfListInputsStillPass) {
    EXPECT_GT(replay("hdf_list", fuzzHdfList), 0);
}
TEST(FuzzCorpus, NpyHeaderInputsStillPass) {
    EXPECT_GT(replay("npy_header", fuzzNpyHeader), 0);
}
