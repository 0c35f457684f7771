// The colour table of an indexed (8 bits or fewer) pixel format: what a
// logical palette for such a format holds. Framebuffer objects here are always
// RGBA with 8 bits a channel, so the render context never needs one; the
// arithmetic is kept for formats that do. Pure; any thread.
#pragma once

#include <cstdint>
#include <vector>

struct aglPaletteEntry {
    uint8_t red, green, blue, flags;
};

// 2^colorBits entries (none when colorBits is not 1..8): entry i has
// red = ((i >> redShift) & (2^redBits - 1)) x 255 / (2^redBits - 1),
// truncated, and the same for green and blue; flags 0.
std::vector<aglPaletteEntry> aglLogicalPalette(int colorBits, int redBits, int redShift,
                                               int greenBits, int greenShift, int blueBits,
                                               int blueShift);
