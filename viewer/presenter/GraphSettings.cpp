#include "GraphSettings.h"

uint32_t packSettingsWord(const GraphSettings& s) {
    using namespace SettingsWord;
    uint32_t w = 0;
    if (s.lineSmooth) w |= kLineSmooth;
    if (s.showGrid) w |= kShowGrid;
    if (s.flatShading) w |= kFlatShading;
    if (s.highLight) w |= kHighLight;
    if (s.textureMode != plotrane::value(plotrane::TextureMode::Never)) w |= kTextureMode;
    if (s.dataClamp) w |= kDataClamp;
    if (s.lighting) w |= kLighting;
    if (s.useColorPalette) w |= kUseColorPalette;
    if (s.showAxis) w |= kShowAxis;
    if (s.depthcue) w |= kDepthcue;
    if (s.fixedAspect) w |= kFixedAspect;
    return w;
}

void unpackSettingsWord(uint32_t w, GraphSettings& s) {
    using namespace SettingsWord;
    s.lineSmooth = (w & kLineSmooth) != 0;
    s.showGrid = (w & kShowGrid) != 0;
    s.flatShading = (w & kFlatShading) != 0;
    s.highLight = (w & kHighLight) != 0;
    s.textureMode = plotrane::value((w & kTextureMode) ? plotrane::TextureMode::Always
                                                       : plotrane::TextureMode::Never);
    s.dataClamp = (w & kDataClamp) != 0;
    s.lighting = (w & kLighting) != 0;
    s.useColorPalette = (w & kUseColorPalette) != 0;
    s.showAxis = (w & kShowAxis) != 0;
    s.depthcue = (w & kDepthcue) != 0;
    s.fixedAspect = (w & kFixedAspect) != 0;
}
