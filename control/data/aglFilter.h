// aglFilter: the resampler of one level of detail.
//
// A pass reads the plane window of the current array and writes a grid of
// single-precision values that a graph object draws. It only skips elements
// (no averaging): sample (i, j) is the element at row (row start + i x row
// step), column (column start + j x column step), so a coarse pass reads only
// the memory pages that hold the samples it keeps, whatever the array's size.
//
// Two grid kinds:
//   - scalar (component count 0): output rows x output columns values, row
//     major, value (i, j) at grid[i * columns + j];
//   - vector (component count 1..4): one point per sampled row with the
//     components adjacent, component c of point i at grid[i * count + c]; the
//     output column count equals the component count.
//
// Every stored value is v x scale + offset of its component, v being the
// element widened to double (after clamping, see setClampEnabled).
//
// Holes. A NaN or an infinity in float or double data is a hole: it takes no
// part in any range and is never clamped, and its grid value is a quiet NaN
// (isHole() tells). Every other grid value is finite and lies within
// +-1.7014117e38. Graph objects must test isHole() before they turn a value
// into a vertex, a colour or an index.
//
// Threads. A pass runs on the filter thread; graph objects read the grid on
// the render thread. The grid, its shape and the per-component scale and
// offset are guarded by the filter's own lock (recursive: the thread that
// runs a pass may keep it across the pass and the re-scaling after it).
// Readers take it with DataLock (or lockData()/unlockData()) and must read
// the shape under the same lock, since a pass may replace the grid by one of
// another shape. Everything else (settings, the array) is changed only while
// the filter thread is paused, on the control's thread.
#pragma once

#include "aglTypes.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <vector>

class aglArray;

class aglFilter {
public:
    static constexpr int kMaxComponents = 4;
    // Maximum samples per axis by graph type: 0 and 1 (height plots), 2
    // (image map), 3 (vector graph).
    static constexpr int kMaxSamplesHeight = 512;
    static constexpr int kMaxSamplesImage = 1024;
    static constexpr int kMaxSamplesVector = 10000;

    // One component of the grid (a scalar grid uses component 0 only).
    struct Component {
        // Kept in double: a float offset loses the picture of data far from 0
        // (1e6 + small changes); grid values themselves are floats.
        double scale = 1.0;
        double offset = 0.0;
        double minimum = 0.0; // range of the last pass (finite samples only)
        double maximum = 0.0;
        double clampLow = -1.7976931348623158e304;
        double clampHigh = 1.7976931348623158e304;
        int source = -1; // source column within the window (vector grids)
    };

    explicit aglFilter(int level = 0);
    aglFilter(const aglFilter&) = delete;
    aglFilter& operator=(const aglFilter&) = delete;

    // The array the passes read; not owned. Control's thread, filter paused.
    void setArray(const aglArray* array) { m_array = array; }
    const aglArray* array() const { return m_array; }
    int level() const { return m_level; }

    // Maximum samples per axis (at least 1).
    void setMaxSamples(int samples) { m_maxSamples = samples < 1 ? 1 : samples; }
    int maxSamples() const { return m_maxSamples; }
    // 512 for graph types 0 and 1, 1024 for 2, 10000 for 3.
    static int maxSamplesFor(int graphType);

    // With it on, a pass first shifts each component by its first finite
    // sample (offset = -sample x scale) so that float grid values keep their
    // precision when the data lies far from 0; the graph data then re-maps
    // the grid to its final scale and offset (reapplyScale). For passes whose
    // scale is chosen after the pass (auto-scaled axes).
    void setShiftToFirstSample(bool on) { m_shift = on; }

    // With clamping on, a value below the component's clamp low becomes the
    // clamp low, one above the clamp high becomes the clamp high.
    void setClampEnabled(bool on) { m_clamp = on; }
    bool clampEnabled() const { return m_clamp; }

    // 0 for a scalar grid, 1..4 for a vector grid (others ignored).
    void setComponentCount(int count);
    int componentCount() const { return m_componentCount; }

    // Runs one pass at the given resolution (sampling step, >= 1). Fails,
    // changing nothing, when the resolution is below 1 or the array has no
    // element area. Filter thread (or any thread while no other pass runs);
    // takes the data lock while it writes the grid.
    // `cut`, when given, is looked at every few rows: once it is set the pass
    // ends, false, and the filter is no longer done (its grid may be partly
    // new) until a pass runs to its end.
    bool filter(int resolution, const std::atomic<bool>* cut = nullptr);

    // Component record accessors; c outside 0..3 is ignored on writes and
    // reads give 0.0 (scale, offset, clamps) or -1 (source).
    double componentScale(int c) const;
    double componentOffset(int c) const;
    void setComponentScale(int c, double scale, double offset);
    double clampLow(int c) const;
    double clampHigh(int c) const;
    void setClamp(int c, double low, double high);
    int sourceColumn(int c) const;
    void setSourceColumn(int c, int index);
    // Range of the last pass (or as merged and rounded afterwards by the
    // graph data); maximum and minimum are 0 for c outside 0..3.
    void range(int c, double& maximum, double& minimum) const;
    void setRange(int c, double minimum, double maximum);

    // The exact range over every element of an array's window, not only
    // the sampled ones: the source column given (-1: the whole window),
    // clamped to clampLow..clampHigh when clamp is on; holes are skipped.
    // False, changing nothing, when there is no data or no finite element,
    // or when *cut turns true during the scan (a pause of the filter thread:
    // the window of a large array takes long to read). Touches no filter
    // state and takes no lock, so a pass reads the window before it takes
    // its level's data lock. Filter thread.
    static bool scanWindow(const aglArray& a, int sourceColumn, bool clamp, double clampLow,
                           double clampHigh, double& minimum, double& maximum,
                           const std::atomic<bool>* cut = nullptr);

    // Re-maps every grid value of component c (all components when c is -1)
    // from the scale and offset it was written with to the component's
    // current scale and offset. Holes stay holes. Takes the data lock.
    void reapplyScale(int c = -1);

    // True once a complete grid is available (any thread).
    bool isDone() const { return m_done.load(std::memory_order_acquire); }
    // True while a pass runs (any thread).
    bool inPass() const { return m_inPass.load(std::memory_order_acquire); }
    // Forgets the grid's completeness (the next pass must run before it is
    // drawn again). Control's thread, filter paused.
    void clearDone() { m_done.store(false, std::memory_order_release); }

    // The data lock. Recursive. Graph objects take it while they draw.
    void lockData() const { m_lock.lock(); }
    bool tryLockData() const { return m_lock.try_lock(); }
    void unlockData() const { m_lock.unlock(); }

    // Holds the data lock for its lifetime and reads the grid's shape under
    // it: rows(), columns() and values() stay consistent while it lives.
    class DataLock {
    public:
        explicit DataLock(const aglFilter& f) : m_f(f) { m_f.lockData(); }
        ~DataLock() { m_f.unlockData(); }
        DataLock(const DataLock&) = delete;
        DataLock& operator=(const DataLock&) = delete;
        int rows() const { return m_f.m_outRows; }
        int columns() const { return m_f.m_outCols; }
        // Components per point of a vector grid, 0 for a scalar grid.
        int components() const { return m_f.m_gridComponents; }
        const float* values() const { return m_f.m_grid.empty() ? nullptr : m_f.m_grid.data(); }
        float at(int row, int column) const {
            return m_f.m_grid[size_t(row) * size_t(m_f.m_outCols) + size_t(column)];
        }

    private:
        const aglFilter& m_f;
    };

    // Grid and shape without taking the lock: for the thread that holds it
    // (or runs passes). Others use DataLock.
    const float* grid() const { return m_grid.empty() ? nullptr : m_grid.data(); }
    int outputRows() const { return m_outRows; }
    int outputColumns() const { return m_outCols; }

    // What the last pass used (valid after a successful pass). The steps may
    // also be read without the lock (the cursor's cell is placed with them
    // while a pass runs); a pass of another shape may change them meanwhile.
    int rowStep() const { return m_rowStep.load(std::memory_order_relaxed); }
    int columnStep() const { return m_colStep.load(std::memory_order_relaxed); }
    int resolution() const { return m_resolution; }
    void window(int& columnStart, int& rowStart, int& columnCount, int& rowCount) const;
    // Number of samples the last pass found to be holes (all components).
    int64_t holeCount() const { return m_holes; }

    static bool isHole(float value) { return std::isnan(value); }
    static float holeValue() { return std::numeric_limits<float>::quiet_NaN(); }

    // The sampling steps for a window of columns x rows at resolution r with
    // at most maxSamples per axis; also the output shape (scalar grid).
    static void steps(int64_t columns, int64_t rows, int resolution, int maxSamples, int& rowStep,
                      int& columnStep, int& outRows, int& outColumns);

private:
    template <typename T> void shiftTo(int c, const uint8_t* first);
    template <typename T>
    bool passScalar(const uint8_t* start, int64_t rowBytes, int64_t colBytes, float* out,
                    const std::atomic<bool>* cut);
    template <typename T>
    bool passVector(const uint8_t* start, int64_t rowBytes, int64_t colBytes, float* out,
                    const std::atomic<bool>* cut);

    const aglArray* m_array = nullptr;
    int m_level = 0;
    int m_maxSamples = kMaxSamplesHeight;
    bool m_clamp = false;
    bool m_shift = false;
    int m_componentCount = 0;
    Component m_comp[kMaxComponents];
    // Scale and offset each component's grid values were last written with.
    double m_appliedScale[kMaxComponents] = {1, 1, 1, 1};
    double m_appliedOffset[kMaxComponents] = {0, 0, 0, 0};

    int32_t m_roiLow[agl::kMaxDims] = {};
    int32_t m_roiHigh[agl::kMaxDims] = {};
    int m_colStart = 0, m_rowStart = 0, m_colCount = 0, m_rowCount = 0;
    std::atomic<int> m_rowStep{1}, m_colStep{1};
    int m_resolution = 1;
    int64_t m_holes = 0;

    std::vector<float> m_grid;
    int m_outRows = 0, m_outCols = 0, m_gridComponents = 0;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_inPass{false};
    mutable std::recursive_mutex m_lock;
};
