#include "aglFilter.h"

#include "aglArray.h"
#include "aglRangeScan.h"
#include "aglTypes.h"

#include "aglSegment.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>
#include <type_traits>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr double kEmptyMin = agl::kDoubleLimit;  // running minimum before any sample
constexpr double kEmptyMax = -agl::kDoubleLimit; // running maximum before any sample

int64_t ceilDiv(int64_t a, int64_t b) {
    return (a + b - 1) / b;
}

// Sets the in-pass flag for the lifetime of a pass, whatever way it ends.
struct InPass {
    explicit InPass(std::atomic<bool>& f) : flag(f) { flag.store(true, std::memory_order_release); }
    ~InPass() { flag.store(false, std::memory_order_release); }
    std::atomic<bool>& flag;
};

// Per-component constants of one pass, hoisted out of the sample loop.
struct PassParams {
    double lo, hi; // clamp bounds (limited to float range for non-double data)
    double scale, offset;
    bool clamp;
};

// One sample: widens, drops holes, clamps, extends the range and maps.
// Returns the grid value. T is the element type.
template <typename T>
inline float convert(const uint8_t* p, const PassParams& k, double& mn, double& mx,
                     int64_t& holes) {
    T x;
    std::memcpy(&x, p, sizeof x);
    double v;
    if constexpr (std::is_same_v<T, uint32_t>)
        v = double(uint64_t(x)); // unsigned 32-bit goes through a 64-bit integer
    else
        v = double(x);
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(v)) {
            ++holes;
            return aglFilter::holeValue();
        }
    }
    if (k.clamp) v = std::clamp(v, k.lo, k.hi);
    // The range never leaves the clamp bounds, clamped or not.
    mn = std::min(mn, std::max(v, k.lo));
    mx = std::max(mx, std::min(v, k.hi));
    if constexpr (std::is_same_v<T, double>) v = std::clamp(v, -agl::kFloatLimit, agl::kFloatLimit);
    // Scales up to 1e5 x the axis scale occur (a clamp range of 1e-5): keep
    // the product within float range, a conversion beyond it is undefined.
    return float(std::clamp(v * k.scale + k.offset, -agl::kFloatLimit, agl::kFloatLimit));
}

// Tells the kernel how a pass reads a file-backed segment, so that it reads
// from disk only the pages that hold kept samples. Read-around on a fault
// (several MiB on some machines) would otherwise pull in whole stretches of
// skipped rows: a coarse level of a 1 GiB file read all of it. So the
// mapping is marked random-access (a fault reads its page only), and the
// pages a kept row needs are asked for ahead, in one request per run of
// adjacent rows. rows x rowBytes is the pass's row layout; span is the byte
// length one kept row reads, or 0 when its samples lie on separate pages
// (nothing worth asking ahead). Shared memory needs none of this.
void adviseReads(const aglArray& a, const uint8_t* start, int rows, int64_t rowBytes,
                 int64_t span) {
    const aglSegment* seg = a.segment();
    if (!seg || !seg->isFileBacked() || !seg->base()) return;
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const auto down = [page](uintptr_t p) { return p & ~(page - 1); };
    const uintptr_t base = down(uintptr_t(seg->base()));
    const uintptr_t end = uintptr_t(seg->base()) + seg->totalSize();
    madvise(reinterpret_cast<void*>(base), end - base, MADV_RANDOM);
    if (span <= 0) return;
    uintptr_t runStart = 0, runEnd = 0;
    const auto flush = [&] {
        if (runEnd > runStart)
            madvise(reinterpret_cast<void*>(runStart), runEnd - runStart, MADV_WILLNEED);
    };
    for (int i = 0; i < rows; ++i) {
        const uintptr_t s = down(uintptr_t(start + int64_t(i) * rowBytes));
        const uintptr_t e =
            std::min(end, down(uintptr_t(start + int64_t(i) * rowBytes + span - 1)) + page);
        if (s <= runEnd && runEnd != 0) {
            runEnd = std::max(runEnd, e);
            continue;
        }
        flush();
        runStart = s;
        runEnd = e;
    }
    flush();
}

// One row of a scalar pass: the same arithmetic as convert(), written
// without branches so that the compiler can keep several samples in flight
// (and vectorise the contiguous case, Step == sizeof(T)). Step 0 means the
// column step is the run-time colBytes.
template <typename T, bool Clamp, int64_t Step>
void convertRow(const uint8_t* p, int64_t colBytes, int n, const PassParams& k, float* o,
                double& mnInOut, double& mxInOut, int64_t& holesInOut) {
    constexpr bool floating = std::is_floating_point_v<T>;
    const int64_t step = Step ? Step : colBytes;
    const double lo = k.lo, hi = k.hi, s = k.scale, off = k.offset;
    constexpr double L = agl::kFloatLimit;
    // Four independent minimum/maximum chains: one chain would wait on the
    // previous comparison for every sample.
    double mn[4] = {mnInOut, kEmptyMin, kEmptyMin, kEmptyMin};
    double mx[4] = {mxInOut, kEmptyMax, kEmptyMax, kEmptyMax};
    int64_t holes = 0;
    const auto one = [&](int j, double& lmn, double& lmx) {
        T x;
        std::memcpy(&x, p + j * step, sizeof x);
        double v;
        if constexpr (std::is_same_v<T, uint32_t>)
            v = double(uint64_t(x));
        else
            v = double(x);
        bool hole = false;
        if constexpr (floating) hole = !(std::fabs(v) <= std::numeric_limits<double>::max());
        if constexpr (Clamp) v = v < lo ? lo : (v > hi ? hi : v);
        double a = v < lo ? lo : v;
        double b = v > hi ? hi : v;
        if constexpr (floating) {
            a = hole ? kEmptyMin : a; // neutral for the minimum
            b = hole ? kEmptyMax : b;
        }
        lmn = a < lmn ? a : lmn;
        lmx = b > lmx ? b : lmx;
        if constexpr (std::is_same_v<T, double>) v = v < -L ? -L : (v > L ? L : v);
        double g = v * s + off;
        g = g < -L ? -L : (g > L ? L : g);
        float f = float(g);
        if constexpr (floating) {
            f = hole ? std::numeric_limits<float>::quiet_NaN() : f;
            holes += hole;
        }
        o[j] = f;
    };
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        one(j, mn[0], mx[0]);
        one(j + 1, mn[1], mx[1]);
        one(j + 2, mn[2], mx[2]);
        one(j + 3, mn[3], mx[3]);
    }
    for (; j < n; ++j)
        one(j, mn[0], mx[0]);
    mnInOut = std::min(std::min(mn[0], mn[1]), std::min(mn[2], mn[3]));
    mxInOut = std::max(std::max(mx[0], mx[1]), std::max(mx[2], mx[3]));
    holesInOut += holes;
}

#if defined(__SSE2__)
// The contiguous float row, two samples per instruction with SSE2 (part of
// every x86-64 processor). Same results as convertRow<float, ...>: holes
// are masked out of the range and stored as NaN; min/max of SSE2 return
// their second operand when one is NaN, which the masks make harmless.
void convertFloatRowSse2(const uint8_t* p, int n, const PassParams& k, float* o, double& mnInOut,
                         double& mxInOut, int64_t& holesInOut) {
    const __m128d lo = _mm_set1_pd(k.lo), hi = _mm_set1_pd(k.hi);
    const __m128d s = _mm_set1_pd(k.scale), off = _mm_set1_pd(k.offset);
    const __m128d lim = _mm_set1_pd(agl::kFloatLimit), nlim = _mm_set1_pd(-agl::kFloatLimit);
    const __m128d emptyMin = _mm_set1_pd(kEmptyMin), emptyMax = _mm_set1_pd(kEmptyMax);
    const __m128d absMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    const __m128d dmax = _mm_set1_pd(std::numeric_limits<double>::max());
    const __m128 nan = _mm_set1_ps(std::numeric_limits<float>::quiet_NaN());
    __m128d mn0 = _mm_set1_pd(mnInOut), mx0 = _mm_set1_pd(mxInOut);
    __m128d mn1 = emptyMin, mx1 = emptyMax;
    int64_t holes = 0;
    const auto pair = [&](int j, __m128d& mn, __m128d& mx) {
        __m128 x2;
        std::memcpy(&x2, p + int64_t(j) * 4, 8); // two floats into the low half
        __m128d v = _mm_cvtps_pd(x2);
        const __m128d finite = _mm_cmple_pd(_mm_and_pd(v, absMask), dmax); // NaN: false
        if (k.clamp) v = _mm_min_pd(_mm_max_pd(v, lo), hi);
        const __m128d a = _mm_max_pd(v, lo), b = _mm_min_pd(v, hi);
        mn = _mm_min_pd(mn, _mm_or_pd(_mm_and_pd(finite, a), _mm_andnot_pd(finite, emptyMin)));
        mx = _mm_max_pd(mx, _mm_or_pd(_mm_and_pd(finite, b), _mm_andnot_pd(finite, emptyMax)));
        const __m128d g = _mm_min_pd(_mm_max_pd(_mm_add_pd(_mm_mul_pd(v, s), off), nlim), lim);
        __m128 f = _mm_cvtpd_ps(g);
        const __m128 fin = _mm_castsi128_ps(_mm_shuffle_epi32(_mm_castpd_si128(finite), 0x08));
        f = _mm_or_ps(_mm_and_ps(fin, f), _mm_andnot_ps(fin, nan));
        _mm_storel_pi(reinterpret_cast<__m64*>(o + j), f);
        const int m = _mm_movemask_pd(finite); // bit set: finite
        holes += 2 - ((m & 1) + (m >> 1));
    };
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        pair(j, mn0, mx0);
        pair(j + 2, mn1, mx1);
    }
    for (; j + 2 <= n; j += 2)
        pair(j, mn0, mx0);
    double m[2], M[2];
    _mm_storeu_pd(m, _mm_min_pd(mn0, mn1));
    _mm_storeu_pd(M, _mm_max_pd(mx0, mx1));
    double mn = std::min(m[0], m[1]), mx = std::max(M[0], M[1]);
    holesInOut += holes;
    if (j < n) { // the odd last sample
        if (k.clamp)
            convertRow<float, true, 4>(p + int64_t(j) * 4, 4, 1, k, o + j, mn, mx, holesInOut);
        else
            convertRow<float, false, 4>(p + int64_t(j) * 4, 4, 1, k, o + j, mn, mx, holesInOut);
    }
    mnInOut = mn;
    mxInOut = mx;
}
#endif

PassParams paramsOf(const aglFilter::Component& c, bool clamp, bool isDouble) {
    PassParams k{c.clampLow, c.clampHigh, c.scale, c.offset, clamp};
    if (!isDouble) {
        k.lo = std::clamp(k.lo, -agl::kFloatLimit, agl::kFloatLimit);
        k.hi = std::clamp(k.hi, -agl::kFloatLimit, agl::kFloatLimit);
    }
    return k;
}

} // namespace

aglFilter::aglFilter(int level) : m_level(level) {}

int aglFilter::maxSamplesFor(int graphType) {
    switch (graphType) {
    case 2:
        return kMaxSamplesImage;
    case 3:
        return kMaxSamplesVector;
    default:
        return kMaxSamplesHeight;
    }
}

void aglFilter::setComponentCount(int count) {
    if (count < 0 || count > kMaxComponents) return;
    m_componentCount = count;
}

double aglFilter::componentScale(int c) const {
    return (c >= 0 && c < kMaxComponents) ? m_comp[c].scale : 0.0;
}
double aglFilter::componentOffset(int c) const {
    return (c >= 0 && c < kMaxComponents) ? m_comp[c].offset : 0.0;
}
void aglFilter::setComponentScale(int c, double scale, double offset) {
    if (c < 0 || c >= kMaxComponents) return;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_comp[c].scale = scale;
    m_comp[c].offset = offset;
}
double aglFilter::clampLow(int c) const {
    return (c >= 0 && c < kMaxComponents) ? m_comp[c].clampLow : 0.0;
}
double aglFilter::clampHigh(int c) const {
    return (c >= 0 && c < kMaxComponents) ? m_comp[c].clampHigh : 0.0;
}
void aglFilter::setClamp(int c, double low, double high) {
    if (c < 0 || c >= kMaxComponents) return;
    m_comp[c].clampLow = low;
    m_comp[c].clampHigh = high;
}
int aglFilter::sourceColumn(int c) const {
    return (c >= 0 && c < kMaxComponents) ? m_comp[c].source : -1;
}
void aglFilter::setSourceColumn(int c, int index) {
    if (c < 0 || c >= kMaxComponents) return;
    m_comp[c].source = index < 0 ? -1 : index;
}
void aglFilter::range(int c, double& maximum, double& minimum) const {
    if (c < 0 || c >= kMaxComponents) {
        maximum = minimum = 0.0;
        return;
    }
    maximum = m_comp[c].maximum;
    minimum = m_comp[c].minimum;
}
void aglFilter::setRange(int c, double minimum, double maximum) {
    if (c < 0 || c >= kMaxComponents) return;
    m_comp[c].minimum = minimum;
    m_comp[c].maximum = maximum;
}

void aglFilter::window(int& columnStart, int& rowStart, int& columnCount, int& rowCount) const {
    columnStart = m_colStart;
    rowStart = m_rowStart;
    columnCount = m_colCount;
    rowCount = m_rowCount;
}

void aglFilter::steps(int64_t C, int64_t R, int r, int maxSamples, int& rowStep, int& columnStep,
                      int& outRows, int& outColumns) {
    if (C < 1) C = 1;
    if (R < 1) R = 1;
    if (r < 1) r = 1;
    const int64_t M = maxSamples < 1 ? 1 : maxSamples;
    int64_t rs, cs;
    // The longer axis gets the resolution, the other a step in proportion.
    if (C > R) {
        cs = C > r ? r : 1;
        rs = std::max<int64_t>(1, cs * R / C);
    } else {
        rs = R > r ? r : 1;
        cs = std::max<int64_t>(1, C * rs / R);
    }
    if (R / rs > M) rs = ceilDiv(R, M);
    if (C / cs > M) cs = ceilDiv(C, M);
    rowStep = int(rs);
    columnStep = int(cs);
    outRows = int(ceilDiv(R, rs));
    outColumns = int(ceilDiv(C, cs));
}

bool aglFilter::filter(int resolution, const std::atomic<bool>* cut) {
    if (resolution < 1 || !m_array || !m_array->data() || !m_array->planeStart()) return false;
    const aglArray& a = *m_array;

    std::lock_guard<std::recursive_mutex> lock(m_lock);
    InPass inPass(m_inPass);

    for (int d = 0; d < agl::kMaxDims; ++d)
        a.getRoi(d, m_roiLow[d], m_roiHigh[d]);
    int32_t cs, rs, cc, rc;
    a.planeRoi(cs, rs, cc, rc);
    m_colStart = cs;
    m_rowStart = rs;
    m_colCount = std::max(cc, 1);
    m_rowCount = std::max(rc, 1);
    m_resolution = resolution;

    int outRows, outCols, rowStep, colStep;
    steps(m_colCount, m_rowCount, resolution, m_maxSamples, rowStep, colStep, outRows, outCols);
    m_rowStep.store(rowStep, std::memory_order_relaxed);
    m_colStep.store(colStep, std::memory_order_relaxed);
    const bool vector = m_componentCount > 0;
    if (vector) outCols = m_componentCount;

    const size_t n = size_t(outRows) * size_t(outCols);
    // Same shape: written in place. Another shape: a new grid replaces the
    // old one once it is complete (readers hold the lock, so they never see
    // the new values with the old shape or the other way round).
    std::vector<float> fresh;
    const bool reuse = m_grid.size() == n && m_outRows == outRows && m_outCols == outCols &&
                       m_gridComponents == (vector ? m_componentCount : 0);
    if (!reuse) fresh.assign(n, 0.0f);
    float* out = reuse ? m_grid.data() : fresh.data();

    const uint8_t* start = static_cast<const uint8_t*>(a.planeStart());
    const int64_t rowBytes = a.rowStep() * rowStep;
    const int64_t colBytes = a.colStep() * (vector ? 1 : colStep);
    {
        // A row's samples share pages when they are less than a page apart.
        const int64_t span = (!vector && colBytes < int64_t(sysconf(_SC_PAGESIZE)))
                                 ? (outCols - 1) * colBytes + a.elementSize()
                                 : 0;
        adviseReads(a, start, outRows, rowBytes, span);
    }
    m_holes = 0;
    bool whole = true;
    switch (a.typeCode()) {
#define AGL_PASS(code, T)                                                                          \
    case code:                                                                                     \
        whole = vector ? passVector<T>(start, rowBytes, colBytes, out, cut)                        \
                       : passScalar<T>(start, rowBytes, colBytes, out, cut);                       \
        break;
        AGL_PASS(AGL_UCHAR, uint8_t)
        AGL_PASS(AGL_CHAR, int8_t)
        AGL_PASS(AGL_USHORT, uint16_t)
        AGL_PASS(AGL_SHORT, int16_t)
        AGL_PASS(AGL_ULONG, uint32_t)
        AGL_PASS(AGL_LONG, int32_t)
        AGL_PASS(AGL_FLOAT, float)
        AGL_PASS(AGL_DOUBLE, double)
#undef AGL_PASS
    default:
        return false;
    }
    if (!whole) {
        // Cut short: a grid written in place is partly new, and the window
        // and steps above already describe the pass that did not finish.
        // Nothing of the level is drawn until a pass runs to its end.
        m_done.store(false, std::memory_order_release);
        return false;
    }

    if (!reuse) {
        m_grid.swap(fresh);
        m_outRows = outRows;
        m_outCols = outCols;
        m_gridComponents = vector ? m_componentCount : 0;
    }
    for (int c = 0; c < kMaxComponents; ++c) {
        m_appliedScale[c] = m_comp[c].scale;
        m_appliedOffset[c] = m_comp[c].offset;
    }
    m_done.store(true, std::memory_order_release);
    return true;
}

bool aglFilter::scanWindow(const aglArray& a, int sourceColumn, bool clamp, double clampLow,
                           double clampHigh, double& minimum, double& maximum,
                           const std::atomic<bool>* cut) {
    if (!a.data() || !a.planeStart()) return false;
    int32_t cs, rs, cc, rc;
    a.planeRoi(cs, rs, cc, rc);
    agl::ElementWindow w;
    w.start = a.planeStart();
    w.rows = std::max(rc, 1);
    w.cols = std::max(cc, 1);
    w.rowBytes = a.rowStep();
    w.colBytes = a.colStep();
    w.type = a.typeCode();
    if (sourceColumn >= 0) {
        if (sourceColumn >= w.cols) return false;
        w.start = static_cast<const uint8_t*>(w.start) + int64_t(sourceColumn) * a.colStep();
        w.cols = 1;
    }
    double mn = 0.0, mx = 0.0;
    bool found = false;
    if (!agl::scanRange(w, a.segment(), mn, mx, found, cut) || !found) return false;
    if (clamp) {
        mn = std::clamp(mn, clampLow, clampHigh);
        mx = std::clamp(mx, clampLow, clampHigh);
    }
    minimum = mn;
    maximum = mx;
    return true;
}

template <typename T> void aglFilter::shiftTo(int c, const uint8_t* first) {
    T x;
    std::memcpy(&x, first, sizeof x);
    double v = std::is_same_v<T, uint32_t> ? double(uint64_t(x)) : double(x);
    if (!std::isfinite(v)) v = 0.0; // a hole first: no shift
    if (m_clamp) v = std::clamp(v, m_comp[c].clampLow, m_comp[c].clampHigh);
    // Near the float limit a shift gains no precision and would push values
    // of the other sign past the limit (1e38 shifted by -1e38 is 2e38),
    // where they are clamped: the top of a -1e38..1e38 range lost its colour.
    // Below 1e-7 of the limit, a shifted value overshoots by at most an ulp.
    if (std::fabs(v) > agl::kFloatLimit * 1e-7) v = 0.0;
    m_comp[c].offset = -v * m_comp[c].scale;
}

// How many rows a pass samples between two looks at its cut flag.
constexpr int kRowsBetweenLooks = 16;

template <typename T>
bool aglFilter::passScalar(const uint8_t* start, int64_t rowBytes, int64_t colBytes, float* out,
                           const std::atomic<bool>* cut) {
    if (m_shift) shiftTo<T>(0, start);
    const PassParams k = paramsOf(m_comp[0], m_clamp, std::is_same_v<T, double>);
    double mn = kEmptyMin, mx = kEmptyMax;
    int64_t holes = 0;
    const int rows = int(ceilDiv(m_rowCount, rowStep()));
    const int cols = int(ceilDiv(m_colCount, columnStep()));
    const bool contiguous = colBytes == int64_t(sizeof(T));
    for (int i = 0; i < rows; ++i) {
        if (cut && i % kRowsBetweenLooks == 0 && cut->load(std::memory_order_relaxed)) return false;
        const uint8_t* p = start + i * rowBytes;
        float* o = out + size_t(i) * size_t(cols);
#if defined(__SSE2__)
        if constexpr (std::is_same_v<T, float>) {
            if (contiguous) {
                convertFloatRowSse2(p, cols, k, o, mn, mx, holes);
                continue;
            }
        }
#endif
        if (contiguous) {
            if (k.clamp)
                convertRow<T, true, sizeof(T)>(p, colBytes, cols, k, o, mn, mx, holes);
            else
                convertRow<T, false, sizeof(T)>(p, colBytes, cols, k, o, mn, mx, holes);
        } else {
            if (k.clamp)
                convertRow<T, true, 0>(p, colBytes, cols, k, o, mn, mx, holes);
            else
                convertRow<T, false, 0>(p, colBytes, cols, k, o, mn, mx, holes);
        }
    }
    m_comp[0].minimum = mn;
    m_comp[0].maximum = mx;
    m_holes = holes;
    return true;
}

template <typename T>
bool aglFilter::passVector(const uint8_t* start, int64_t rowBytes, int64_t colBytes, float* out,
                           const std::atomic<bool>* cut) {
    const int n = m_componentCount;
    const int rows = int(ceilDiv(m_rowCount, rowStep()));
    int64_t holes = 0;
    for (int c = 0; c < n; ++c) {
        // A source is a column of the window: one at or beyond the window's
        // column count would read the next row (or past the segment).
        const int s = m_comp[c].source;
        if (s < 0 || s >= m_colCount) {
            for (int i = 0; i < rows; ++i)
                out[size_t(i) * size_t(n) + size_t(c)] = 0.0f;
            m_comp[c].minimum = m_comp[c].maximum = 0.0;
            continue;
        }
        const uint8_t* p = start + int64_t(s) * colBytes;
        if (m_shift) shiftTo<T>(c, p);
        const PassParams k = paramsOf(m_comp[c], m_clamp, std::is_same_v<T, double>);
        double mn = kEmptyMin, mx = kEmptyMax;
        for (int i = 0; i < rows; ++i, p += rowBytes) {
            if (cut && i % (kRowsBetweenLooks * 64) == 0 && cut->load(std::memory_order_relaxed))
                return false;
            out[size_t(i) * size_t(n) + size_t(c)] = convert<T>(p, k, mn, mx, holes);
        }
        m_comp[c].minimum = mn;
        m_comp[c].maximum = mx;
    }
    m_holes = holes;
    return true;
}

void aglFilter::reapplyScale(int c) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const int first = c < 0 ? 0 : c, last = c < 0 ? kMaxComponents - 1 : c;
    if (first >= kMaxComponents) return;
    const bool vector = m_gridComponents > 0;
    const size_t stride = vector ? size_t(m_gridComponents) : 1;
    for (int k = first; k <= last; ++k) {
        if (vector ? k >= m_gridComponents : k > 0) continue;
        const double s0 = m_appliedScale[k], o0 = m_appliedOffset[k];
        const double s = m_comp[k].scale, o = m_comp[k].offset;
        if (s0 == s && o0 == o) continue;
        if (s0 == 0.0) continue; // values no longer carry the data: nothing to recover
        // g = v s0 + o0 becomes v s + o, in one multiply-add per value.
        const double a = s / s0, b = o - o0 * s / s0;
        for (size_t i = size_t(k); i < m_grid.size(); i += stride) {
            const float g = m_grid[i];
            if (isHole(g)) continue;
            m_grid[i] = float(std::clamp(g * a + b, -agl::kFloatLimit, agl::kFloatLimit));
        }
        m_appliedScale[k] = s;
        m_appliedOffset[k] = o;
    }
}
