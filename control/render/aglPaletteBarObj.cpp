#include "aglPaletteBarObj.h"

#include "aglFont.h"
#include "aglGL.h"
#include "aglRenderContext.h"

#include <algorithm>
#include <cmath>

aglPaletteBarObj::aglPaletteBarObj() {
    SetPickId(kPickId);
    m_cursorValue = Minimum() + 0.7f;
}

aglPaletteBarObj::~aglPaletteBarObj() {
    if (m_textureList == 0) return;
    if (m_context && !m_context->IsRenderThread())
        m_context->DeleteListsLater(m_textureList, 1);
    else
        glDeleteLists(m_textureList, 1);
}

void aglPaletteBarObj::PaletteChanged() {
    m_labelsValid = false;
    m_textureReload = true;
    Invalidate();
}

void aglPaletteBarObj::LockTable() {
    if (m_context) m_context->Lock();
}

void aglPaletteBarObj::UnlockTable() {
    if (m_context) m_context->Unlock();
}

void aglPaletteBarObj::SetArea(int left, int top, int right, int bottom) {
    m_left = left;
    m_top = top;
    m_right = right;
    m_bottom = bottom;
    Invalidate();
}

void aglPaletteBarObj::GetArea(int* left, int* top, int* right, int* bottom) const {
    *left = m_left;
    *top = m_top;
    *right = m_right;
    *bottom = m_bottom;
}

void aglPaletteBarObj::SetLabelKind(int kind) {
    if (kind == m_labelKind) return;
    m_labelKind = kind;
    m_labelsValid = false;
    Invalidate();
}

void aglPaletteBarObj::SetShowLabels(bool on) {
    m_showLabels = on;
    Invalidate();
}

void aglPaletteBarObj::FontsInUse(std::vector<aglFontRequest>& fonts) const {
    fonts.push_back(m_labelFont);
}

void aglPaletteBarObj::SetLabelFontByName(const std::string& face, int height, int weight,
                                          bool italic, bool underline, bool strikeOut) {
    const aglFontRequest next{
        face.substr(0, 31), height > 0 ? height : 12, weight, italic, underline, strikeOut};
    // Unchanged, the font and its lists stay.
    if (next == m_labelFont) return;
    m_labelFont = next;
    m_fontRebuild = true;
    fontsChanged();
    Invalidate();
}

const std::vector<aglPalette::BarLabel>& aglPaletteBarObj::Labels(int maxCount) {
    if (!m_labelsValid || maxCount != m_labelsMaxCount) {
        m_labels = MakeLabels(m_labelKind, maxCount);
        m_labelsMaxCount = maxCount;
        m_labelsValid = true;
    }
    return m_labels;
}

aglPaletteBarObj::Layout aglPaletteBarObj::LayoutFor(int width, int height, bool showLabels) {
    Layout l;
    l.labels = showLabels && width >= 60 && height >= 90;
    l.left = int(std::floor(0.05 * width));
    l.right = int(std::floor((l.labels ? 0.4 : 0.95) * width));
    l.bottom = int(std::floor(0.05 * height));
    l.top = int(std::floor(0.95 * height));
    return l;
}

void aglPaletteBarObj::compileTexture() {
    if (m_textureList == 0) m_textureList = glGenLists(1);
    if (m_textureList == 0) return;
    glNewList(m_textureList, GL_COMPILE);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA, kEntries, 0, GL_RGBA, GL_UNSIGNED_BYTE, Table());
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEndList();
    m_textureReload = false;
}

void aglPaletteBarObj::BindTexture() {
    if (m_textureReload || m_textureList == 0) compileTexture();
    if (m_textureList != 0) glCallList(m_textureList);
}

void aglPaletteBarObj::loadPickRamp() {
    uint8_t ramp[kTableBytes];
    for (int i = 0; i < kEntries; ++i) {
        ramp[4 * i + 0] = uint8_t(i);
        ramp[4 * i + 1] = 0;
        ramp[4 * i + 2] = uint8_t(64 * PickId());
        ramp[4 * i + 3] = 255;
    }
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA, kEntries, 0, GL_RGBA, GL_UNSIGNED_BYTE, ramp);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    m_textureReload = true;
}

void aglPaletteBarObj::Render(RenderMode mode) {
    if (!m_visible) {
        aglObj::Render(mode);
        return;
    }
    const int width = std::max(1, m_right - m_left);
    const int height = std::max(1, m_top - m_bottom);
    glViewport(m_left, m_bottom, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);

    const Layout l = LayoutFor(width, height, m_showLabels);
    m_lastBar[0] = l.left;
    m_lastBar[1] = l.top;
    m_lastBar[2] = l.right;
    m_lastBar[3] = l.bottom;

    if (mode == RenderMode::Pick)
        loadPickRamp();
    else if (mode != RenderMode::MetaFile)
        BindTexture();

    // The colour bar: one quad per entry, bottom to top. In a pick frame the
    // entries carry the pick ramp's code so a pick tells the entry.
    const float s = float(l.top - l.bottom) / float(kEntries);
    const uint8_t* table = Table();
    glBegin(GL_QUADS);
    for (int k = 0; k < kEntries; ++k) {
        if (mode == RenderMode::Pick)
            glColor3ub(uint8_t(k), 0, uint8_t(64 * PickId()));
        else
            glColor3ub(table[4 * k], table[4 * k + 1], table[4 * k + 2]);
        const float y0 = float(l.bottom) + float(k) * s, y1 = y0 + s;
        glVertex2f(float(l.left), y0);
        glVertex2f(float(l.right), y0);
        glVertex2f(float(l.right), y1);
        glVertex2f(float(l.left), y1);
    }
    glEnd();
    if (mode == RenderMode::Pick) {
        glEnable(GL_DEPTH_TEST);
        return;
    }

    // Lines at pixel centres, so that the one-pixel frame is crisp.
    glColor3f(0, 0, 0);
    glBegin(GL_LINE_LOOP);
    glVertex2f(l.left + 0.5f, l.bottom + 0.5f);
    glVertex2f(l.right + 0.5f, l.bottom + 0.5f);
    glVertex2f(l.right + 0.5f, l.top + 0.5f);
    glVertex2f(l.left + 0.5f, l.top + 0.5f);
    glEnd();

    if (l.labels) {
        // A tick at each round value, from the bar's right edge outward, and
        // its number beside it, centred on the tick.
        const int tickEnd = l.right + int(std::floor(0.1 * width));
        if (m_fontRebuild || !m_font) {
            m_font = std::make_unique<aglFont>(m_labelFont, m_context);
            m_fontRebuild = false;
        }
        // As many labels as fit with half a line between two of them.
        const int spacing = std::max(1, m_font->CharHeight() * 3 / 2);
        const int fit = (l.top - l.bottom) / spacing + 1;
        const std::vector<BarLabel>& labels = Labels(std::clamp(fit, 2, kLabelCount));
        const auto tickY = [&](const BarLabel& b) {
            return l.bottom + int(std::lround(b.fraction * double(l.top - l.bottom)));
        };
        glBegin(GL_LINES);
        for (const BarLabel& b : labels) {
            const int y = tickY(b);
            glVertex2f(l.right + 0.5f, y + 0.5f);
            glVertex2f(tickEnd + 0.5f, y + 0.5f);
        }
        glEnd();

        const float f = float(m_font->CharHeight()) / 3.0f;
        const int x = tickEnd + int(std::floor(0.05 * width));
        for (const BarLabel& b : labels)
            m_font->DrawText(float(x), float(tickY(b)) - std::trunc(f), 0.0f, b.text.c_str());
    }
    glEnable(GL_DEPTH_TEST);
    aglObj::Render(mode);
}

void aglPaletteBarObj::DrawMarker(aglFrameGraph&) {
    if (!m_visible || !m_markerShown) return;
    const int width = std::max(1, m_right - m_left);
    const int height = std::max(1, m_top - m_bottom);
    glViewport(m_left, m_bottom, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);

    const Layout l = LayoutFor(width, height, m_showLabels);
    const int s = int(std::floor(0.05 * width));
    const float minimum = Minimum(), maximum = Maximum(), value = m_cursorValue.load();
    int y;
    if (std::isnan(value) || value < minimum)
        y = l.bottom;
    else if (value > maximum || maximum - minimum < 0.0001f)
        y = l.top;
    else
        y = l.bottom +
            int(std::floor((value - minimum) / (maximum - minimum) * float(l.top - l.bottom)));

    glLineWidth(2.0f);
    glColor3f(0, 0, 0);
    const float L = float(l.left), R = float(l.right + 1), Y = float(y), S = float(s);
    glBegin(GL_LINES);
    glVertex2f(L - S, Y - S);
    glVertex2f(L, Y);
    glVertex2f(L - S, Y + S);
    glVertex2f(L, Y);
    glVertex2f(L, Y);
    glVertex2f(R, Y);
    glVertex2f(R + S, Y - S);
    glVertex2f(R, Y);
    glVertex2f(R, Y);
    glVertex2f(R + S, Y + S);
    glEnd();
    glEnable(GL_DEPTH_TEST);
    glLineWidth(1.0f);
}
