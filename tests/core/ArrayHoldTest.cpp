// Holds on an array's elements: a reader on another thread keeps the values
// and their storage as they were, whatever the array's own thread does
// meanwhile; changes of the view need not wait.
#include "aglArray.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

namespace {

constexpr int kSide = 64;

std::unique_ptr<aglArray> makeArray() {
    auto a = std::make_unique<aglArray>();
    const int32_t extents[2] = {kSide, kSide};
    EXPECT_NE(a->allocatePrivate(int64_t(kSide) * kSide * 8), nullptr);
    EXPECT_EQ(a->reshape(2, extents, AGL_DOUBLE), 0);
    for (int r = 0; r < kSide; ++r)
        for (int c = 0; c < kSide; ++c)
            a->setValue(c, r, r * kSide + c);
    return a;
}

struct Change {
    std::string name;
    // Done on the array's thread while the reader holds the elements.
    std::function<void(std::unique_ptr<aglArray>&)> apply;
};

void PrintTo(const Change& change, std::ostream* out) {
    *out << change.name;
}

class HeldElements : public ::testing::TestWithParam<Change> {};

// The reader looks at every element for a good while after the change has
// been asked for, then lets go. Were the change not to wait, the reader
// would see new values, or read storage that is gone (a crash under the
// sanitizers, a data race under ThreadSanitizer).
TEST_P(HeldElements, ChangeWaitsUntilTheReaderLetsGo) {
    std::unique_ptr<aglArray> array = makeArray();
    const auto* elements = static_cast<const double*>(array->data());
    aglArray::ElementsHold hold = array->holdElements();
    std::atomic<bool> changing{false};
    std::atomic<bool> released{false};
    bool allAsBefore = true;
    std::thread reader([&, held = std::move(hold)]() mutable {
        while (!changing.load())
            std::this_thread::yield();
        for (int round = 0; round < 200; ++round) {
            for (int i = 0; i < kSide * kSide; ++i)
                allAsBefore &= elements[i] == double(i);
            std::this_thread::yield();
        }
        released.store(true);
        held.reset();
    });
    changing.store(true);
    GetParam().apply(array);
    const bool waited = released.load();
    reader.join();
    EXPECT_TRUE(waited);
    EXPECT_TRUE(allAsBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, HeldElements,
    ::testing::Values(Change{"setValue", [](auto& a) { a->setValue(3, 2, -1.0); }},
                      Change{"mutableData",
                             [](auto& a) { static_cast<double*>(a->mutableData())[5] = -1.0; }},
                      Change{"reshape",
                             [](auto& a) {
                                 const int32_t extents[2] = {kSide / 2, kSide * 2};
                                 a->reshape(2, extents, AGL_FLOAT);
                             }},
                      Change{"allocate", [](auto& a) { a->allocatePrivate(16); }},
                      Change{"release", [](auto& a) { a->release(); }},
                      Change{"destroy", [](auto& a) { a.reset(); }}),
    [](const ::testing::TestParamInfo<Change>& change) { return change.param.name; });

TEST(ElementsHold, TheViewChangesAtOnceAndHoldsCountOneByOne) {
    std::unique_ptr<aglArray> array = makeArray();
    aglArray::ElementsHold first = array->holdElements();
    aglArray::ElementsHold second = array->holdElements();
    // Neither waits: the ROI and the plane's dimensions are not elements.
    array->setRoi(0, 2, 5);
    array->setRowDim(1);
    array->setColDim(0);
    EXPECT_EQ(array->rowCount(), kSide);
    // (column 3, row 1) is now element [3][1].
    EXPECT_EQ(array->value(3, 1), 3.0 * kSide + 1);

    // Moving a hold does not let go; each one counts until reset.
    aglArray::ElementsHold moved = std::move(first);
    first.reset();
    second.reset();
    std::atomic<bool> released{false};
    std::thread reader([&, held = std::move(moved)]() mutable {
        released.store(true);
        held.reset();
    });
    array->setValue(0, 0, 7.0);
    EXPECT_TRUE(released.load());
    reader.join();
    EXPECT_EQ(array->value(0, 0), 7.0);
}

} // namespace
