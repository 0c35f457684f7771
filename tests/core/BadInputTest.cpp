// Bad input never crashes: hand-made and randomly mutated segment files are
// opened as segments and arrays and every element they claim is read. Runs
// under the address and undefined-behaviour sanitizers as well.
#include "SegmentImage.h"
#include "TempDir.h"

#include "aglArray.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Opens path both ways and reads the whole plane; returns whether it opened.
bool openAndReadEverything(const std::string& path) {
    aglArray a;
    if (!a.open(path, true)) {
        EXPECT_NE(a.takeError(), 0);
        EXPECT_TRUE(a.isPlaceholder()) << "a failed open keeps the previous array";
        return false;
    }
    int32_t c0, r0, nc, nr;
    a.planeRoi(c0, r0, nc, nr);
    double sum = 0;
    for (int64_t r = r0; r < r0 + nr && r < r0 + 64; ++r)
        for (int64_t c = c0; c < c0 + nc && c < c0 + 64; ++c)
            sum += a.value(c, r);
    // The far corner too: it is the last byte the header claims.
    sum += a.value(a.colCount() - 1, a.rowCount() - 1);
    (void)a.shapeText();
    (void)a.positionText(c0, r0);
    return sum == sum || sum != sum;
}

} // namespace

TEST(BadInput, HandMadeFilesAreRefusedCleanly) {
    TempDir dir;
    SegmentImage img;
    img.extents = {3, 3};
    const std::string full = img.header() + std::string(36, '\x11');
    for (size_t cut = 0; cut < full.size(); ++cut)
        EXPECT_FALSE(openAndReadEverything(dir.write("cut.agl", full.substr(0, cut)))) << cut;
    EXPECT_TRUE(openAndReadEverything(dir.write("ok.agl", full)));

    SegmentImage lang = img;
    lang.language = 3;
    EXPECT_FALSE(openAndReadEverything(dir.write("lang.agl", lang.header() + std::string(36, 0))));
    SegmentImage neg = img;
    neg.extents = {-1, 3};
    EXPECT_FALSE(openAndReadEverything(dir.write("neg.agl", neg.header() + std::string(36, 0))));
    SegmentImage fixedShort = img;
    EXPECT_FALSE(
        openAndReadEverything(dir.write("fixed.agl", fixedShort.fixedHeader().substr(0, 100))));
    EXPECT_FALSE(openAndReadEverything(std::string(1000, 'n')));
    EXPECT_FALSE(openAndReadEverything(""));
}

TEST(BadInput, RandomlyMutatedHeadersNeverCrash) {
    TempDir dir;
    std::mt19937 rng(20261208);
    SegmentImage img;
    img.type = 3;
    img.extents = {4, 5, 2};
    img.lower = {1, 0, -2};
    const std::string good = img.header() + std::string(4 * 5 * 2 * 2, '\x22') + "trailer";
    int opened = 0;
    for (int round = 0; round < 400; ++round) {
        std::string bytes = good;
        const int flips = 1 + int(rng() % 4);
        for (int f = 0; f < flips; ++f) {
            const size_t at = rng() % 40; // the header and the first elements
            bytes[at] = char(rng() % 4 == 0 ? 0xff : rng() & 0xff);
        }
        if (rng() % 5 == 0) bytes.resize(rng() % bytes.size());
        opened += openAndReadEverything(dir.write("m.agl", bytes)) ? 1 : 0;
    }
    EXPECT_GT(opened, 0) << "some mutations are still valid files";
}
