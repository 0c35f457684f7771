// The document's zoom history: level 0 is the whole array, each deeper level
// a smaller region of the plane shown, centred on the cursor. Zoom In stores
// the next level when none beyond the current one is stored, Zoom Out goes
// back one level, and moving the cursor forgets the levels below the current
// one (they were centred on the old cursor). Knows nothing of arrays or the
// control: the document applies the region it gets. Any single thread.
#pragma once

#include <array>
#include <cstdint>

class ZoomHistory {
public:
    static constexpr int kMaxLevels = 16;

    // A region of the plane: first row and column, number of rows and columns.
    struct Region {
        int32_t rowStart = 0, colStart = 0, rowCount = 0, colCount = 0;
    };

    // The level shown now (0: the whole array).
    int level() const { return m_level; }
    // The deepest level stored (0: none beyond the whole array).
    int deepest() const { return m_deepest; }
    bool hasDeeper() const { return m_deepest > m_level; }
    // The stored region of a level (clamped to 0..kMaxLevels). Level 0 is
    // never stored: it is whatever the whole array is.
    Region region(int level) const;

    void clear();
    // Stores the level below the current one from the region shown now and
    // the cursor: half the area when both sides are longer than 10, else half
    // the long side, never below 10, placed around the cursor. Nothing when a
    // deeper level is stored already, at level kMaxLevels, or when both sides
    // are 10 or less. Returns whether a deeper level is stored afterwards.
    bool storeDeeper(const Region& shown, int64_t cursorRow, int64_t cursorColumn);
    // Makes level current; false (and no change) outside 0..deepest().
    bool goTo(int level);
    // A region chosen by hand: it replaces the deepest stored level that
    // holds it whole (level kMaxLevels - 1 at most), else becomes level 1;
    // that level is then both the current and the deepest. Returns it.
    int adopt(const Region& chosen);
    // The cursor moved away from where the deeper levels were centred.
    void forgetDeeper() { m_deepest = m_level; }

private:
    std::array<Region, kMaxLevels + 1> m_regions{};
    int m_level = 0;
    int m_deepest = 0;
};
