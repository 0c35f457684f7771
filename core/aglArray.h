// aglArray: one array of 1..7 dimensions over a data segment it owns.
//
// The segment header carries type, language, extents and lower bounds; the
// array adds the region of interest (ROI) of every dimension, which two
// dimensions are shown as the rows and columns of the 2-D view (the plane),
// the byte strides, and element access by (column, row) with conversion to
// and from double. The array always owns a segment: a 3 x 3 placeholder
// (zeros with 1.0 in the centre) when it holds no data.
//
// Indices are 0-based everywhere in this interface; lower bounds only change
// how indices are written for users. All sizes and offsets are 64-bit.
// One thread at a time, with one exception: a reader on another thread may
// keep the elements through an ElementsHold (below).
#pragma once

#include "aglSegment.h"
#include "aglTypes.h"

#include <cstdint>
#include <memory>
#include <string>

class aglArray {
public:
    // Keeps the array's elements, their storage and their values, as they
    // are while it lives, for a reader on another thread (a block copied off
    // the user-interface thread). Whatever would change or drop them on the
    // array's own thread waits for the last hold to go: setValue,
    // mutableData, a new segment (open, allocate, reshape), release and the
    // destructor. The view (ROI, row and column dimensions) may change
    // meanwhile: the reader takes what it needs of it beforehand. A hold may
    // go on any thread. Another program writing a shared segment is not
    // held back.
    class ElementsHold {
    public:
        ElementsHold() = default;
        ElementsHold(ElementsHold&&) noexcept = default;
        ElementsHold& operator=(ElementsHold&& other) noexcept;
        ~ElementsHold();
        // Lets the elements go now.
        void reset();

    private:
        friend class aglArray;
        struct State;
        explicit ElementsHold(std::shared_ptr<State> state);
        std::shared_ptr<State> m_state;
    };

    aglArray();
    virtual ~aglArray();
    aglArray(const aglArray&) = delete;
    aglArray& operator=(const aglArray&) = delete;

    // Opens the segment of that name (file path, else shared-memory name).
    // When read-write is asked for and impossible, opens it read-only. On
    // failure the current segment stays and the error is kept.
    virtual bool open(const std::string& name, bool readOnly);
    // Writes the whole array into a new file called name. Saving onto the
    // file this array is mapped from writes nothing and succeeds.
    virtual bool saveTo(const std::string& name);
    // Makes a new writable segment of byteCount bytes (one-dimensional
    // AGL_UCHAR in 7 slots, ready to be reshaped) and takes it over. Returns
    // its element area, or nullptr (keeping the old segment) on failure.
    virtual void* allocate(int64_t byteCount, const char* name = nullptr);
    // The same in this process's own memory (no shared block, no name): for
    // snapshots that no other program opens. Without takePages the memory
    // is only reserved, and its pages come when first written (or through
    // platform::takePages, on whichever thread fills it).
    void* allocatePrivate(int64_t byteCount, bool takePages = true);
    // Re-labels the current writable segment; 0 on success, -1 on failure.
    virtual int reshape(int dims, const int32_t* extents, int type);
    // Releases the segment and goes back to the placeholder.
    virtual void release();
    // Address of the element at the ROI low corner.
    virtual void* planeStart() const;
    virtual void setRoi(int dim, int32_t low, int32_t high);
    virtual void getRoi(int dim, int32_t& low, int32_t& high) const;

    // Element of the current plane at absolute 0-based (column, row); 0.0
    // outside the array. Every other dimension is held at its ROI low.
    double value(int64_t column, int64_t row) const;
    // Reads count elements of one row, from column colStart on, widened to
    // double into out (0.0 for columns outside the array). The fast path for
    // whole rows: one type dispatch per call, not per element.
    void readRow(int64_t row, int64_t colStart, int64_t count, double* out) const;
    // Converts and stores x (clamped to the type); ignored out of range or
    // when the segment is read-only.
    void setValue(int64_t column, int64_t row, double x);

    void setRowDim(int d);
    void setColDim(int d);
    int rowDim() const { return m_rowDim; }
    int colDim() const { return m_colDim; }
    int64_t rowCount() const;
    int64_t colCount() const;
    // Column ROI low, row ROI low, column ROI length, row ROI length.
    void planeRoi(int32_t& colLow, int32_t& rowLow, int32_t& colLength, int32_t& rowLength) const;
    void setPlaneRoi(int64_t colStart, int64_t rowStart, int64_t colCount, int64_t rowCount);

    int32_t extent(int k) const;
    int32_t lowerBound(int k) const;
    void setLowerBound(int k, int32_t value);
    // Language of the current segment.
    int language() const { return m_language; }
    // Language for segments created from now on (1 or 2; others ignored).
    bool setLanguage(int language);
    int takeError();
    int peekError() const { return m_lastError; }

    int dimCount() const { return m_dims; }
    int typeCode() const { return m_type; }
    int elementSize() const { return m_elementSize; }
    int numericClass() const { return m_numericClass; }
    int64_t stride(int k) const { return (k >= 0 && k < agl::kMaxDims) ? m_strides[k] : 0; }
    int64_t elementCount() const { return m_segment ? m_segment->elementCount() : 0; }
    int64_t planeOffset() const { return m_planeOffset; }
    int64_t rowStep() const { return m_rowStep; }
    int64_t colStep() const { return m_colStep; }
    double typeLargest() const { return m_typeLargest; }
    double typeSmallest() const { return m_typeSmallest; }
    const void* data() const { return m_data; }
    // Waits for the holds first (see ElementsHold).
    void* mutableData() const {
        waitForHolds();
        return m_segment && m_segment->isWritable() ? m_data : nullptr;
    }
    const aglSegment* segment() const { return m_segment.get(); }
    // A hold on the elements for another thread (see ElementsHold).
    ElementsHold holdElements() const;
    bool isPlaceholder() const { return m_placeholder; }
    bool isWritable() const { return m_segment && m_segment->isWritable(); }

    // "float M[3][4]" or "real*4 M(4, 0:2)".
    std::string shapeText() const;
    // "M[1][2]: 0.5" or "M(3,2): 0.5" for the element at (column, row).
    std::string positionText(int64_t column, int64_t row) const;
    // The same for an array that holds one part of a larger one: extents
    // are the larger array's (dimCount() of them), offsets where the part
    // starts in it (null: 0).
    std::string shapeText(const int32_t* extents) const;
    std::string positionText(int64_t column, int64_t row, const int32_t* offsets) const;

protected:
    // Takes over the descriptor of a newly opened or created segment.
    void takeOver(std::unique_ptr<aglSegment> segment);
    virtual void recomputePlane();

private:
    void installPlaceholder();
    void chooseDefaultDims(bool byLanguage);
    const uint8_t* address(int64_t column, int64_t row) const;
    // Returns once no ElementsHold is left. The array's thread only.
    void waitForHolds() const {
        if (m_holds) waitForHoldsSlow();
    }
    void waitForHoldsSlow() const;

    uint8_t* m_data = nullptr;
    int m_dims = 0;
    int32_t m_extents[agl::kMaxDims] = {};
    int32_t m_roiLow[agl::kMaxDims] = {};
    int32_t m_roiHigh[agl::kMaxDims] = {};
    int64_t m_strides[agl::kMaxDims] = {};
    int32_t m_lowerBounds[agl::kMaxDims] = {};
    int m_numericClass = AGL_CLASS_FLOAT;
    int m_type = AGL_FLOAT;
    int m_elementSize = 4;
    int m_elementOffset = 0;
    int m_cellSize = 4;
    std::unique_ptr<aglSegment> m_segment;
    double m_typeLargest = 0;
    double m_typeSmallest = 0;
    int m_lastError = 0;
    int m_language = AGL_LANG_C;
    int m_createLanguage = AGL_LANG_C;
    int64_t m_planeOffset = 0;
    int64_t m_rowStep = 0;
    int64_t m_colStep = 0;
    int m_rowDim = 0;
    int m_colDim = 0;
    bool m_placeholder = false;
    // Made with the first hold; shared with every hold taken since.
    mutable std::shared_ptr<ElementsHold::State> m_holds;
    // Used only when no shared-memory block can be made for the placeholder.
    alignas(8) uint8_t m_fallbackPlaceholder[32 + 9 * 4] = {};
};
