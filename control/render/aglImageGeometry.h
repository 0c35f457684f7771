// The arithmetic of the image map and the vector graph, kept apart from GL so
// that it can be checked anywhere: how an image is sized for the GL texture
// (quads, 1-D or 2-D texture, the doubling of narrow images, powers of two,
// the context's size limit), the palette image of a grid with its "no data"
// cells, the orientation of cell indices, the cursor cell's geometry, and the
// points of a vector grid.
//
// No data. A hole in the grid (a NaN, see aglFilter.h) becomes a transparent
// texel: alpha 0, drawn with an alpha test, so whatever lies behind the
// image shows through: the axes' floor wall in the viewer's image map, or the
// background. Palette entry 0 is a real value and
// every grey is in some built-in ramp, so no opaque colour could say "no
// data" unambiguously. The hole's red, green and blue copy a finite
// neighbour, so that linear filtering does not draw a dark fringe around it.
//
// Pure functions and plain data; any thread.
#pragma once

#include <cstdint>
#include <vector>

class aglPalette;

// How an nx x ny image is drawn.
struct aglImagePlan {
    bool texture = false;      // false: coloured quads, one per cell
    bool oneD = false;         // a single row or column: a 1-D texture
    int repeatX = 1;           // each cell repeated this often along x (narrow images)
    int repeatY = 1;           //   ... and along y
    int width = 0, height = 0; // texture size in texels (height 1 for 1-D)
    // The repeated image (nx x repeatX by ny x repeatY) must be resampled
    // to width x height.
    bool resample = false;
};

// Smallest power of two at or above n (1 for n < 1).
int aglNextPowerOfTwo(int n);

// The plan for an nx x ny image: quads when it has fewer than 1024 cells and
// the filter is off; otherwise a texture. A single row or column is a 1-D
// texture of length max(nx, ny) (decided before any doubling). An axis
// narrower than 32 texels is doubled until it is not; then each axis is
// raised to the next power of two and limited to maxTexture (the context's
// GL_MAX_TEXTURE_SIZE, itself a power of two), so a huge grid is scaled down
// to what the context can hold instead of failing to upload.
aglImagePlan aglPlanImage(int nx, int ny, bool filter, int maxTexture);

// The palette image of a grid: nx x ny RGBA texels, row by row, texel (i, j)
// the palette colour of height (i, j) with alpha 255, or a transparent
// "no data" texel for a hole. Returns the number of holes.
int64_t aglBuildImage(const float* heights, int nx, int ny, const aglPalette& palette,
                      std::vector<uint8_t>& rgba);

// Repeats every texel rx times along x and ry times along y.
void aglRepeatImage(const std::vector<uint8_t>& in, int nx, int ny, int rx, int ry,
                    std::vector<uint8_t>& out);

// The grid indices drawn at cell position (i, j) under an orientation:
// 0 identity, 1 mirrored in x, 2 mirrored in y, 3 both.
inline void aglOrientCell(int orientation, int nx, int ny, int i, int j, int* io, int* jo) {
    *io = (orientation == 1 || orientation == 3) ? nx - 1 - i : i;
    *jo = (orientation == 2 || orientation == 3) ? ny - 1 - j : j;
}

// Texture coordinates of the corners (0, 0), (X, 0), (X, Y), (0, Y) of the
// image quad: s runs along x and t along y, reversed by the orientation.
// For a 1-D texture of a single column, s runs along y instead.
void aglImageTexCoords(int orientation, bool oneDColumn, float st[4][2]);

// The cursor cell of the image map: centre, half-sizes of the cell rectangle
// and half-size of the squares above and below it.
struct aglCursorCell {
    bool inside = false;
    float x = 0, y = 0;   // centre
    float hx = 0, hy = 0; // half-sizes of the cell, at least m
    float m = 0;          // 0.05 x max(XScale, YScale)
};
// yIndex, xIndex: data indices; the strides turn them into grid cells. The
// cell is mirrored for the orientation like the pick codes.
aglCursorCell aglComputeCursorCell(int nx, int ny, int yIndex, int xIndex, int yStride, int xStride,
                                   int orientation, float xScale, float yScale);

// The points of a vector grid: one per row of `components` values. One
// component gives (c0, 0, 0), two (c0, c1, 0), three or more (c0, c1, c2).
// A point with a non-finite component among those it uses (or the fourth,
// when colours come from it) is skipped and breaks the line: `runs` receives
// (first point, count) of each unbroken run, in points of `xyz`. `w`
// receives the fourth component of each kept point (when components >= 4).
struct aglVectorPoints {
    std::vector<float> xyz;  // 3 per kept point
    std::vector<float> w;    // 1 per kept point, or empty
    std::vector<int> source; // the grid row of each kept point
    struct Run {
        int first, count;
    };
    std::vector<Run> runs;
};
void aglBuildVectorPoints(const float* grid, int points, int components, aglVectorPoints& out);

// The cursor point of the vector graph: the first three components of point
// k (missing ones 0, negative ones 0, each limited to the box extent).
// False when k is not a point of the grid.
bool aglVectorCursorPoint(const float* grid, int points, int components, int k,
                          const float extent[3], float p[3]);
