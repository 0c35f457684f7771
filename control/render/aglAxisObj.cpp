#include "aglAxisObj.h"

#include "aglFont.h"
#include "aglGL.h"
#include "aglRenderContext.h"
#include "aglSegment.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kDegToRad = 0.0174532924f;

bool near(float angle, float target) {
    return std::fabs(angle - target) <= 0.5f;
}

} // namespace

aglAxisObj::aglAxisObj() {
    m_lineWidth = 2.0f;
    m_color[0] = m_color[1] = m_color[2] = 0.6f;
    const char* titles[3] = {"X", "Y", "Z"};
    for (int a = 0; a < 3; ++a) {
        for (int c = 0; c < 3; ++c) {
            m_numberColour[a][c] = 0.3f;
            m_titleColour[a][c] = 0.3f;
        }
        m_numberColour[a][3] = 1.0f;
        m_axis[a].title = titles[a];
    }
    m_numberRequest.height = 16;
    m_numberRequest.autoHeight = 12;
    m_numberRequest.weight = 400;
    m_titleRequest.height = 16;
    m_titleRequest.autoHeight = 16;
    m_titleRequest.weight = 700;
}

aglAxisObj::~aglAxisObj() = default;

// --- setters -----------------------------------------------------------------

void aglAxisObj::SetExtents(float x, float y, float z) {
    const float e[3] = {x, y, z};
    for (int a = 0; a < 3; ++a)
        if (std::isfinite(e[a]) && e[a] >= 0.0f) m_extent[a] = e[a];
    Invalidate();
}

void aglAxisObj::SetStyle(int style) {
    m_style = style;
    Invalidate();
}

void aglAxisObj::SetShowTicks(bool on) {
    m_showTicks = on;
    Invalidate();
}

void aglAxisObj::SetShowNumbers(bool on) {
    m_showNumbers = on;
    Invalidate();
}

void aglAxisObj::SetShowTitles(bool on) {
    m_showTitles = on;
    Invalidate();
}

void aglAxisObj::SetMajorTicks(int a, int n) {
    if (!validAxis(a) || n < 0 || n > agl::kMaxTickCount) return;
    m_axis[a].major = n;
    Invalidate();
}

void aglAxisObj::SetMinorTicks(int a, int n) {
    if (!validAxis(a) || n < 0 || n > agl::kMaxTickCount) return;
    m_axis[a].minor = n;
    Invalidate();
}

void aglAxisObj::SetNumbers(int a, float first, float step, const std::string& format) {
    if (!validAxis(a)) return;
    m_axis[a].first = std::isfinite(first) ? first : 0.0f;
    m_axis[a].step = std::isfinite(step) ? step : 1.0f;
    m_axis[a].format = format.substr(0, agl::kMaxNumberFormat);
    Invalidate();
}

void aglAxisObj::SetTickSpan(int a, float startFraction, float endFraction) {
    if (!validAxis(a) || !std::isfinite(startFraction) || !std::isfinite(endFraction)) return;
    m_axis[a].startFraction = std::clamp(startFraction, 0.0f, 1.0f);
    m_axis[a].endFraction = std::clamp(endFraction, 0.0f, 1.0f);
    Invalidate();
}

void aglAxisObj::SetAxisNumbers(int a, const agl::AxisNumbers& n) {
    if (!validAxis(a)) return;
    SetMajorTicks(a, std::clamp(n.major, 0, agl::kMaxTickCount));
    SetMinorTicks(a, std::clamp(n.minor, 0, agl::kMaxTickCount));
    SetNumbers(a, float(n.first), float(n.step), n.format);
    SetTickSpan(a, float(n.startFraction), float(n.endFraction));
    m_axis[a].scaleBase = n.scaleBase;
}

void aglAxisObj::ApplyLayout(const agl::AxisLayout& layout) {
    for (int a = 0; a < 3; ++a)
        SetAxisNumbers(a, layout.axis[a]);
    SetShowTicks(layout.showTicks);
    SetShowNumbers(layout.showNumbers);
    SetShowTitles(layout.showTitles);
    SetNumberFontSize(layout.numberFontHeight);
    SetTitleFontSize(layout.titleFontHeight);
}

void aglAxisObj::SetNumberColour(int a, float r, float g, float b) {
    if (!validAxis(a)) return;
    m_numberColour[a][0] = r;
    m_numberColour[a][1] = g;
    m_numberColour[a][2] = b;
    Invalidate();
}

void aglAxisObj::SetTitleColour(int a, float r, float g, float b) {
    if (!validAxis(a)) return;
    m_titleColour[a][0] = r;
    m_titleColour[a][1] = g;
    m_titleColour[a][2] = b;
    Invalidate();
}

void aglAxisObj::SetBackColour(float r, float g, float b) {
    m_backColour[0] = r;
    m_backColour[1] = g;
    m_backColour[2] = b;
}

void aglAxisObj::SetTitle(int a, const std::string& text) {
    if (!validAxis(a)) return;
    m_axis[a].title = text.substr(0, agl::kMaxAxisTitle);
    Invalidate();
}

const std::string& aglAxisObj::Title(int a) const {
    return m_axis[clampAxis(a)].title;
}

void aglAxisObj::SetAxisScale(int a, std::shared_ptr<const aglSegment> scale) {
    if (!validAxis(a)) return;
    m_axis[a].scale = std::move(scale);
    Invalidate();
}

void aglAxisObj::SetTicksOnEdges(bool on) {
    m_ticksOnEdges = on;
    Invalidate();
}

void aglAxisObj::SetCellCount(int a, int64_t cells) {
    if (!validAxis(a)) return;
    m_axis[a].cells = std::max<int64_t>(cells, 0);
    Invalidate();
}

// A font is made again only when what it asks for changed: every layout
// sets the sizes again, and a new font costs the render thread its lists.
void aglAxisObj::setFont(FontRequest& request, const FontRequest& next) {
    if (next == request) return;
    request = next;
    m_fontRebuild = true;
    fontsChanged();
    Invalidate();
}

void aglAxisObj::SetNumberFontSize(int height) {
    FontRequest next = m_numberRequest;
    next.height = height > 0 ? height : m_numberRequest.autoHeight;
    setFont(m_numberRequest, next);
}

void aglAxisObj::SetTitleFontSize(int height) {
    FontRequest next = m_titleRequest;
    next.height = height > 0 ? height : m_titleRequest.autoHeight;
    setFont(m_titleRequest, next);
}

// A font request that takes the name, size and style given (a height of 0: the
// request's own default) and keeps the rest.
aglAxisObj::FontRequest aglAxisObj::named(const FontRequest& request, const std::string& face,
                                          int height, int weight, bool italic, bool underline,
                                          bool strikeOut) {
    FontRequest next = request;
    next.face = face.substr(0, 31);
    next.height = height > 0 ? height : request.autoHeight;
    next.weight = weight;
    next.italic = italic;
    next.underline = underline;
    next.strikeOut = strikeOut;
    return next;
}

void aglAxisObj::SetNumberFontByName(const std::string& face, int height, int weight, bool italic,
                                     bool underline, bool strikeOut) {
    setFont(m_numberRequest,
            named(m_numberRequest, face, height, weight, italic, underline, strikeOut));
}

void aglAxisObj::SetTitleFontByName(const std::string& face, int height, int weight, bool italic,
                                    bool underline, bool strikeOut) {
    setFont(m_titleRequest,
            named(m_titleRequest, face, height, weight, italic, underline, strikeOut));
}

// --- geometry ------------------------------------------------------------------

std::vector<std::string> aglAxisObj::NumberStrings(int a) const {
    const Axis& x = m_axis[clampAxis(a)];
    return agl::makeAxisNumbers(x.first, x.step, x.major, x.format, x.scale.get(), x.scaleBase);
}

float aglAxisObj::TickPosition(int a, int k) const {
    const Axis& x = m_axis[clampAxis(a)];
    const float E = m_extent[clampAxis(a)];
    const int n = x.major;
    // Fraction of the tick span at which tick k sits.
    const float t = n < 2 ? 0.0f : float(k) / float(n - 1);
    const float f = x.startFraction + (x.endFraction - x.startFraction) * t;
    if (m_ticksOnEdges) return E * f;
    if (x.cells >= 1) {
        // Cell centres: the span runs from the centre of the first cell to
        // the centre of the last.
        const float c = float(x.cells);
        return E * (f * (c - 1.0f) + 0.5f) / c;
    }
    // Without a cell count: n equal slices, ticks in their middles.
    const float step = n >= 1 ? E / float(n) : E;
    return step * 0.5f + step * float(k);
}

void aglAxisObj::minorPositions(int a, std::vector<float>& out) const {
    out.clear();
    const int n = m_axis[a].major, m = m_axis[a].minor;
    if (m <= 0 || n < 2) return;
    for (int k = 0; k + 1 < n; ++k) {
        const float p0 = TickPosition(a, k), p1 = TickPosition(a, k + 1);
        for (int j = 1; j <= m; ++j)
            out.push_back(p0 + (p1 - p0) * float(j) / float(m + 1));
    }
}

aglAxisObj::Visibility aglAxisObj::VisibilityFor(int viewType, bool orthographic, float elevation,
                                                 float azimuth, const float lastZDirection[3]) {
    Visibility v;
    const float el = std::fabs(elevation), az = std::fabs(azimuth);
    int dropped = -1;
    if (viewType == 2 || (viewType == 0 && orthographic && near(el, 90.0f)))
        dropped = 2;
    else if (viewType == 1 || (viewType == 0 && orthographic && near(az, 90.0f)))
        dropped = 1;
    else if (viewType == 3 ||
             (viewType == 0 && orthographic && (near(az, 0.0f) || near(az, 180.0f))))
        dropped = 0;
    auto set = [&](int a, float x, float y, float z) {
        v.direction[a][0] = x;
        v.direction[a][1] = y;
        v.direction[a][2] = z;
    };
    if (dropped < 0) {
        const float e = el * kDegToRad, r = az * kDegToRad;
        set(0, 0.0f, -std::fabs(std::cos(r)) - 2.0f * std::sin(e), -std::cos(e));
        set(1, -std::fabs(std::sin(r)) - 2.0f * std::sin(e), 0.0f, -std::cos(e));
        set(2, lastZDirection[0], lastZDirection[1], lastZDirection[2]);
        return v;
    }
    v.fixedView = true;
    v.drawn[dropped] = false;
    switch (dropped) {
    case 2:
        set(0, 0, -2, 0);
        set(1, -4, 0, 0);
        break;
    case 1:
        set(0, 0, 0, -2);
        set(2, -4, 0, 0);
        break;
    default:
        set(1, 0, 0, -2);
        set(2, 0, -4, 0);
        break;
    }
    return v;
}

// --- drawing -------------------------------------------------------------------

void aglAxisObj::FontsInUse(std::vector<aglFontRequest>& fonts) const {
    fonts.push_back(m_numberRequest);
    fonts.push_back(m_titleRequest);
}

void aglAxisObj::buildFonts() {
    if (!m_fontRebuild && m_numberFont && m_titleFont) return;
    m_numberFont = std::make_unique<aglFont>(m_numberRequest, m_context);
    m_titleFont = std::make_unique<aglFont>(m_titleRequest, m_context);
    m_fontRebuild = false;
}

bool aglAxisObj::drawText(aglFont* font, float x, float y, float z, const std::string& text,
                          bool centred, std::vector<TextBox>* taken) {
    if (!font || text.empty()) return false;
    // A vector picture takes the text where the screen would draw it: the
    // same placement, overlap and edge rules, handed over as an offset from
    // the anchor (which the capture records as a point).
    const aglCaptureWriter* writer = m_context ? m_context->CaptureWriter() : nullptr;
    const bool capturing = writer && writer->IsCapturing();
    if (!capturing && !font->Build()) return false;
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    // Where the anchor falls in the window: GL's own raster position when it
    // is inside the viewport; otherwise projected here, and then an anchor
    // outside the depth range or behind the eye draws nothing (as an invalid
    // raster position would), while one beside the viewport is still placed.
    GLfloat depthRange[2] = {0.0f, 1.0f};
    glGetFloatv(GL_DEPTH_RANGE, depthRange);
    glDepthRange(0.0, 0.0);
    GLboolean valid = GL_FALSE;
    if (!capturing) {
        glRasterPos3f(x, y, z);
        glGetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    }
    double wx = 0.0, wy = 0.0;
    if (valid) {
        GLfloat at[4] = {};
        glGetFloatv(GL_CURRENT_RASTER_POSITION, at);
        wx = at[0];
        wy = at[1];
    } else {
        GLdouble mv[16], pr[16];
        glGetDoublev(GL_MODELVIEW_MATRIX, mv);
        glGetDoublev(GL_PROJECTION_MATRIX, pr);
        double eye[4], clip[4];
        const double in[4] = {x, y, z, 1.0};
        for (int r = 0; r < 4; ++r)
            eye[r] = mv[r] * in[0] + mv[4 + r] * in[1] + mv[8 + r] * in[2] + mv[12 + r] * in[3];
        for (int r = 0; r < 4; ++r)
            clip[r] =
                pr[r] * eye[0] + pr[4 + r] * eye[1] + pr[8 + r] * eye[2] + pr[12 + r] * eye[3];
        if (!(clip[3] > 0.0) || clip[2] < -clip[3] || clip[2] > clip[3]) {
            glDepthRange(depthRange[0], depthRange[1]);
            return false;
        }
        wx = viewport[0] + (clip[0] / clip[3] + 1.0) * 0.5 * viewport[2];
        wy = viewport[1] + (clip[1] / clip[3] + 1.0) * 0.5 * viewport[3];
        if (!(std::fabs(wx) < 1e6 && std::fabs(wy) < 1e6)) {
            glDepthRange(depthRange[0], depthRange[1]);
            return false;
        }
    }
    const int x0 = int(std::floor(wx)), y0 = int(std::floor(wy));

    int w = 1, h = 1;
    font->TextExtent(text.c_str(), &w, &h);
    // Numbers are centred on their anchor: half the width to the left, a
    // third of the height down (the anchor is then near the middle of the
    // digits). Titles start at theirs.
    int left = x0 - (centred ? w / 2 : 0);
    int baseline = y0 - (centred ? h / 3 : 0);
    const int descent = font->Descent();
    if (taken) {
        // Text over text reads as neither: where an axis runs nearly along
        // the line of sight its numbers crowd together, and two axes' numbers
        // meet at the corner they share. The box is taken from the unrounded
        // anchor, so that the sub-pixel shifts of anti-aliasing passes move
        // all boxes alike and every pass keeps the same texts.
        const double l = wx - (centred ? w / 2 : 0), b = wy - (centred ? h / 3 : 0) - descent;
        const TextBox box{l, b, l + w, b + h};
        // Texts that merely touch read as one ("60708090"): a gap of a
        // quarter of the text's height is kept between them.
        const double gap = std::max(2.0, h / 4.0);
        for (const TextBox& o : *taken)
            if (box.left < o.right + gap && o.left < box.right + gap && box.bottom < o.top &&
                o.bottom < box.top) {
                glDepthRange(depthRange[0], depthRange[1]);
                return false;
            }
        taken->push_back(box);
    }
    // Wide numbers ("1.00e+05") beside an axis near the picture's edge were
    // cut there, or lost when their anchor fell outside: the text is moved
    // inward until all of it is inside the viewport.
    left = std::max(viewport[0], std::min(left, viewport[0] + viewport[2] - w));
    baseline = std::max(viewport[1] + descent,
                        std::min(baseline, viewport[1] + viewport[3] - (h - descent)));

    if (capturing) {
        glDepthRange(depthRange[0], depthRange[1]);
        font->DrawText(x, y, z, text.c_str(), float(left - wx), float(baseline - wy));
        return true;
    }
    if (!valid) {
        // A raster position outside the viewport cannot be set directly in
        // OpenGL 1.1: it is set at the viewport's corner, always valid, and
        // moved from there.
        GLint matrixMode = GL_MODELVIEW;
        glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glRasterPos3f(-1.0f, -1.0f, 0.0f);
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GLenum(matrixMode));
    }
    glDepthRange(depthRange[0], depthRange[1]);
    const int fromX = valid ? x0 : viewport[0], fromY = valid ? y0 : viewport[1];
    // An empty bitmap only moves the raster position.
    if (left != fromX || baseline != fromY)
        glBitmap(0, 0, 0.0f, 0.0f, float(left - fromX), float(baseline - fromY), nullptr);
    std::vector<unsigned char> codes;
    for (unsigned char c : text)
        if (c >= aglFont::kFirstChar && c < aglFont::kFirstChar + aglFont::kCharCount)
            codes.push_back(c);
    glPushAttrib(GL_LIST_BIT);
    glListBase(font->ListBase() - aglFont::kFirstChar);
    glCallLists(GLsizei(codes.size()), GL_UNSIGNED_BYTE, codes.data());
    glPopAttrib();
    return true;
}

void aglAxisObj::Render(RenderMode mode) {
    if (mode == RenderMode::Pick) return;
    m_drawnBoxes.clear();
    if (!m_visible) {
        aglObj::Render(mode);
        return;
    }
    float el = 0.0f, az = 0.0f;
    int viewType = 0;
    bool ortho = false;
    if (m_context) {
        aglCameraObj& cam = m_context->Camera();
        el = cam.Elevation();
        az = cam.Azimuth();
        viewType = cam.ViewType();
        ortho = cam.IsOrthographic();
    }
    const Visibility v = VisibilityFor(viewType, ortho, el, az, m_lastZDirection);
    for (int c = 0; c < 3; ++c)
        m_lastZDirection[c] = v.direction[2][c];

    if (IsChanged())
        for (Axis& x : m_axis)
            x.numbers.clear();

    glDisable(GL_LIGHTING);
    glColor3fv(m_color);
    glLineWidth(m_lineWidth);
    if (m_style == 0)
        drawAxisLines(v, mode);
    else if (m_style >= 1 && m_style <= kLastStyle)
        drawWalls(v, az);

    glLineWidth(1.0f);
    EndLineSmoothing();
    aglObj::Render(mode);
}

void aglAxisObj::drawAxisLines(const Visibility& v, RenderMode) {
    if (!v.fixedView) BeginLineSmoothing();
    glBegin(GL_LINES);
    for (int a = 0; a < 3; ++a) {
        if (!v.drawn[a]) continue;
        float end[3] = {0, 0, 0};
        end[a] = extent(a);
        glVertex3f(0, 0, 0);
        glVertex3fv(end);
    }
    glEnd();

    if (m_showTicks) {
        glLineWidth(std::max(1.0f, m_lineWidth / 2.0f));
        std::vector<float> minors;
        glBegin(GL_LINES);
        for (int a = 0; a < 3; ++a) {
            if (!v.drawn[a]) continue;
            const float E = extent(a);
            // A tick runs from the axis along each of the other two axes.
            auto tick = [&](float p, float length) {
                for (int o = 0; o < 3; ++o) {
                    if (o == a) continue;
                    float from[3] = {0, 0, 0}, to[3] = {0, 0, 0};
                    from[a] = to[a] = p;
                    to[o] = length;
                    glVertex3fv(from);
                    glVertex3fv(to);
                }
            };
            for (int k = 0; k < m_axis[a].major; ++k)
                tick(TickPosition(a, k), E / 20.0f);
            minorPositions(a, minors);
            for (float p : minors)
                tick(p, E / 40.0f);
        }
        glEnd();
        glLineWidth(m_lineWidth);
    }
    EndLineSmoothing();
    const float base[3][3] = {};
    drawNumbersAndTitles(v, base);
}

void aglAxisObj::drawNumbersAndTitles(const Visibility& v, const float base[3][3]) {
    m_drawnBoxes.clear();
    if (!m_showNumbers && !m_showTitles) return;
    buildFonts();
    // Text stays readable in front of the walls and the graph: it is always
    // drawn, and at the nearest depth (its raster positions are set with a
    // zero depth range), so that a graph drawn after the axes leaves it in
    // front too.
    GLint depthFunc = GL_LESS;
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    std::vector<TextBox> taken;
    if (m_showTitles) {
        // Each title just past the end of its axis line. Titles come first:
        // a number that would run into one is left out instead.
        for (int a = 0; a < 3; ++a) {
            if (!v.drawn[a]) continue;
            float p[3] = {base[a][0], base[a][1], base[a][2]};
            p[a] = extent(a) + extent(a) / 20.0f;
            glColor3fv(m_titleColour[a]);
            drawText(m_titleFont.get(), p[0], p[1], p[2], m_axis[a].title, false, &taken);
        }
    }
    if (m_showNumbers) {
        // A number that would cover one drawn before it is left out: the z
        // (value) axis first, then x and y; along an axis from its first tick.
        for (int a : {2, 0, 1}) {
            if (!v.drawn[a]) continue;
            Axis& x = m_axis[a];
            if (x.numbers.empty()) x.numbers = NumberStrings(a);
            const float s = extent(a) / 20.0f;
            const float off[3] = {s * v.direction[a][0], s * v.direction[a][1],
                                  s * v.direction[a][2]};
            glColor4fv(m_numberColour[a]);
            for (int k = 0; k < int(x.numbers.size()); ++k) {
                float p[3] = {base[a][0] + off[0], base[a][1] + off[1], base[a][2] + off[2]};
                p[a] += TickPosition(a, k);
                drawText(m_numberFont.get(), p[0], p[1], p[2], x.numbers[size_t(k)], true, &taken);
            }
        }
    }
    m_drawnBoxes = std::move(taken);
    glColor3fv(m_color);
    glDepthFunc(GLenum(depthFunc));
}

aglAxisObj::Walls aglAxisObj::wallsFor(const Visibility& v) const {
    Walls w;
    // Styles 1..10 and 11..20 draw the same walls; 1..5 fill them. Within
    // each five: 1 grids every axis, 2..4 the x, y or z axis alone, 5 none.
    const int k = (m_style - 1) % 10 + 1;
    w.fill = k <= 5;
    w.grid[0] = k == 1 || k == 6 || k == 2 || k == 7;
    w.grid[1] = k == 1 || k == 6 || k == 3 || k == 8;
    w.grid[2] = k == 1 || k == 6 || k == 4 || k == 9;
    w.X = extent(0);
    w.Y = extent(1);
    w.Z = extent(2);
    w.floor = v.drawn[0] && v.drawn[1];
    w.xz = v.drawn[0] && v.drawn[2];
    w.yz = v.drawn[1] && v.drawn[2];
    return w;
}

void aglAxisObj::drawWalls(const Visibility& v, float azimuth) {
    const Walls w = wallsFor(v);
    if (w.fill) fillWalls(v, w, azimuth);
    if (!v.fixedView) BeginLineSmoothing();
    outlineWalls(w);
    if (m_showTicks) drawWallTicks(v, w);
    EndLineSmoothing();
    // The z ticks stand on the back edge of the x-z wall (or the near edge of
    // the y-z wall when that is the only one): its numbers go there too.
    float base[3][3] = {};
    if (w.xz)
        base[2][1] = w.Y;
    else if (w.yz)
        base[2][0] = w.X;
    drawNumbersAndTitles(v, base);
}

void aglAxisObj::fillWalls(const Visibility& v, const Walls& w, float azimuth) {
    const float X = w.X, Y = w.Y, Z = w.Z;
    // The walls behind the box, seen from the camera's side: the x-z face
    // (at y = Y) while the eye is on the low-y side, the y-z face (at x = X)
    // while it is on the low-x side.
    glColor3fv(m_backColour);
    if (w.floor && v.fixedView) {
        glBegin(GL_POLYGON);
        glNormal3f(0, 0, 1);
        glVertex3f(0, 0, -0.00375f);
        glVertex3f(X + 0.005f, 0, -0.00375f);
        glVertex3f(X + 0.005f, Y + 0.005f, -0.00375f);
        glVertex3f(0, Y + 0.005f, -0.00375f);
        glEnd();
    }
    if (!v.fixedView) glEnable(GL_LIGHTING);
    if (w.xz && (v.fixedView || azimuth > 170.0f || azimuth < 10.0f)) {
        glBegin(GL_POLYGON);
        glNormal3f(0, -1, 0);
        glVertex3f(0, Y + 0.00375f, -0.005f);
        glVertex3f(X + 0.005f, Y + 0.00375f, -0.005f);
        glVertex3f(X + 0.005f, Y + 0.00375f, Z + 0.0025f);
        glVertex3f(0, Y + 0.00375f, Z + 0.0025f);
        glEnd();
    }
    if (w.yz && (v.fixedView || azimuth < -80.0f || azimuth > 80.0f)) {
        glBegin(GL_POLYGON);
        glNormal3f(-1, 0, 0);
        glVertex3f(X + 0.00375f, 0, -0.005f);
        glVertex3f(X + 0.00375f, 0, Z + 0.0025f);
        glVertex3f(X + 0.00375f, Y + 0.005f, Z + 0.0025f);
        glVertex3f(X + 0.00375f, Y + 0.005f, -0.005f);
        glEnd();
    }
    if (!v.fixedView) glDisable(GL_LIGHTING);
    glColor3fv(m_color);
}

void aglAxisObj::outlineWalls(const Walls& w) {
    const float X = w.X, Y = w.Y, Z = w.Z;
    if (w.floor) {
        glBegin(GL_LINE_LOOP);
        glVertex3f(0, 0, -0.0025f);
        glVertex3f(X + 0.0025f, 0, -0.0025f);
        glVertex3f(X + 0.0025f, Y + 0.0025f, -0.0025f);
        glVertex3f(0, Y + 0.0025f, -0.0025f);
        glEnd();
    }
    if (w.xz) {
        glBegin(GL_LINE_LOOP);
        glVertex3f(0, Y + 0.0025f, -0.0025f);
        glVertex3f(X + 0.0025f, Y + 0.0025f, -0.0025f);
        glVertex3f(X + 0.0025f, Y + 0.0025f, Z + 0.0025f);
        glVertex3f(0, Y + 0.0025f, Z + 0.0025f);
        glEnd();
    }
    if (w.yz) {
        glBegin(GL_LINE_LOOP);
        glVertex3f(X + 0.0025f, 0, -0.0025f);
        glVertex3f(X + 0.0025f, 0, Z + 0.0025f);
        glVertex3f(X + 0.0025f, Y + 0.0025f, Z + 0.0025f);
        glVertex3f(X + 0.0025f, Y + 0.0025f, -0.0025f);
        glEnd();
    }
}

void aglAxisObj::wallTickLines(const Visibility& v, const Walls& w, int a, float p, float scale,
                               bool gridOnly) const {
    const float X = w.X, Y = w.Y, Z = w.Z;
    const float t = extent(a) / 20.0f * scale;
    auto line = [](float x0, float y0, float z0, float x1, float y1, float z1) {
        glVertex3f(x0, y0, z0);
        glVertex3f(x1, y1, z1);
    };
    if (a == 0) {
        if (w.floor) {
            if (!gridOnly) line(p, -t, 0, p, 0, 0);
            if (w.grid[0]) line(p, 0, 0, p, Y + 0.0025f, 0);
        } else if (v.drawn[0] && !gridOnly) {
            line(p, 0, -t, p, 0, 0);
        }
        if (w.xz && w.grid[0]) line(p, Y, 0, p, Y, Z);
    } else if (a == 1) {
        if (w.floor) {
            if (!gridOnly) line(-t, p, 0, 0, p, 0);
            if (w.grid[1]) line(0, p, 0, X, p, 0);
        } else if (v.drawn[1] && !gridOnly) {
            line(0, p, -t, 0, p, 0);
        }
        if (w.yz && w.grid[1]) line(X, p, 0, X, p, Z);
    } else {
        if (w.xz) {
            if (!gridOnly) line(-t, Y, p, 0, Y, p);
            if (w.grid[2]) line(0, Y, p, X, Y, p);
        }
        if (w.yz) {
            if (!gridOnly) line(X, -t, p, X, 0, p);
            if (w.grid[2]) line(X, 0, p, X, Y, p);
        }
    }
}

void aglAxisObj::drawWallTicks(const Visibility& v, const Walls& w) {
    const float X = w.X, Y = w.Y;
    glLineWidth(std::max(1.0f, m_lineWidth / 2.0f));
    // Major positions: ticks and solid grid lines.
    std::vector<float> minors;
    glBegin(GL_LINES);
    for (int a = 0; a < 3; ++a) {
        if (!v.drawn[a]) continue;
        for (int i = 0; i < m_axis[a].major; ++i)
            wallTickLines(v, w, a, TickPosition(a, i), 1.0f, false);
    }
    glEnd();
    // Minor positions: short ticks, then dashed grid lines.
    glBegin(GL_LINES);
    for (int a = 0; a < 3; ++a) {
        if (!v.drawn[a]) continue;
        minorPositions(a, minors);
        for (float p : minors) {
            const float t = extent(a) / 40.0f;
            if (a == 0 && w.floor) {
                glVertex3f(p, -t, 0);
                glVertex3f(p, 0, 0);
            } else if (a == 0 && v.drawn[0]) {
                glVertex3f(p, 0, -t);
                glVertex3f(p, 0, 0);
            } else if (a == 1 && w.floor) {
                glVertex3f(-t, p, 0);
                glVertex3f(0, p, 0);
            } else if (a == 1 && v.drawn[1]) {
                glVertex3f(0, p, -t);
                glVertex3f(0, p, 0);
            } else if (a == 2) {
                if (w.xz) {
                    glVertex3f(-t, Y, p);
                    glVertex3f(0, Y, p);
                }
                if (w.yz) {
                    glVertex3f(X, -t, p);
                    glVertex3f(X, 0, p);
                }
            }
        }
    }
    glEnd();
    if (w.grid[0] || w.grid[1] || w.grid[2]) {
        glEnable(GL_LINE_STIPPLE);
        glLineStipple(1, 0xF0F0);
        glBegin(GL_LINES);
        for (int a = 0; a < 3; ++a) {
            if (!v.drawn[a] || !w.grid[a]) continue;
            minorPositions(a, minors);
            for (float p : minors)
                wallTickLines(v, w, a, p, 0.5f, true);
        }
        glEnd();
        glDisable(GL_LINE_STIPPLE);
    }
    glLineWidth(m_lineWidth);
}
