#include "aglObj.h"

#include "aglGL.h"
#include "aglRenderContext.h"

void aglObj::Render(RenderMode mode) {
    if (mode == RenderMode::Normal) ClearChanged();
}

void aglObj::fontsChanged() {
    if (m_context) m_context->PrepareFonts(*this);
}

void aglObj::Invalidate() {
    m_changed.store(true, std::memory_order_release);
}

void aglObj::SetPosition(float x, float y, float z) {
    m_position[0] = x;
    m_position[1] = y;
    m_position[2] = z;
    Invalidate();
}

void aglObj::GetPosition(float* x, float* y, float* z) const {
    if (x) *x = m_position[0];
    if (y) *y = m_position[1];
    if (z) *z = m_position[2];
}

void aglObj::SetVisible(bool visible) {
    m_visible = visible;
    Invalidate();
}

void aglObj::SetColor(float r, float g, float b) {
    m_color[0] = r;
    m_color[1] = g;
    m_color[2] = b;
    Invalidate();
}

void aglObj::SetLineWidth(float width) {
    m_lineWidth = width;
    Invalidate();
}

void aglObj::SetPointSize(float size) {
    m_pointSize = size;
    Invalidate();
}

void aglObj::BeginLineSmoothing() {
    if (!m_context || !m_context->LineSmooth()) return;
    glEnable(GL_BLEND);
    glEnable(GL_LINE_SMOOTH);
    m_lineSmoothingActive = true;
}

void aglObj::EndLineSmoothing() {
    if (!m_lineSmoothingActive) return;
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_BLEND);
    m_lineSmoothingActive = false;
}
