// aglPaletteBarObj: the colour palette (aglPalette) and its legend, the
// vertical colour bar in a strip at the right edge of the control.
//
// The pipeline creates one per control, adds it first to the scene list and
// hands it to every graph object as their palette: in each frame the bar
// loads the palette as the current 1-D texture (the graph objects drawn after
// it use it) and draws the bar in its own viewport (SetArea, window pixels,
// y up), with a black frame, up to nine ticks labelled with round values, and over a
// finished picture the marker at the cursor's value (DrawMarker).
//
// Threads: setters run on the host's thread and only store values (the
// custom palette switch takes the scene lock, see aglPalette); Render and
// DrawMarker run on the render thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "aglFont.h"
#include "aglFrameHooks.h"
#include "aglObj.h"
#include "aglPalette.h"

class aglPaletteBarObj : public aglObj, public aglPalette, public aglPaletteMarker {
public:
    // The pick identifier the pipeline gives the bar.
    static constexpr int kPickId = 3;

    aglPaletteBarObj();
    ~aglPaletteBarObj() override;

    void Render(RenderMode mode) override;
    void FontsInUse(std::vector<aglFontRequest>& fonts) const override;
    // The marker at the cursor value; drawn by the frame over the picture.
    void DrawMarker(aglFrameGraph& graph) override;

    // Bar area in window pixels, y up.
    void SetArea(int left, int top, int right, int bottom);
    void GetArea(int* left, int* top, int* right, int* bottom) const;
    // Label kind: 2 for floating-point data, anything else integer data.
    void SetLabelKind(int kind);
    int LabelKind() const { return m_labelKind; }
    void SetShowLabels(bool on);
    bool ShowsLabels() const { return m_showLabels; }
    // The label font by face, height (pixels), weight, italic, underline.
    void SetLabelFontByName(const std::string& face, int height, int weight, bool italic = false,
                            bool underline = false, bool strikeOut = false);
    // The value the marker points at (any thread; the render thread reads it).
    void SetCursorValue(float value) { m_cursorValue.store(value); }
    float CursorValue() const { return m_cursorValue.load(); }
    void SetMarkerShown(bool on) { m_markerShown = on; }

    // The labelled ticks as drawn (made on demand), from the bottom up.
    // Render thread, or with the render thread paused.
    const std::vector<BarLabel>& Labels(int maxCount = kLabelCount);

    // The bar rectangle inside an area of width x height pixels (area
    // coordinates), and whether labels fit (at least 60 x 90).
    struct Layout {
        int left = 0, top = 0, right = 0, bottom = 0;
        bool labels = false;
    };
    static Layout LayoutFor(int width, int height, bool showLabels);

    // Loads the palette as the current 1-D texture (from the display list
    // kept for it); graph objects call it when they draw textured. Render
    // thread.
    void BindTexture();

protected:
    void PaletteChanged() override;
    void LockTable() override;
    void UnlockTable() override;

private:
    void compileTexture();
    void loadPickRamp();

    int m_left = 0, m_top = 100, m_right = 100, m_bottom = 0;
    int m_labelKind = kFloatingLabels;
    bool m_showLabels = false;
    bool m_markerShown = true;
    std::atomic<float> m_cursorValue{0.7f};
    std::vector<BarLabel> m_labels;
    bool m_labelsValid = false;
    int m_labelsMaxCount = kLabelCount;
    aglFontRequest m_labelFont{"Times New Roman", 12};
    std::unique_ptr<aglFont> m_font;
    bool m_fontRebuild = true;
    unsigned m_textureList = 0;
    bool m_textureReload = true;
    int m_lastBar[4] = {0, 0, 0, 0}; // bar rectangle of the last frame (area coordinates)
};
