// Level-of-detail arithmetic shared by the graph data and the render
// pipeline: the sampling resolution each level gets from its point budget,
// and the rules that make a value range fit to draw (holes, minimum width,
// outward rounding). Pure functions; any thread.
#pragma once

#include <cstdint>

namespace agl {

constexpr int kLevelCount = 3;
// Point budgets: initial per level, and the bounds budget adaptation keeps.
constexpr int64_t kInitialBudget[kLevelCount] = {1024, 4096, 65536};
constexpr int64_t kMinBudget = 256;
constexpr int64_t kMaxBudget = 262144;
// The smallest width of any clamp, palette or data range.
constexpr double kMinRangeWidth = 1e-5;
// The "no sample yet" range: minimum above every value, maximum below.
constexpr double kEmptyRangeMin = 1.7976931348623158e304;
constexpr double kEmptyRangeMax = -1.7976931348623158e304;

// Smallest power of two at or above n (1 for n <= 1).
int64_t nextPowerOfTwo(int64_t n);

// Sampling resolution of a level with point budget `budget` for a window of
// columns x rows: 1 when the window has at most `budget` points, else the
// next power of two at or above ceil(sqrt(points / budget)). For the image
// map (graph type 2) at level 2 the budget is first raised to
// nextPowerOfTwo(columns) x nextPowerOfTwo(rows) when that is larger, so the
// finest image-map level always samples every element.
int levelResolution(int64_t columns, int64_t rows, int64_t budget, int level = 0,
                    int graphType = 1);

// True when minimum..maximum holds at least one value (an empty range is
// the sentinel pair, or anything with minimum above maximum or not finite).
bool rangeHasData(double minimum, double maximum);

// Makes a range fit to draw: an empty range becomes -1..1 (the range the
// control shows before any data); a range narrower than 1e-5 grows upward
// to 1e-5 (or, for values so large that 1e-5 is below their resolution, to
// the smallest width that is representable above them). Always finite with
// maximum > minimum afterwards.
void widenRange(double& minimum, double& maximum);

// Rounds a (widened) range outward to multiples of a 1-2-5 step of about a
// fifth of its width, so that ticks read well. The result contains the input.
void roundRangeOutward(double& minimum, double& maximum);

} // namespace agl

namespace agl {

// --- Budget adaptation --------------------------------------------------------

// Target frame times (seconds) the budgets of levels 0, 1 and 2 aim at; level
// 2 aims at kAntiAliasTarget when anti-aliasing passes are wanted.
constexpr double kTargetFrameTime[kLevelCount] = {0.1, 1.0, 10.0};
constexpr double kAntiAliasTarget = 3.0;
// While the camera moves continuously (spin, drag) the shown level aims at
// this: its budget halves while frames take more than twice as long, so that
// a moving picture keeps above 30 frames per second.
constexpr double kInteractiveFrameTime = 1.0 / 60.0;
constexpr int kFrameRingSize = 10;

// One level's record of measured frame times.
struct FrameTimeRing {
    double times[kFrameRingSize] = {};
    int count = 0;
    double average = 0.0;
};

// Puts one frame time (seconds) of `level` into its ring; at the tenth sample
// the ring's average decides the level's budget: doubled (at most
// kMaxBudget) when below half of target and the level's resolution is 2 or
// more, halved (at least kMinBudget) when above twice target. A shrunk budget
// pulls the coarser levels below it, a grown one pushes the finer levels
// above it. Returns true when some budget changed. level outside 0..2 does
// nothing.
bool adaptBudgets(int64_t budgets[kLevelCount], FrameTimeRing rings[kLevelCount], int level,
                  double frameSeconds, double target, int resolution);

// --- Grid lines -------------------------------------------------------------

// The grid-line counts for a window of columns x rows drawn in a picture of
// width x height pixels with `density` pixels between lines: a count of 10
// or more whose lines would come closer than density shows every step-th
// line, step = trunc(count x density / min(width, height)). Each count is at
// most the coarsest level's grid size (maxColumns, maxRows) and at least 1.
void gridLineCounts(int64_t columns, int64_t rows, int width, int height, double density,
                    int maxColumns, int maxRows, int* xLines, int* yLines);

// The level the one-second step moves to: 0 when none is shown, else one
// finer, except at the finest level or when the shown one already samples
// every element (resolution 1).
inline int nextLevel(int current, int currentResolution) {
    if (current < 0) return 0;
    if (current >= kLevelCount - 1 || currentResolution <= 1) return current;
    return current + 1;
}

} // namespace agl
