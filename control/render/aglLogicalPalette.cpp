#include "aglLogicalPalette.h"

#include <cstddef>

namespace {

uint8_t channel(int i, int bits, int shift) {
    if (bits <= 0 || bits > 8 || shift < 0 || shift > 8) return 0;
    const int mask = (1 << bits) - 1;
    return uint8_t(double((i >> shift) & mask) * 255.0 / double(mask));
}

} // namespace

std::vector<aglPaletteEntry> aglLogicalPalette(int colorBits, int redBits, int redShift,
                                               int greenBits, int greenShift, int blueBits,
                                               int blueShift) {
    std::vector<aglPaletteEntry> entries;
    if (colorBits < 1 || colorBits > 8) return entries;
    entries.resize(std::size_t(1) << colorBits);
    for (int i = 0; i < int(entries.size()); ++i)
        entries[std::size_t(i)] = {channel(i, redBits, redShift), channel(i, greenBits, greenShift),
                                   channel(i, blueBits, blueShift), 0};
    return entries;
}
