// aglPalette: the graph's colour palette, without any drawing.
//
// A table of 256 RGBA colours, the value range it spans, and the mapping of
// graph values to colours and to texture coordinates. The table is one of
// six built-in ramps chosen by PaletteId (1 Gray Scale, 2 Gray Scale Banded,
// 3 Gray Scale Inverted, 4 Rainbow, 5 Rainbow Banded, 6 Rainbow Inverted) or,
// with PaletteId 0, a custom palette: a data segment holding 1024 bytes,
// 256 entries of red, green, blue and alpha (examples/palettes holds
// viridis, magma, cividis and a blue-white-red map in that form). The custom
// segment is read in place, not copied. The ten fixed line colours of the
// vector graph live here too.
//
// Graph objects colour grid values (heights), not data values: the pipeline
// sets the height-to-value mapping (value = height x scale + offset) and the
// value range; ColourOf and TexCoordOf take heights.
//
// aglPaletteBarObj (control/render) derives from this class and draws the
// table as the palette bar. Threads: setters run on the control's thread,
// the lookups on the render thread. The only thing both threads share that
// can go away is the custom segment; the switch from one custom segment to
// another happens between LockTable and UnlockTable, which the bar maps onto
// its render context's scene lock, and the old segment is released only
// after that.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class aglSegment;

class aglPalette {
public:
    static constexpr int kEntries = 256;
    static constexpr int kTableBytes = kEntries * 4;
    static constexpr int kCustom = 0;
    static constexpr int kRainbow = 4;
    static constexpr int kLastBuiltIn = 6;
    static constexpr int kLineColourCount = 10;

    aglPalette();
    virtual ~aglPalette();
    aglPalette(const aglPalette&) = delete;
    aglPalette& operator=(const aglPalette&) = delete;

    // Chooses the table: 1..6 a built-in ramp, 0 the custom palette (when
    // one is loaded; otherwise only marks the palette changed). Other ids are
    // ignored and return false.
    bool SetPaletteId(int id);
    int PaletteId() const { return m_id; }

    // Value range of the table (doubles from the control, stored as floats):
    // each end limited to +-1.7014117331926443e38, magnitudes below
    // 9.5367431640625e-07 become 0, non-finite values are refused. A range
    // whose maximum is below its minimum is ignored (returns false).
    bool SetRange(double minimum, double maximum);
    float Minimum() const { return m_min; }
    float Maximum() const { return m_max; }

    // Height-to-value mapping: value = height x scale + offset. A zero or
    // non-finite scale counts as 1, a non-finite offset as 0, so that no
    // lookup ever turns NaN; any other scale is kept, however small.
    void SetValueMapping(double scale, double offset);
    double ValueScale() const { return m_valueScale; }
    double ValueOffset() const { return m_valueOffset; }

    // Loads a custom palette from the segment of that name (a file path, or
    // a shared-memory name), read-only. It must hold exactly 256 x 4 bytes of
    // element data of a byte type (AGL_UCHAR or AGL_CHAR); anything else
    // (no such segment, a short one, 256 floats) is refused with false and
    // the previous custom palette stays. An empty name is ignored. When the
    // custom palette is the one shown, the new one is shown at once.
    bool LoadCustomPalette(const std::string& name);
    bool HasCustomPalette() const { return m_custom != nullptr; }

    // Table entry (0..255) of a height: entry 0 at or below the minimum and
    // for NaN, 255 at or above the maximum, else the nearest entry.
    int EntryOf(double height) const;
    // The entry's red, green and blue.
    void ColourOf(double height, uint8_t rgb[3]) const;
    // 1-D texture coordinate 0..1 of a height (0 for NaN).
    float TexCoordOf(double height) const;
    // The value at which entry k starts: minimum + (maximum - minimum) x k / 256
    // (k below 0 gives the minimum, 256 and above the maximum).
    float ValueOfEntry(int k) const;
    // Line colour |k| mod 10 as bytes.
    static void LineColour(int k, uint8_t rgb[3]);

    // The current table, 256 x RGBA. Render thread (or with the table locked).
    const uint8_t* Table() const { return m_table; }

    // Fills table (256 x RGBA) with built-in ramp id 1..6; false for others.
    static bool BuildTable(int id, uint8_t* table);

    // --- the palette bar's legend (no drawing) ---------------------------------

    // At most this many labelled ticks on the bar.
    static constexpr int kLabelCount = 9;
    // Label kind 2: floating-point data; any other kind: integer data.
    static constexpr int kFloatingLabels = 2;
    // One labelled tick of the bar: where it sits, as a fraction of the bar
    // from the minimum (0) to the maximum (1), and its text.
    struct BarLabel {
        double fraction = 0.0;
        std::string text;
    };
    // The bar's labelled ticks over minimum..maximum: round values (multiples
    // of 1, 2, 2.5 or 5 times a power of ten; whole numbers for integer data),
    // two to kLabelCount of them, printed so that neighbours differ. They need
    // not fall on the ends of the range: 236..1076 is labelled 300, 400 ...
    // 1000. A range too narrow for two round ticks is divided evenly.
    // maxCount (2..kLabelCount) lowers the count where the bar is too short
    // for kLabelCount labels that do not touch.
    std::vector<BarLabel> MakeLabels(int kind, int maxCount = kLabelCount) const;

    // Where the palette bar goes in a control of width x height pixels: a
    // strip at the right edge, 120 pixels wide with labels (when the control
    // is wider than 360) or 50 without (wider than 150); on narrower controls
    // a third of the width, or a sixth when a third would be under 50. With
    // graph type 0 the strip is the whole width. It spans the height less a
    // tenth at top and bottom. Window coordinates with y up; graphWidth is
    // what is left for the graph. A hidden bar leaves the whole width.
    struct Strip {
        int left = 0, top = 0, right = 0, bottom = 0;
        int graphWidth = 0;
    };
    static Strip StripFor(int width, int height, bool shown, bool labels, int graphType);

protected:
    // Called after anything that changes the colours or the range.
    virtual void PaletteChanged() {}
    // Bracket the switch of the current table from one custom segment to
    // another; the render thread must not look up colours in between.
    virtual void LockTable() {}
    virtual void UnlockTable() {}

private:
    int m_id = kRainbow;
    float m_min = 0.0f;
    float m_max = 1.0f;
    double m_valueScale = 1.0;
    double m_valueOffset = 0.0;
    uint8_t m_builtIn[kTableBytes];
    const uint8_t* m_table = m_builtIn; // m_builtIn or the custom segment's elements
    std::unique_ptr<aglSegment> m_custom;
};
