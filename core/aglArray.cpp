#include "aglArray.h"

#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

template <typename T> T load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <typename T> void store(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// Saturating conversion: NaN gives 0, values beyond the range its ends, the
// rest is truncated toward zero.
int64_t saturate(double x, double lo, double hi) {
    if (std::isnan(x)) return 0;
    if (x <= lo) return int64_t(lo);
    if (x >= hi) return int64_t(hi);
    return int64_t(x);
}

} // namespace

aglArray::aglArray() {
    installPlaceholder();
}

aglArray::~aglArray() {
    waitForHolds();
}

struct aglArray::ElementsHold::State {
    std::mutex mutex;
    std::condition_variable released;
    int count = 0;
};

aglArray::ElementsHold::ElementsHold(std::shared_ptr<State> state) : m_state(std::move(state)) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    ++m_state->count;
}

aglArray::ElementsHold& aglArray::ElementsHold::operator=(ElementsHold&& other) noexcept {
    if (this != &other) {
        reset();
        m_state = std::move(other.m_state);
    }
    return *this;
}

aglArray::ElementsHold::~ElementsHold() {
    reset();
}

void aglArray::ElementsHold::reset() {
    if (!m_state) return;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        if (--m_state->count == 0) m_state->released.notify_all();
    }
    // The state outlives the notification: the array may be gone by now.
    m_state.reset();
}

aglArray::ElementsHold aglArray::holdElements() const {
    if (!m_holds) m_holds = std::make_shared<ElementsHold::State>();
    return ElementsHold(m_holds);
}

void aglArray::waitForHoldsSlow() const {
    std::unique_lock<std::mutex> lock(m_holds->mutex);
    m_holds->released.wait(lock, [&] { return m_holds->count == 0; });
}

void aglArray::installPlaceholder() {
    auto seg = std::make_unique<aglSegment>();
    const int32_t ext[2] = {3, 3};
    if (seg->create(nullptr, 2, ext, AGL_FLOAT, AGL_LANG_C)) {
        float* f = static_cast<float*>(seg->elements());
        std::memset(f, 0, 9 * sizeof(float));
        f[4] = 1.0f;
    } else {
        // No shared memory at all: a private image of the same placeholder.
        uint8_t* b = m_fallbackPlaceholder;
        std::memset(b, 0, sizeof m_fallbackPlaceholder);
        std::memcpy(b, &agl::kMagicNormal, 4);
        b[4] = 1;
        b[5] = uint8_t(AGL_FLOAT - AGL_UCHAR);
        b[6] = 2;
        const int32_t three = 3;
        std::memcpy(b + 12, &three, 4);
        std::memcpy(b + 16, &three, 4);
        const float one = 1.0f;
        std::memcpy(b + 28 + 4 * 4, &one, 4);
        seg = std::make_unique<aglSegment>();
        seg->viewInPlace(b, sizeof m_fallbackPlaceholder);
    }
    m_rowDim = m_colDim = 0;
    takeOver(std::move(seg));
    m_rowDim = m_colDim = 0;
    recomputePlane();
    m_placeholder = true;
}

void aglArray::takeOver(std::unique_ptr<aglSegment> segment) {
    waitForHolds();
    m_segment = std::move(segment);
    m_placeholder = false;
    const aglSegment& s = *m_segment;
    m_numericClass = s.numericClass();
    m_dims = s.dimCount();
    m_type = s.typeCode();
    m_elementSize = m_cellSize = s.elementSize();
    m_elementOffset = 0;
    m_data = static_cast<uint8_t*>(s.elements());
    m_language = s.language();
    const agl::TypeInfo& ti = agl::typeInfo(m_type);
    m_typeLargest = ti.largest;
    m_typeSmallest = ti.smallest;
    for (int i = 0; i < agl::kMaxDims; ++i) {
        m_extents[i] = s.extent(i);
        m_lowerBounds[i] = s.lowerBound(i);
        m_roiLow[i] = 0;
        m_roiHigh[i] = m_extents[i] < 2 ? 0 : m_extents[i] - 1;
    }
    int64_t stride = m_cellSize;
    for (int i = agl::kMaxDims - 1; i >= 0; --i) {
        if (i >= m_dims) {
            m_strides[i] = 0;
            continue;
        }
        m_strides[i] = stride;
        stride *= m_extents[i];
    }
    recomputePlane();
}

void aglArray::recomputePlane() {
    if (m_rowDim < 0 || m_rowDim >= m_dims) m_rowDim = 0;
    if (m_colDim < 0 || m_colDim >= m_dims) m_colDim = 0;
    m_planeOffset = m_elementOffset;
    for (int i = 0; i < m_dims; ++i)
        m_planeOffset += int64_t(m_roiLow[i]) * m_strides[i];
    m_rowStep = m_rowDim == m_colDim ? 0 : m_strides[m_rowDim];
    m_colStep = m_strides[m_colDim];
}

void aglArray::chooseDefaultDims(bool byLanguage) {
    if (m_dims <= 1 || m_rowDim != m_colDim) return;
    if (byLanguage && m_language == AGL_LANG_FORTRAN) {
        if (m_colDim <= 0)
            m_rowDim = 1;
        else
            m_colDim = 0;
    } else {
        if (m_rowDim <= 0)
            m_colDim = 1;
        else
            m_rowDim = 0;
    }
}

bool aglArray::open(const std::string& name, bool readOnly) {
    auto seg = std::make_unique<aglSegment>();
    bool ok = seg->open(name, readOnly);
    if (!ok && !readOnly) {
        seg = std::make_unique<aglSegment>();
        ok = seg->open(name, true);
    }
    if (!ok) {
        m_lastError = seg->takeError();
        return false;
    }
    // Out-of-range dimensions (from a caller or a file) count as too large.
    if (m_rowDim < 0) m_rowDim = 0;
    if (m_colDim < 0) m_colDim = 0;
    takeOver(std::move(seg));
    chooseDefaultDims(true);
    recomputePlane();
    return true;
}

bool aglArray::saveTo(const std::string& rawName) {
    std::string name = rawName;
    for (char& c : name)
        if (c == '\\') c = '/';
    // Same file (device and inode), not the same spelling: on Linux
    // Wave.agl and wave.agl are different files.
    if (m_segment && m_segment->isFileBacked()) {
        const platform::FileStamp there = platform::FileStamp::ofPath(name);
        if (there.valid && there.isSameFile(m_segment->fileStamp())) return true;
    }

    aglSegment out;
    int32_t ext[agl::kMaxDims] = {};
    for (int i = 0; i < m_dims; ++i)
        ext[i] = m_extents[i];
    if (!out.create(name.c_str(), m_dims, ext, m_type, m_language, true)) {
        m_lastError = out.takeError();
        return false;
    }
    if (m_language == AGL_LANG_FORTRAN)
        for (int i = 0; i < m_dims; ++i)
            out.setLowerBound(i, m_lowerBounds[i]);
    std::memcpy(out.elements(), m_data, size_t(elementCount()) * size_t(m_elementSize));
    return true;
}

void* aglArray::allocate(int64_t byteCount, const char* name) {
    if (byteCount < 0 || byteCount > agl::kMaxElements) {
        m_lastError = byteCount < 0 ? AGL_E_EXTENT : AGL_E_EXTENT;
        return nullptr;
    }
    auto seg = std::make_unique<aglSegment>();
    const int32_t ext[agl::kMaxDims] = {int32_t(byteCount), 0, 0, 0, 0, 0, 0};
    if (!seg->create(name, agl::kMaxDims, ext, AGL_UCHAR, m_createLanguage)) {
        m_lastError = seg->takeError();
        return nullptr;
    }
    takeOver(std::move(seg));
    return m_data;
}

void* aglArray::allocatePrivate(int64_t byteCount, bool takePages) {
    if (byteCount < 0 || byteCount > agl::kMaxElements) {
        m_lastError = AGL_E_EXTENT;
        return nullptr;
    }
    auto seg = std::make_unique<aglSegment>();
    const int32_t ext[agl::kMaxDims] = {int32_t(byteCount), 0, 0, 0, 0, 0, 0};
    if (!seg->createPrivate(agl::kMaxDims, ext, AGL_UCHAR, m_createLanguage, takePages)) {
        m_lastError = seg->takeError();
        return nullptr;
    }
    takeOver(std::move(seg));
    return m_data;
}

int aglArray::reshape(int dims, const int32_t* extents, int type) {
    waitForHolds();
    if (!m_segment || !m_segment->isWritable()) {
        m_lastError = AGL_E_SIZE;
        return -1;
    }
    if (!m_segment->reshape(dims, extents, type)) {
        m_lastError = m_segment->takeError();
        return -1;
    }
    const int rowDim = m_rowDim, colDim = m_colDim;
    auto seg = std::move(m_segment);
    takeOver(std::move(seg));
    m_rowDim = rowDim;
    m_colDim = colDim;
    chooseDefaultDims(false);
    recomputePlane();
    return 0;
}

void aglArray::release() {
    waitForHolds();
    m_segment.reset();
    installPlaceholder();
}

void* aglArray::planeStart() const {
    return m_data ? m_data + m_planeOffset : nullptr;
}

void aglArray::setRoi(int dim, int32_t low, int32_t high) {
    if (dim < 0 || dim >= agl::kMaxDims) return;
    const int32_t last = m_extents[dim] > 0 ? m_extents[dim] - 1 : 0;
    if (low < 0) low = 0;
    if (low > last) low = last;
    if (high < low) high = low;
    if (high > last) high = last;
    m_roiLow[dim] = low;
    m_roiHigh[dim] = high;
    recomputePlane();
}

void aglArray::getRoi(int dim, int32_t& low, int32_t& high) const {
    if (dim < 0 || dim >= agl::kMaxDims) {
        low = high = 0;
        return;
    }
    low = m_roiLow[dim];
    high = m_roiHigh[dim];
}

const uint8_t* aglArray::address(int64_t column, int64_t row) const {
    if (m_dims == 0 || !m_data) return nullptr;
    const int64_t colExtent = m_extents[m_colDim] > 0 ? m_extents[m_colDim] : 1;
    const int64_t rowExtent = m_extents[m_rowDim] > 0 ? m_extents[m_rowDim] : 1;
    if (column < 0 || column >= colExtent || row < 0 || row >= rowExtent) return nullptr;
    return m_data + m_planeOffset + (row - m_roiLow[m_rowDim]) * m_rowStep +
           (column - m_roiLow[m_colDim]) * m_colStep;
}

double aglArray::value(int64_t column, int64_t row) const {
    const uint8_t* p = address(column, row);
    return p ? agl::loadAsDouble(p, m_type) : 0.0;
}

namespace {

template <typename T> void widenRow(const uint8_t* p, int64_t step, int64_t count, double* out) {
    if (step == int64_t(sizeof(T))) {
        for (int64_t i = 0; i < count; ++i)
            out[i] = double(load<T>(p + i * int64_t(sizeof(T))));
    } else {
        for (int64_t i = 0; i < count; ++i)
            out[i] = double(load<T>(p + i * step));
    }
}

} // namespace

void aglArray::readRow(int64_t row, int64_t colStart, int64_t count, double* out) const {
    if (count <= 0 || !out) return;
    const int64_t colExtent = m_extents[m_colDim] > 0 ? m_extents[m_colDim] : 1;
    // Columns outside the array read 0, like value().
    int64_t first = colStart < 0 ? -colStart : 0;
    if (first > count) first = count;
    int64_t last = colExtent - colStart; // one past the last column inside
    if (last > count) last = count;
    if (last < first) last = first;
    for (int64_t i = 0; i < first; ++i)
        out[i] = 0.0;
    for (int64_t i = last; i < count; ++i)
        out[i] = 0.0;
    const uint8_t* p = last > first ? address(colStart + first, row) : nullptr;
    if (!p) {
        for (int64_t i = first; i < last; ++i)
            out[i] = 0.0;
        return;
    }
    double* o = out + first;
    const int64_t n = last - first;
    switch (m_type) {
    case AGL_UCHAR:
        widenRow<uint8_t>(p, m_colStep, n, o);
        break;
    case AGL_CHAR:
        widenRow<int8_t>(p, m_colStep, n, o);
        break;
    case AGL_USHORT:
        widenRow<uint16_t>(p, m_colStep, n, o);
        break;
    case AGL_SHORT:
        widenRow<int16_t>(p, m_colStep, n, o);
        break;
    case AGL_ULONG:
        widenRow<uint32_t>(p, m_colStep, n, o);
        break;
    case AGL_LONG:
        widenRow<int32_t>(p, m_colStep, n, o);
        break;
    case AGL_FLOAT:
        widenRow<float>(p, m_colStep, n, o);
        break;
    case AGL_DOUBLE:
        widenRow<double>(p, m_colStep, n, o);
        break;
    default:
        for (int64_t i = 0; i < n; ++i)
            o[i] = 0.0;
    }
}

void aglArray::setValue(int64_t column, int64_t row, double x) {
    waitForHolds();
    if (!isWritable()) return;
    uint8_t* p = const_cast<uint8_t*>(address(column, row));
    if (!p) return;
    switch (m_type) {
    case AGL_UCHAR:
        *p = uint8_t(saturate(x, 0, 255));
        break;
    case AGL_CHAR:
        *p = uint8_t(int8_t(saturate(x, -128, 127)));
        break;
    case AGL_USHORT:
        store<uint16_t>(p, uint16_t(saturate(x, 0, 65535)));
        break;
    case AGL_SHORT:
        store<int16_t>(p, int16_t(saturate(x, -32768, 32767)));
        break;
    case AGL_ULONG:
        store<uint32_t>(p, uint32_t(saturate(x, 0, 4294967295.0)));
        break;
    case AGL_LONG:
        store<int32_t>(p, int32_t(saturate(x, -2147483648.0, 2147483647.0)));
        break;
    case AGL_FLOAT: {
        float f;
        if (x < -agl::kFloatLimit)
            f = float(-agl::kFloatLimit);
        else if (std::fabs(x) < 9.536743e-7)
            f = 0.0f;
        else if (x > agl::kFloatLimit)
            f = float(agl::kFloatLimit);
        else
            f = float(x);
        store<float>(p, f);
        break;
    }
    case AGL_DOUBLE:
        store<double>(p, x);
        break;
    default:
        break;
    }
}

void aglArray::setRowDim(int d) {
    if (m_dims < 2 || d < 0 || d >= m_dims) return;
    m_rowDim = d;
    recomputePlane();
}

void aglArray::setColDim(int d) {
    if (m_dims < 2 || d < 0 || d >= m_dims) return;
    m_colDim = d;
    recomputePlane();
}

int64_t aglArray::rowCount() const {
    if (m_rowDim == m_colDim) return 1;
    return m_extents[m_rowDim] == 0 ? 1 : m_extents[m_rowDim];
}

int64_t aglArray::colCount() const {
    return m_extents[m_colDim] == 0 ? 1 : m_extents[m_colDim];
}

void aglArray::planeRoi(int32_t& colLow, int32_t& rowLow, int32_t& colLength,
                        int32_t& rowLength) const {
    colLow = m_roiLow[m_colDim];
    colLength = m_roiHigh[m_colDim] - m_roiLow[m_colDim] + 1;
    if (m_rowDim == m_colDim) {
        rowLow = 0;
        rowLength = 1;
    } else {
        rowLow = m_roiLow[m_rowDim];
        rowLength = m_roiHigh[m_rowDim] - m_roiLow[m_rowDim] + 1;
    }
}

void aglArray::setPlaneRoi(int64_t colStart, int64_t rowStart, int64_t colCount, int64_t rowCount) {
    const int64_t colExtent = m_extents[m_colDim] > 0 ? m_extents[m_colDim] : 1;
    const int64_t rowExtent = m_extents[m_rowDim] > 0 ? m_extents[m_rowDim] : 1;
    if (colStart < 0) colStart = 0;
    if (rowStart < 0) rowStart = 0;
    colStart %= colExtent;
    rowStart %= rowExtent;
    int64_t colEnd = colStart + (colCount > 0 ? colCount : 1) - 1;
    int64_t rowEnd = rowStart + (rowCount > 0 ? rowCount : 1) - 1;
    if (colEnd > colExtent - 1) colEnd = colExtent - 1;
    if (rowEnd > rowExtent - 1) rowEnd = rowExtent - 1;
    setRoi(m_rowDim, int32_t(rowStart), int32_t(rowEnd));
    setRoi(m_colDim, int32_t(colStart), int32_t(colEnd));
}

int32_t aglArray::extent(int k) const {
    return (k >= 0 && k < m_dims) ? m_extents[k] : 0;
}

int32_t aglArray::lowerBound(int k) const {
    return (k >= 0 && k < agl::kMaxDims) ? m_lowerBounds[k] : 0;
}

void aglArray::setLowerBound(int k, int32_t value) {
    if (k < 0 || k >= agl::kMaxDims) return;
    m_lowerBounds[k] = value;
    if (m_segment && m_segment->isWritable()) m_segment->setLowerBound(k, value);
}

bool aglArray::setLanguage(int language) {
    if (language != AGL_LANG_C && language != AGL_LANG_FORTRAN) return false;
    m_createLanguage = language;
    return true;
}

int aglArray::takeError() {
    int e = m_lastError;
    m_lastError = 0;
    return e;
}

std::string aglArray::shapeText() const {
    return shapeText(m_extents);
}

std::string aglArray::shapeText(const int32_t* extents) const {
    std::string s;
    char buf[64];
    const bool known = agl::isTypeCode(m_type);
    if (m_language == AGL_LANG_FORTRAN) {
        s = known ? agl::typeInfo(m_type).fortranName : "???";
        s += " M(";
        for (int i = m_dims - 1; i >= 0; --i) {
            const bool last = i == 0;
            if (m_lowerBounds[i] == 1)
                std::snprintf(buf, sizeof buf, last ? "%d)" : "%d, ", extents[i]);
            else
                std::snprintf(buf, sizeof buf, last ? "%d:%lld)" : "%d:%lld, ", m_lowerBounds[i],
                              (long long)(int64_t(m_lowerBounds[i]) + extents[i] - 1));
            s += buf;
        }
    } else {
        s = known ? agl::typeInfo(m_type).cName : "???";
        s += " M";
        for (int i = 0; i < m_dims; ++i) {
            std::snprintf(buf, sizeof buf, "[%d]", extents[i]);
            s += buf;
        }
    }
    return s;
}

std::string aglArray::positionText(int64_t column, int64_t row) const {
    return positionText(column, row, nullptr);
}

std::string aglArray::positionText(int64_t column, int64_t row, const int32_t* offsets) const {
    int64_t index[agl::kMaxDims];
    for (int i = 0; i < m_dims; ++i)
        index[i] = m_roiLow[i];
    if (m_dims > 0) {
        index[m_rowDim] = row;
        index[m_colDim] = column;
    }
    if (offsets)
        for (int i = 0; i < m_dims; ++i)
            index[i] += offsets[i];
    std::string s = "M";
    char buf[64];
    if (m_language == AGL_LANG_FORTRAN) {
        s += "(";
        for (int i = m_dims - 1; i >= 0; --i) {
            std::snprintf(buf, sizeof buf, i == 0 ? "%lld)" : "%lld,",
                          (long long)(index[i] + m_lowerBounds[i]));
            s += buf;
        }
    } else {
        for (int i = 0; i < m_dims; ++i) {
            std::snprintf(buf, sizeof buf, "[%lld]", (long long)index[i]);
            s += buf;
        }
    }
    std::snprintf(buf, sizeof buf, ": %g", value(column, row));
    return s + buf;
}
