// The arithmetic of the graph's axes, without any drawing: how many ticks an
// axis gets on a control of a given size, where the first one is and how far
// apart they are, how an auto-scaled value range is rounded outward so that
// its ticks fall on round values, which printf format the numbers take, and
// the number strings themselves (with the trailing-zero shortening that
// makes 0.250, 0.500 read 0.25, 0.50).
//
// The render pipeline calls these in its axis recompute step and hands the
// results to the axis object; the data side uses roundAxisRange when it
// scales an auto-scaled level. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class aglSegment;

namespace agl {

// Tick counts the axis properties accept: majors 2..500 (fewer than two
// ticks cannot span an axis, and 0 or 1 would stall or divide by zero in the
// recompute), minors 0..500.
constexpr int kMinMajorTicks = 2;
constexpr int kMaxTickCount = 500;
inline bool isValidMajorTickCount(int n) {
    return n >= kMinMajorTicks && n <= kMaxTickCount;
}
inline bool isValidMinorTickCount(int n) {
    return n >= 0 && n <= kMaxTickCount;
}

// Longest number format and title the axis object keeps (characters).
constexpr int kMaxNumberFormat = 31;
constexpr int kMaxAxisTitle = 63;
// Longest number string made for an axis (characters, without the NUL).
constexpr int kMaxNumberText = 39;

// Major and minor tick counts of one axis.
struct TickCounts {
    int major = 2;
    int minor = 0;
};

// Tick counts for a control whose larger side is largestSide pixels. With
// autoDetail the requested major count is reduced on small controls (below
// 250: a quarter + 2, no minors; below 500: a half + 2, one minor; else as
// requested with 3 minors); without it the requested counts are kept. The
// result is always valid: majors 2..500, minors 0..500, whatever came in.
TickCounts tickCountsFor(int requestedMajor, int requestedMinor, int largestSide, bool autoDetail);

// What the axis object needs to label one axis.
struct AxisNumbers {
    int major = 2;      // tick count, >= 2
    int minor = 0;      // minor ticks between two majors
    double first = 0.0; // value at the first tick
    double step = 1.0;  // value difference between neighbouring ticks
    std::string format = "%d";
    // Where the first and the last tick sit along the axis, as fractions of
    // its extent (0 and 1: at its ends). Ticks on round values need not
    // reach the ends of a range that is not itself round.
    double startFraction = 0.0;
    double endFraction = 1.0;
    // With an axis-scale segment: the segment's element 0 belongs to this
    // index (the axis's lower bound), so tick k shows element
    // round(first + k x step) - scaleBase.
    int64_t scaleBase = 0;
};

// An index axis (x and y of the height plot and the image map): the region
// of interest starts at the 0-based index roiFirst and is `length` indices
// long; the numbers count from lowerBound (0 for C arrays, the dimension's
// lower bound for Fortran ones).
// With autoDetail the ticks step by a round number of indices (1, 2, 5, 10,
// 20 ...), the smallest that gives at most twice the requested count (100
// intervals and 10 requested majors give 11 ticks every 10 indices); they
// stop short of the last index where the step does not divide the length.
// Minor ticks then mark whole indices too, as near the requested count as
// the step allows. Without autoDetail the requested
// count divides the axis.
// Reversed axes count down from the last index. Format "%d"; with an
// axis-scale segment the ticks show its elements, "%.3f" for floating ones.
AxisNumbers indexAxisNumbers(int64_t roiFirst, int64_t length, int64_t lowerBound, bool reversed,
                             TickCounts counts, bool autoDetail, const aglSegment* scale = nullptr);

// A value axis (z, and every axis of the vector graph) over minimum..maximum.
// With autoDetail the ticks sit on multiples of a 1-2-2.5-5 step, as many as
// the request allows (0, 0.25, 0.5 ... rather than 0, 0.222, 0.444 ...);
// integer data gets whole steps. Without it (or where fewer than two round
// ticks fit) the requested count divides the range evenly. The format prints
// every tick distinctly: "%d" for integer data with integral ticks, fixed
// decimals for moderate magnitudes, exponent form for tiny steps or huge
// values. Non-finite or empty ranges fall back to 0..1.
// Where no round step gives between two and the requested count, the round
// step with the fewest ticks beyond it is taken, up to mostTicks (0: twice
// the request); only where none fits either is the range divided evenly.
AxisNumbers valueAxisNumbers(double minimum, double maximum, bool reversed, TickCounts counts,
                             bool autoDetail, bool integerData, int mostTicks = 0);

// Everything the axis recompute step reads: the control's size, the axis
// properties, the window shown and the value ranges.
struct AxisInput {
    int graphType = 1;                 // 1 height plot, 2 image map, 3 vector graph
    int width = 1, height = 1;         // the control's client size in pixels
    bool autoDetail = true;            // AxisAutoDetail
    bool fontAutoScale = true;         // FontAutoScale
    int requestedMajor[3] = {5, 5, 5}; // XNumMajorTickmarks ...
    int requestedMinor[3] = {1, 1, 1}; // XNumMinorTickmarks ...
    bool reversed[3] = {false, false, false};
    // Index axes x (columns) and y (rows) of graph types 1 and 2: the
    // region of interest (0-based first index and length) and the
    // dimension's lower bound; optional axis-scale segments (UseAxisScales).
    int64_t roiFirst[2] = {0, 0};
    int64_t roiLength[2] = {2, 2};
    int64_t lowerBound[2] = {0, 0};
    const aglSegment* scale[2] = {nullptr, nullptr};
    // Value ranges shown by the value axes (z; x, y and z of the vector
    // graph): exactly the range the box maps, i.e. after the outward
    // rounding of an auto-scaled range, or the clamps.
    double minimum[3] = {-1.0, -1.0, -1.0};
    double maximum[3] = {1.0, 1.0, 1.0};
    bool integerData = false;  // the array's elements are integers
    int numberFontHeight = 12; // the fonts' own heights (pixels)
    int titleFontHeight = 16;
};

// What the axis object is given.
struct AxisLayout {
    AxisNumbers axis[3];
    bool showTitles = true, showTicks = true, showNumbers = true;
    int numberFontHeight = 12, titleFontHeight = 16;
};

// The axis recompute step: tick counts from the control's size (m, the larger
// side) and the properties, the numbers of each axis, and which parts are
// shown at which font size. With autoDetail a control of 100 pixels or less
// shows no titles, ticks or numbers and one below 150 no numbers; with
// fontAutoScale the number and title heights grow with m (12/14 below 250,
// 14/16 below 500, 16/18 above).
AxisLayout recomputeAxes(const AxisInput& in);

// Rounds an auto-scaled value range outward, in place, to whole multiples of
// the largest 1-2-5 step at or below a fifth of its width (five to twelve
// steps), so that both ends are round values and the box is well used.
// Ranges already rounded this way are left as they are. The result contains the input and is finite
// with maximum > minimum; a range too narrow to show (below 1e-5, or below what its magnitude can
// resolve) is widened first, a non-finite one becomes -1..1. Values are kept within
// +-1.7014117331926443e38.
void roundAxisRange(double& minimum, double& maximum);

// The scale and offset that map minimum..maximum onto 0..extent (value x
// scale + offset), always finite with a non-zero scale: the ends are limited
// to +-1.7014117331926443e38, a range too narrow to divide by (below 1e-5,
// or so far from 0 that adding 1e-5 changes nothing) is widened upward as
// roundAxisRange does, and a non-finite or zero extent counts as 1.
void boxMapping(double extent, double minimum, double maximum, double* scale, double* offset);

// True when the format (a printf format with one conversion) prints floating
// values: it contains f, e, E or g.
bool isFloatingFormat(const std::string& format);

// One number printed with an axis format. The conversion follows the value's
// own kind, not the format's alone: a floating format prints the value as a
// double; an integer format prints it as a 64-bit integer, rounded to the
// nearest (and limited to the 64-bit range). A format that is not a single printf
// conversion is replaced by "%g". The text is at most kMaxNumberText long.
std::string formatAxisNumber(const std::string& format, double value);

// The same for an element that is an integer: the format's precision and
// width are kept, but the conversion is always an integer one.
std::string formatAxisInteger(const std::string& format, int64_t value);

// Cuts floating number strings back as the axis shows them: d = the largest
// count, over all strings, of the digits after the decimal point before the
// first 0 digit; each string keeps d digits after its point (a string without
// a point is left alone; an exponent part is kept).
void shortenFloatingNumbers(std::vector<std::string>& numbers);

// The count number strings of an axis: string k is the format applied to
// first + k x step. With a one-dimensional axis-scale segment, string k is
// instead the element at index round(first + k x step) - scaleBase (clamped
// to the segment), printed by the element's own type. Floating formats are
// shortened afterwards. count is limited to 0..500.
std::vector<std::string> makeAxisNumbers(double first, double step, int count,
                                         const std::string& format,
                                         const aglSegment* scale = nullptr, int64_t scaleBase = 0);

// Element i of a one-dimensional axis-scale segment (clamped to its
// elements), widened to double; *isInteger tells whether the element type is
// an integer type. 0 for a segment without elements.
double axisScaleValue(const aglSegment& scale, int64_t index, bool* isInteger = nullptr);

} // namespace agl
