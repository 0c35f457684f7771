// The range of an array's elements: every element read, holes (NaN,
// infinities) left out. The graph control's finest pass takes its window's
// range from it, and the viewer the whole array's while it plays planes.
#pragma once

#include <atomic>
#include <cstdint>

class aglSegment;

namespace agl {

// rows x cols elements of one type code from start: rows rowBytes apart,
// a row's elements colBytes apart.
struct ElementWindow {
    const void* start = nullptr;
    int64_t rows = 0, cols = 0;
    int64_t rowBytes = 0, colBytes = 0;
    int type = 0;
};

// The smallest and largest finite element of the window, in minimum and
// maximum; found is false when it has none (nor an element or a known type),
// and minimum and maximum are then left as they were. segment, when given,
// is the segment the elements lie in: a file is then read without keeping
// its pages mapped in this process (a run of whole rows through the file's
// descriptor, any other window through the mapping in blocks let go once
// read), and a file cut short under the scan reads as zeros. Returns false,
// leaving all three as they were, when *cut turns true (looked at every
// 64 Ki elements).
bool scanRange(const ElementWindow& window, const aglSegment* segment, double& minimum,
               double& maximum, bool& found, const std::atomic<bool>* cut = nullptr);

} // namespace agl
