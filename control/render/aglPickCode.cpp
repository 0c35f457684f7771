#include "aglPickCode.h"

int aglPickBits(int n) {
    int bits = 0;
    for (unsigned v = n > 0 ? unsigned(n) : 0u; v != 0; v >>= 1)
        ++bits;
    return bits;
}

int aglPickShift(int n) {
    return 8 - aglPickBits(n);
}

namespace {

uint8_t encodeIndex(int index, int shift) {
    if (index < 0) index = 0;
    unsigned v = shift >= 0 ? unsigned(index) << shift : unsigned(index) >> -shift;
    return uint8_t(v > 255 ? 255 : v);
}

double decodeIndex(uint8_t channel, int shift) {
    if (shift > 0) {
        const unsigned mask = (1u << shift) - 1u;
        return double(channel >> shift) + double(channel & mask) / double(1u << shift);
    }
    if (shift < 0) return double(unsigned(channel) << -shift);
    return double(channel);
}

} // namespace

void aglEncodePick(int id, int xIndex, int yIndex, int xShift, int yShift, uint8_t rgb[3]) {
    rgb[0] = encodeIndex(xIndex, xShift);
    rgb[1] = encodeIndex(yIndex, yShift);
    rgb[2] = uint8_t((id & 3) * 64);
}

aglPickDecoded aglDecodePick(const uint8_t rgba[4], int xShift, int yShift) {
    aglPickDecoded d;
    // (blue + 63) >> 6 rounds a blue that interpolation or dithering pulled
    // slightly below id x 64 back up to the identifier.
    d.id = (int(rgba[2]) + 63) >> 6;
    d.x = decodeIndex(rgba[0], xShift);
    d.y = decodeIndex(rgba[1], yShift);
    return d;
}
