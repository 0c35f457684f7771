// The arithmetic of the height plot, kept apart from GL so that it can be
// checked anywhere: grid spacing, grid-line steps, per-vertex normals, the
// vertex batches of every style (surface strips, mesh lines, bars, points,
// polylines, pick geometry) and the cursor box.
//
// A height grid is nx x ny floats, row by row (y outer, x inner), already in
// graph-box units. Sample (i, j) sits at (i dx, j dy, h(i, j)).
//
// Holes. A non-finite height (the data access turns NaN and infinite source
// values into NaN, see aglFilter.h) is a hole in the plot: no vertex, normal,
// colour or pick code is ever made from it. Surface cells with a hole at one
// of their four corners are left out, line strips are broken at holes, bars
// and points at holes are skipped. Normals next to a hole use the finite
// neighbour on the other side (a one-sided difference) or none.
//
// Pure functions and plain data; any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// A read-only view of one height grid and its spacing.
struct aglHeightGrid {
    int nx = 0;
    int ny = 0;
    const float* heights = nullptr; // nx * ny values, may hold holes (NaN)
    float dx = 1.0f;
    float dy = 1.0f;

    float at(int i, int j) const { return heights[size_t(j) * size_t(nx) + size_t(i)]; }
};

// Spacing of n samples over a box extent: scale / (n - 1), or scale when n < 2.
float aglGridSpacing(float scale, int n);

// Grid-line steps for xLines x yLines lines over an nx x ny grid (values below
// 1 count as 1): column step = floor((nx - 1) / xLines + 0.5), row step
// likewise, each at least 1. fx and fy receive the two quotients.
void aglGridLineSteps(int nx, int ny, int xLines, int yLines, int* columnStep, int* rowStep,
                      float* fx = nullptr, float* fy = nullptr);

// The style a Normal frame draws for GraphStyle `style` on an nx x ny grid: a
// surface (1) on a single row becomes points (4), on a single column lines (3).
int aglDrawStyle(int style, int nx, int ny);
// The style a Pick frame draws: a surface with fewer than 2 samples both ways
// becomes points, with fewer than 2 one way lines.
int aglPickStyle(int style, int nx, int ny);

// Per-vertex normals, 3 floats per sample (nx * ny * 3): the height gradient
// by central differences inside the grid, one-sided at the edges and next to
// holes, 1/dx (1/dy) along a direction with one sample; the normal is
// (-gx, -gy, 1) normalised. A hole's normal is (0, 0, 0). `stop`, when given,
// is polled once per row; the build returns false (normals incomplete) when it
// says true.
bool aglComputeNormals(const aglHeightGrid& grid, std::vector<float>& normals,
                       const std::function<bool()>& stop = {});

// How the vertices of a batch are coloured.
enum class aglVertexColouring {
    None,     // the current colour (GraphColor) for all
    Palette,  // RGB of the palette colour of the vertex's height
    Texture,  // 1-D palette texture coordinate of the height
    PickCode, // the pick colour code of the vertex's sample
};

// Palette lookups the batches need (implemented over aglPalette).
class aglColourSource {
public:
    virtual ~aglColourSource() = default;
    virtual void ColourOfHeight(float height, uint8_t rgb[3]) const = 0;
    virtual float TexCoordOfHeight(float height) const = 0;
};

// Pick colour code of sample (i, j): RGB bytes.
using aglPickEncoder = std::function<void(int i, int j, uint8_t rgb[3])>;

// Vertices with separate attribute arrays, ready for GL client arrays, and
// the ranges drawn as one primitive each (strips or, for lists, one range).
struct aglVertexBatch {
    std::vector<float> positions; // 3 per vertex
    std::vector<float> normals;   // 3 per vertex, or empty
    std::vector<uint8_t> colours; // 4 per vertex (alpha 255), or empty
    std::vector<float> texCoords; // 1 per vertex, or empty
    struct Range {
        int first;
        int count;
    };
    std::vector<Range> ranges;

    int vertexCount() const { return int(positions.size() / 3); }
    void clear();
};

// What a batch builder reads besides the grid. Every pointer may be null.
struct aglBatchInputs {
    const float* normals = nullptr; // from aglComputeNormals (3 per sample)
    aglVertexColouring colouring = aglVertexColouring::None;
    const aglColourSource* colours = nullptr;    // for Palette and Texture
    aglPickEncoder pick;                         // for PickCode
    bool flatShading = false;                    // surface: flat colour per cell
    const std::function<bool()>* stop = nullptr; // polled per row; true = give up
};

// Surface triangle strips, one run per row pair j, j + 1 over the columns,
// with two vertices per column: the upper (i, j + 1) then the lower (i, j).
// A cell with a hole at a corner ends the run (the next run starts after it).
// In flat shading every vertex of column i carries the colour of the mean of
// the cell's four heights (i - 1 .. i, j .. j + 1; column 0 counts its own
// column twice) and the upper vertex's normal, so that GL's last-vertex rule
// colours each cell by its mean. False when `stop` gave up.
bool aglBuildSurface(const aglHeightGrid& grid, const aglBatchInputs& in, aglVertexBatch& out);

// Mesh lines: line strips along every rowStep-th row (along x), then along
// every columnStep-th column (along y), broken at holes.
void aglBuildMeshLines(const aglHeightGrid& grid, int columnStep, int rowStep,
                       const aglBatchInputs& in, aglVertexBatch& out);

// Polylines: one strip per row (alongX) or per column, broken at holes.
// With `lineColourOf` (palette line colours, no per-vertex colouring), strip
// k of the row or column takes lineColourOf(k); k counts rows or columns,
// not the pieces a hole breaks them into.
void aglBuildPolylines(const aglHeightGrid& grid, bool alongX, const aglBatchInputs& in,
                       const std::function<void(int, uint8_t[3])>& lineColourOf,
                       aglVertexBatch& out);

// Which way the polylines run: view type 1 along x (rows), 3 along y
// (columns), otherwise rows when nx >= ny.
bool aglPolylinesAlongX(int viewType, int nx, int ny);

// Points: one range per row, holes skipped.
void aglBuildPoints(const aglHeightGrid& grid, const aglBatchInputs& in, aglVertexBatch& out);

// Bars as independent quads (4 vertices each, one range for all): per finite
// sample a flat square at z = 0 when |h| < 0.005, otherwise a closed box of
// six faces from min(h, 0) to max(h, 0), in the order bottom, front (y - hy),
// right (x + hx), back (y + hy), left (x - hx), top, each with its face
// normal. Half-widths are 0.5 x barArea x dx and 0.5 x barArea x dy.
void aglBuildBars(const aglHeightGrid& grid, float barArea, const aglBatchInputs& in,
                  aglVertexBatch& out);

// The six faces of the box lo..hi as quads whose corners run counter-clockwise
// seen from outside, in the order bottom, front (y = lo), right (x = hi), back
// (y = hi), left (x = lo), top, with their outward normals.
void aglBoxQuads(const float lo[3], const float hi[3], float corners[6][4][3], float normals[6][3]);

// The cursor box (a cell of the data shown by a grid sampled every stride
// elements). Inside is false when the cell lies outside the grid.
struct aglCursorBox {
    bool inside = false;
    float x = 0, y = 0, z = 0;    // centre
    float hx = 0, hy = 0, hz = 0; // half sizes
};
// yIndex, xIndex: data indices within the window; yStride, xStride: the
// grid's sampling steps (at least 1). The centre height is the mean of the
// sample at the cell and, where the index lies between samples, the next
// sample in that direction, each clamped to 0..zScale; holes count as 0.
aglCursorBox aglComputeCursorBox(const aglHeightGrid& grid, int yIndex, int xIndex, int yStride,
                                 int xStride, float xScale, float yScale, float zScale,
                                 bool fixedView);
