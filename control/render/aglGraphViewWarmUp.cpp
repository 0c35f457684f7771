// The warm-up of a graph view: its kinds of drawing made once from a stand-in
// array before the first data, so that a software GL has built the programs
// for their states when the first frames come.
#include "aglGraphView.h"

#include <cmath>
#include <vector>

#include "aglArray.h"
#include "aglFilter.h"
#include "aglFont.h"
#include "aglHeightPlotObj.h"
#include "aglImageMapObj.h"

namespace {

constexpr int kStandInSize = 16;

// A bump: slopes in every direction for the lighting, a range for the
// palette.
bool fillStandIn(aglArray& array) {
    const int32_t extents[2] = {kStandInSize, kStandInSize};
    const int64_t bytes = int64_t(kStandInSize) * kStandInSize * int64_t(sizeof(float));
    if (!array.allocatePrivate(bytes) || array.reshape(2, extents, AGL_FLOAT) != 0) return false;
    auto* v = static_cast<float*>(array.mutableData());
    if (!v) return false;
    for (int j = 0; j < kStandInSize; ++j)
        for (int i = 0; i < kStandInSize; ++i) {
            const float x = float(i) / (kStandInSize - 1) - 0.5f;
            const float y = float(j) / (kStandInSize - 1) - 0.5f;
            v[j * kStandInSize + i] = 0.5f * std::exp(-8.0f * (x * x + y * y));
        }
    return true;
}

} // namespace

void aglGraphView::warmUp() {
    Context().WarmUp([this](aglRenderContext& context) { return drawWarmUp(context); });
}

bool aglGraphView::drawWarmUp(aglRenderContext& context) {
    aglArray standIn;
    if (!fillStandIn(standIn)) return false;
    aglFilter source(0);
    source.setArray(&standIn);
    source.setComponentCount(0);
    source.setClamp(0, -agl::kDoubleLimit, agl::kDoubleLimit);
    source.setComponentScale(0, 1.0, 0.0);
    source.setMaxSamples(kStandInSize * kStandInSize);
    if (!source.filter(1)) return false;

    // The axes and the palette bar with the fonts of the real ones (ready,
    // or being made, on the font thread), the graphs with the settings of
    // the bound one: the same states the first frames set. What is read of
    // the scene is read under its lock; nothing is drawn under it.
    std::vector<aglFontRequest> axisFonts, barFonts;
    int axisStyle = aglAxisObj::kDefaultStyle;
    aglHeightPlotObj surface;
    aglImageMapObj image;
    aglGraphObj* const graphs[2] = {&surface, &image};
    {
        aglRenderContext::SceneLock lock(context);
        m_axis.FontsInUse(axisFonts);
        m_bar.FontsInUse(barFonts);
        axisStyle = m_axis.Style();
        for (aglGraphObj* graph : graphs)
            graph->copySettingsFrom(boundGraph());
    }
    aglAxisObj axis;
    axis.SetExtents(1.0f, 1.0f, 1.0f);
    axis.SetStyle(axisStyle);
    if (axisFonts.size() == 2) {
        const aglFontRequest& n = axisFonts[0];
        const aglFontRequest& t = axisFonts[1];
        axis.SetNumberFontByName(n.face, n.height, n.weight, n.italic, n.underline, n.strikeOut);
        axis.SetTitleFontByName(t.face, t.height, t.weight, t.italic, t.underline, t.strikeOut);
    }
    aglPaletteBarObj bar;
    bar.SetShowLabels(true);
    bar.SetArea(0, 200, 100, 0);
    if (barFonts.size() == 1) {
        const aglFontRequest& f = barFonts[0];
        bar.SetLabelFontByName(f.face, f.height, f.weight, f.italic, f.underline, f.strikeOut);
    }
    for (aglGraphObj* graph : graphs) {
        graph->SetPalette(&bar);
        graph->SetUseColorPalette(true);
        graph->SetDataSource(&source);
    }
    for (aglObj* o : {static_cast<aglObj*>(&axis), static_cast<aglObj*>(&bar),
                      static_cast<aglObj*>(&surface), static_cast<aglObj*>(&image)})
        context.Adopt(*o);

    // In a frame's order; each step may be the one that builds a program.
    const auto step = [&](aglObj& object, aglGraphObj* graph) {
        if (context.WarmUpShouldStop()) return false;
        Camera().ApplyMatrices();
        if (graph && !graph->LockFrameData(context)) return false;
        object.Render(RenderMode::Normal);
        if (graph) graph->UnlockFrameData();
        return true;
    };
    return step(bar, nullptr) && step(axis, nullptr) && step(surface, &surface) &&
           step(image, &image);
}
