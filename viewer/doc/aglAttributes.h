// aglAttributes: the 328-byte record at the start of an agl file's trailer.
//
// It keeps what the user set up around an array: the grid's number format,
// the graph kind and the per-kind settings, the camera, the cursor, the row
// and column dimensions, the region of interest, clamps, palette range and
// colours, plus the offsets of the other trailer parts (annotation, palette,
// axis scales), counted from the trailer's first byte.
//
// The struct is the file layout: every field sits at its file offset and the
// file is little-endian, so a record is read and written with one memcpy.
// Colours are RGB words (red in the low byte). Plain data; any thread.
#pragma once

#include "aglTypes.h"

#include <bit>
#include <cstddef>
#include <cstdint>

struct aglAttributes {
    int32_t size;          // 328
    int32_t version;       // 100
    uint32_t flags;        // kAttr* below
    int32_t gridPrecision; // digits of the grid's number format
    int16_t graphKind;     // 0 none, 1 height plot, 2 image map, 3 vector, 4 plane view
    uint8_t reserved18[2];
    float surfaceDensity; // height-plot grid density
    int16_t surfaceStyle; // height-plot graph style
    uint8_t reserved26[2];
    uint32_t surfaceSettings; // height-plot settings word
    uint32_t imageSettings;   // image-map settings word
    int16_t imageOrientation; // ImageOrientation
    int16_t vectorStyle;      // vector-graph graph style
    uint32_t vectorSettings;  // vector-graph settings word
    int32_t xComp;            // XComp
    int32_t yComp;            // YComp
    int32_t zComp;            // ZComp
    int32_t wComp;            // WComp
    int16_t planeStyle;       // plane-view graph style
    uint8_t reserved62[2];
    uint32_t planeSettings; // plane-view settings word
    float elevation;        // camera elevation, degrees
    float azimuth;          // camera azimuth, degrees
    float distance;         // camera distance
    uint8_t reserved80[12];
    int32_t row;                    // cursor row (Row)
    int32_t col;                    // cursor column (Col)
    int32_t rowDim;                 // RowDim
    int32_t colDim;                 // ColDim
    int32_t roiLow[agl::kMaxDims];  // region of interest, low index per dimension
    int32_t roiHigh[agl::kMaxDims]; // region of interest, high index per dimension
    float zScale;
    double xMinClamp; // XMinClamp
    double yMinClamp; // YMinClamp
    double zMinClamp; // ZMinClamp
    double xMaxClamp; // XMaxClamp
    double yMaxClamp; // YMaxClamp
    double zMaxClamp; // ZMaxClamp
    uint8_t reserved216[16];
    double paletteMinVal; // PaletteMinVal
    double paletteMaxVal; // PaletteMaxVal
    int16_t paletteId;    // PaletteId
    uint8_t reserved250[2];
    uint32_t backColor;        // BackColor
    uint32_t graphColor;       // GraphColor
    uint32_t gridColor;        // GridColor
    uint32_t cursorColor;      // CursorColor
    uint32_t axisLabelColor;   // AxisLabelColor
    uint32_t axisColor;        // AxisColor
    uint32_t axisBackColor;    // AxisBackColor
    uint32_t annotationOffset; // from the trailer start; 0: no annotation
    uint32_t paletteOffset;    // 0: no palette
    uint8_t reserved288[8];
    uint32_t axisScaleOffset[agl::kMaxDims]; // per dimension; 0: no scale
    uint8_t reserved324[4];

    static constexpr int32_t kSize = 328;
    static constexpr int32_t kVersion = 100;

    // Flag bits.
    static constexpr uint32_t kShowPalette = 0x0001;
    static constexpr uint32_t kShowCursor = 0x0002;
    static constexpr uint32_t kAxisAutoScale = 0x1000;
    static constexpr uint32_t kPaletteAutoAdjust = 0x2000;
    static constexpr uint32_t kGridExponent = 0x4000;

    // A zeroed record with size and version set: what capturing starts from.
    static aglAttributes blank() {
        aglAttributes a{};
        a.size = kSize;
        a.version = kVersion;
        return a;
    }
};

static_assert(std::endian::native == std::endian::little,
              "the record is the little-endian file layout");
static_assert(sizeof(aglAttributes) == 328);
static_assert(alignof(aglAttributes) == 8);
static_assert(offsetof(aglAttributes, version) == 4);
static_assert(offsetof(aglAttributes, flags) == 8);
static_assert(offsetof(aglAttributes, gridPrecision) == 12);
static_assert(offsetof(aglAttributes, graphKind) == 16);
static_assert(offsetof(aglAttributes, surfaceDensity) == 20);
static_assert(offsetof(aglAttributes, surfaceStyle) == 24);
static_assert(offsetof(aglAttributes, surfaceSettings) == 28);
static_assert(offsetof(aglAttributes, imageSettings) == 32);
static_assert(offsetof(aglAttributes, imageOrientation) == 36);
static_assert(offsetof(aglAttributes, vectorStyle) == 38);
static_assert(offsetof(aglAttributes, vectorSettings) == 40);
static_assert(offsetof(aglAttributes, xComp) == 44);
static_assert(offsetof(aglAttributes, yComp) == 48);
static_assert(offsetof(aglAttributes, zComp) == 52);
static_assert(offsetof(aglAttributes, wComp) == 56);
static_assert(offsetof(aglAttributes, planeStyle) == 60);
static_assert(offsetof(aglAttributes, planeSettings) == 64);
static_assert(offsetof(aglAttributes, elevation) == 68);
static_assert(offsetof(aglAttributes, azimuth) == 72);
static_assert(offsetof(aglAttributes, distance) == 76);
static_assert(offsetof(aglAttributes, row) == 92);
static_assert(offsetof(aglAttributes, col) == 96);
static_assert(offsetof(aglAttributes, rowDim) == 100);
static_assert(offsetof(aglAttributes, colDim) == 104);
static_assert(offsetof(aglAttributes, roiLow) == 108);
static_assert(offsetof(aglAttributes, roiHigh) == 136);
static_assert(offsetof(aglAttributes, zScale) == 164);
static_assert(offsetof(aglAttributes, xMinClamp) == 168);
static_assert(offsetof(aglAttributes, yMinClamp) == 176);
static_assert(offsetof(aglAttributes, zMinClamp) == 184);
static_assert(offsetof(aglAttributes, xMaxClamp) == 192);
static_assert(offsetof(aglAttributes, yMaxClamp) == 200);
static_assert(offsetof(aglAttributes, zMaxClamp) == 208);
static_assert(offsetof(aglAttributes, paletteMinVal) == 232);
static_assert(offsetof(aglAttributes, paletteMaxVal) == 240);
static_assert(offsetof(aglAttributes, paletteId) == 248);
static_assert(offsetof(aglAttributes, backColor) == 252);
static_assert(offsetof(aglAttributes, graphColor) == 256);
static_assert(offsetof(aglAttributes, gridColor) == 260);
static_assert(offsetof(aglAttributes, cursorColor) == 264);
static_assert(offsetof(aglAttributes, axisLabelColor) == 268);
static_assert(offsetof(aglAttributes, axisColor) == 272);
static_assert(offsetof(aglAttributes, axisBackColor) == 276);
static_assert(offsetof(aglAttributes, annotationOffset) == 280);
static_assert(offsetof(aglAttributes, paletteOffset) == 284);
static_assert(offsetof(aglAttributes, axisScaleOffset) == 296);
static_assert(offsetof(aglAttributes, reserved324) == 324);
