// The pick colour code: how a graph object writes "which sample is here" into
// the colour of a pick frame, and how the pixel read back is turned into an
// object identifier and fractional sample indices.
//
// Red carries the x index, green the y index, blue the object's pick
// identifier in its two top bits (identifier x 64). Each index is shifted so
// that it fills the byte: shift = 8 - bits(N), N the number of grid samples
// in that direction. When N needs more than 8 bits the shift is negative and
// neighbouring samples share a colour. Black (identifier 0) means nothing was
// hit. Pure functions; any thread.
#pragma once

#include <cstdint>

// Number of significant bits of n (0 for 0).
int aglPickBits(int n);
// The shift for an index direction with n samples: 8 - bits(n).
int aglPickShift(int n);

// The colour code of sample (xIndex, yIndex) of an object with the given pick
// identifier; rgb receives three bytes.
void aglEncodePick(int id, int xIndex, int yIndex, int xShift, int yShift, uint8_t rgb[3]);

struct aglPickDecoded {
    int id = 0;     // 0: nothing picked
    double x = 0.0; // fractional x index
    double y = 0.0; // fractional y index
};

// Decodes a pixel read back from a pick frame (rgba[0..3]).
aglPickDecoded aglDecodePick(const uint8_t rgba[4], int xShift, int yShift);
