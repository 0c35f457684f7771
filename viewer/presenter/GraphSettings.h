// GraphSettings: the document's display settings of one graph kind, and the
// 32-bit settings word that packs its eleven switches for the settings store
// and the agl file's trailer.
//
// Plain data; any thread.
#pragma once

#include <cstdint>

#include "plotrane/ControlValues.h"

struct GraphSettings {
    int graphStyle = plotrane::value(plotrane::GraphStyle::SurfaceStyle); // GraphStyle
    bool lineSmooth = false;                                              // LineSmooth
    bool showGrid = false;                                                // ShowGrid
    bool flatShading = false; // the control's Shading is 1 when this is false, 0 when true
    bool highLight = false;   // HighLight
    int16_t textureMode = plotrane::value(plotrane::TextureMode::Never); // TextureMode
    bool dataClamp = false;                                              // DataClamp
    bool lighting = false;                                               // Lighting
    bool useColorPalette = false;                                        // UseColorPalette
    bool showAxis = false;                                               // ShowAxis
    bool depthcue = false;                                               // Depthcue
    bool fixedAspect = false;                                            // FixedAspect
    float gridDensity = 15.0f;                                           // GridDensity
};

// Bits of the settings word.
namespace SettingsWord {
constexpr uint32_t kFlatShading = 0x04;
constexpr uint32_t kHighLight = 0x08;
constexpr uint32_t kLineSmooth = 0x10;
constexpr uint32_t kTextureMode = 0x20;
constexpr uint32_t kDepthcue = 0x40;
constexpr uint32_t kShowGrid = 0x80;
constexpr uint32_t kShowAxis = 0x200;
constexpr uint32_t kUseColorPalette = 0x400;
constexpr uint32_t kDataClamp = 0x800;
constexpr uint32_t kFixedAspect = 0x10000;
constexpr uint32_t kLighting = 0x20000;
} // namespace SettingsWord

// Packs the switches of s (style and density are not part of the word). A
// texture mode other than 0 sets its bit.
uint32_t packSettingsWord(const GraphSettings& s);

// Sets every switch of s from word: 1 when its bit is set, 0 otherwise
// (texture mode becomes 1 or 0). Style and density are left as they are;
// unknown bits are ignored.
void unpackSettingsWord(uint32_t word, GraphSettings& s);
