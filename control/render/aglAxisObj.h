// aglAxisObj: the frame around the graph box: axis lines or background walls,
// tick marks, tick numbers and axis titles.
//
// The pipeline creates one with the engine and adds it to the scene after the
// camera, so it is drawn through the camera's matrices in graph-box units:
// the box spans 0..X, 0..Y, 0..Z (SetExtents, from XScale, YScale, ZScale).
// What the numbers say comes from the axis recompute step
// (agl::recomputeAxes in control/data/aglAxisTicks.h), applied with ApplyLayout
// or the per-axis setters.
//
// Styles (AxisStyle): 0 draws three axis lines from the origin with ticks,
// numbers and titles; 1..20 draw the walls of the box that meet the axes:
// k and k + 10 share the switches of k (fill for 1..5; grid lines on all
// three walls for 1 and 6, on the x grid only for 2 and 7, y for 3 and 8, z
// for 4 and 9, none for 5 and 10). Any other style draws nothing. In the
// fixed views (and orthographic views along an axis) the axis that runs
// along the line of sight is dropped.
//
// Threads: setters run on the host's thread (under the scene lock or with the
// render thread paused) and only store values; Render, and the fonts' display
// lists, belong to the render thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "aglAxisTicks.h"
#include "aglFont.h"
#include "aglObj.h"

class aglSegment;

class aglAxisObj : public aglObj {
public:
    static constexpr int kDefaultStyle = 5;
    static constexpr int kLastStyle = 20;

    aglAxisObj();
    ~aglAxisObj() override;

    void Render(RenderMode mode) override;
    void FontsInUse(std::vector<aglFontRequest>& fonts) const override;

    // The graph box in box units; non-finite or negative extents are ignored.
    void SetExtents(float x, float y, float z);
    void SetStyle(int style);
    int Style() const { return m_style; }
    void SetShowTicks(bool on);
    void SetShowNumbers(bool on);
    void SetShowTitles(bool on);
    // a = 0, 1, 2; n in 0..500, anything else is ignored.
    void SetMajorTicks(int a, int n);
    void SetMinorTicks(int a, int n);
    // Value at the first tick, value step, printf format (cut to 31 characters).
    void SetNumbers(int a, float first, float step, const std::string& format);
    // Where the first and the last major tick sit along the axis, as
    // fractions of its extent (0 and 1 by default).
    void SetTickSpan(int a, float startFraction, float endFraction);
    // All of one axis's numbers at once (counts, first, step, format, span).
    void SetAxisNumbers(int a, const agl::AxisNumbers& numbers);
    // Everything the recompute step decided: per-axis numbers, what is shown,
    // and the font heights.
    void ApplyLayout(const agl::AxisLayout& layout);
    void SetNumberColour(int a, float r, float g, float b);
    void SetTitleColour(int a, float r, float g, float b);
    void SetBackColour(float r, float g, float b);
    void SetTitle(int a, const std::string& text); // cut to 63 characters
    const std::string& Title(int a) const;
    // The axis-scale array of axis a (a one-dimensional segment whose
    // elements are the coordinates of the indices), or null for none.
    void SetAxisScale(int a, std::shared_ptr<const aglSegment> scale);
    // FALSE for image maps: ticks at cell centres rather than on the edges.
    void SetTicksOnEdges(bool on);
    // Number of cells along axis a when ticks are not on the edges (the
    // image map's columns or rows in the region shown); 0 when unknown.
    void SetCellCount(int a, int64_t cells);

    // Fonts. A height of 0 means the default (12 for numbers, 16 for titles).
    void SetNumberFontSize(int height);
    void SetTitleFontSize(int height);
    void SetNumberFontByName(const std::string& face, int height, int weight, bool italic,
                             bool underline = false, bool strikeOut = false);
    void SetTitleFontByName(const std::string& face, int height, int weight, bool italic,
                            bool underline = false, bool strikeOut = false);
    // The faces the next fonts are made with (tests and export).
    const std::string& NumberFontFace() const { return m_numberRequest.face; }
    const std::string& TitleFontFace() const { return m_titleRequest.face; }

    // Colours as the control's properties read them.
    const float* NumberColour(int a) const { return m_numberColour[clampAxis(a)]; }
    const float* TitleColour(int a) const { return m_titleColour[clampAxis(a)]; }
    const float* BackColour() const { return m_backColour; }

    // The number strings of axis a as they are drawn (made on demand). Any
    // thread while the render thread is paused; used by tests and export.
    std::vector<std::string> NumberStrings(int a) const;
    // Box-unit position along axis a of major tick k (0..n-1).
    float TickPosition(int a, int k) const;

    // Which axes a frame seen from this camera draws, and the directions
    // numbers are pushed in (before scaling by extent / 20). Pure: exposed for
    // tests of the dropping rule.
    struct Visibility {
        bool drawn[3] = {true, true, true};
        float direction[3][3] = {};
        bool fixedView = false;
    };
    static Visibility VisibilityFor(int viewType, bool orthographic, float elevation, float azimuth,
                                    const float lastZDirection[3]);

    // A text's place in the window (pixels, y up, before it is moved inside
    // the viewport).
    struct TextBox {
        double left, bottom, right, top;
    };
    // The boxes of the titles and numbers the last frame drew, titles first.
    // Render thread, or while it is stopped or paused.
    const std::vector<TextBox>& DrawnTextBoxes() const { return m_drawnBoxes; }

private:
    struct Axis {
        int major = 10;
        int minor = 2;
        float first = 0.0f;
        float step = 1.0f;
        float startFraction = 0.0f;
        float endFraction = 1.0f;
        int64_t scaleBase = 0;
        int64_t cells = 0;
        std::string format = "%d";
        std::vector<std::string> numbers; // made lazily
        std::shared_ptr<const aglSegment> scale;
        std::string title;
    };
    // A font request and the height a size of 0 stands for.
    struct FontRequest : aglFontRequest {
        FontRequest() : aglFontRequest{"Times New Roman", 16} {}
        int autoHeight = 12;
    };

    static int clampAxis(int a) { return a < 0 ? 0 : a > 2 ? 2 : a; }
    static bool validAxis(int a) { return a >= 0 && a <= 2; }
    float extent(int a) const { return m_extent[a]; }
    void minorPositions(int a, std::vector<float>& out) const;
    void buildFonts();
    void setFont(FontRequest& request, const FontRequest& next);
    static FontRequest named(const FontRequest& request, const std::string& face, int height,
                             int weight, bool italic, bool underline, bool strikeOut);
    void drawAxisLines(const Visibility& v, RenderMode mode);
    // The box walls of styles 1..20: which walls this view shows, whether
    // they are filled and which axes carry grid lines, and the box's size.
    struct Walls {
        bool fill = false;
        bool grid[3] = {};
        bool floor = false, xz = false, yz = false;
        float X = 1.0f, Y = 1.0f, Z = 1.0f;
    };
    Walls wallsFor(const Visibility& v) const;
    void drawWalls(const Visibility& v, float azimuth);
    void fillWalls(const Visibility& v, const Walls& w, float azimuth);
    void outlineWalls(const Walls& w);
    void drawWallTicks(const Visibility& v, const Walls& w);
    // The tick and grid lines of axis a at position p: scale is 1 for majors
    // and 0.5 for minors; gridOnly draws the grid lines alone. Inside
    // glBegin(GL_LINES).
    void wallTickLines(const Visibility& v, const Walls& w, int a, float p, float scale,
                       bool gridOnly) const;
    // base: where each axis's numbers and title start from (the line its
    // ticks are on).
    void drawNumbersAndTitles(const Visibility& v, const float base[3][3]);
    // Draws text anchored at (x, y, z). With `taken`, text whose box would
    // overlap one of those boxes is not drawn, and a drawn text's box is
    // added. False when nothing was drawn.
    bool drawText(aglFont* font, float x, float y, float z, const std::string& text, bool centred,
                  std::vector<TextBox>* taken = nullptr);

    int m_style = kDefaultStyle;
    float m_extent[3] = {1.0f, 1.0f, 1.0f};
    bool m_showTicks = true, m_showNumbers = true, m_showTitles = true;
    Axis m_axis[3];
    float m_numberColour[3][4];
    float m_titleColour[3][3];
    float m_backColour[3] = {0.8f, 0.8f, 0.8f};
    bool m_ticksOnEdges = true;
    FontRequest m_numberRequest, m_titleRequest;
    std::unique_ptr<aglFont> m_numberFont, m_titleFont;
    bool m_fontRebuild = true;
    float m_lastZDirection[3] = {-4.0f, 0.0f, 0.0f};
    std::vector<TextBox> m_drawnBoxes;
};
