#include "aglHeightMeshObj.h"

#include <chrono>
#include <thread>

#include "aglFilter.h"
#include "aglGL.h"
#include "aglPalette.h"
#include "aglRenderContext.h"
#include "aglTrace.h"

aglHeightMeshObj::aglHeightMeshObj() : aglGraphObj(true) {
    m_style = kLines;
    m_lighting = false;
    m_depthcue = false;
}

bool aglHeightMeshObj::lockForRender() {
    // Inside a frame the render thread holds the lock already and gets it at
    // once (recursive). Elsewhere a pass may hold it for a while: wait up to
    // half a second, giving up early when the render thread is told to stop.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (!m_source->tryLockData()) {
        if (std::chrono::steady_clock::now() >= deadline ||
            (m_context && m_context->IsRenderThread() && m_context->ShouldStopWaiting()))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void aglHeightMeshObj::Render(RenderMode mode) {
    if (!m_source) return;
    aglObj::Render(mode);
    if (!lockForRender()) {
        ++m_lockFailures;
        aglTrace("RNDR: aglHeightMeshObj::Render() -- LockData returned false, aborting\n");
        return;
    }
    // Points and components as the grid holds them now, under the lock.
    if (readGridSize()) {
        ComputePickShifts();
        Invalidate();
    }
    if (!m_visible || m_nx < 1 || m_ny < 1 || !m_source->grid()) {
        m_source->unlockData();
        return;
    }

    glPushMatrix();
    glTranslatef(m_position[0], m_position[1], m_position[2]);
    if (m_clip) {
        const double X = m_extent[0], Y = m_extent[1], Z = m_extent[2];
        const GLdouble planes[6][4] = {{-1, 0, 0, X}, {1, 0, 0, 0},  {0, -1, 0, Y},
                                       {0, 1, 0, 0},  {0, 0, -1, Z}, {0, 0, 1, 0}};
        for (int k = 0; k < 6; ++k) {
            glClipPlane(GLenum(GL_CLIP_PLANE0 + k), planes[k]);
            glEnable(GLenum(GL_CLIP_PLANE0 + k));
        }
    }

    if (mode != RenderMode::Pick) {
        if (m_lighting) glEnable(GL_LIGHTING);
        if (m_depthcue) {
            const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
            glEnable(GL_FOG);
            glFogi(GL_FOG_MODE, GL_LINEAR);
            glFogf(GL_FOG_START, 2.0f);
            glFogf(GL_FOG_END, 4.0f);
            glFogfv(GL_FOG_COLOR, white);
            glHint(GL_FOG_HINT, GL_DONT_CARE);
        } else {
            glDisable(GL_FOG);
        }
        // Line smoothing changes without Invalidate: it is part of the list's key.
        const int key = m_context && m_context->LineSmooth() ? 1 : 0;
        if (m_cacheBehavior == 1 || mode == RenderMode::MetaFile) {
            drawGeometry();
        } else {
            if (m_geometryList == 0) m_geometryList = glGenLists(1);
            if (m_listStale.exchange(false) || key != m_listKey) {
                m_listKey = key;
                glNewList(m_geometryList, GL_COMPILE_AND_EXECUTE);
                drawGeometry();
                glEndList();
            } else {
                glCallList(m_geometryList);
            }
        }
        glDisable(GL_FOG);
        glDisable(GL_LIGHTING);
    } else {
        drawPick();
    }

    glPopMatrix();
    if (m_clip)
        for (int k = 0; k < 6; ++k)
            glDisable(GLenum(GL_CLIP_PLANE0 + k));
    m_source->unlockData();
}

void aglHeightMeshObj::drawGeometry() {
    aglBuildVectorPoints(m_source->grid(), m_ny, m_nx, m_points);
    if (m_points.runs.empty()) return;
    const bool coloured = m_palette && !m_points.w.empty();
    std::vector<uint8_t> rgba;
    if (coloured) {
        rgba.resize(m_points.w.size() * 4, 255);
        for (size_t k = 0; k < m_points.w.size(); ++k)
            m_palette->ColourOf(m_points.w[k], &rgba[k * 4]);
    }
    glDisable(GL_LIGHTING);
    glLineWidth(m_lineWidth);
    glPointSize(m_pointSize);
    glColor3fv(m_color);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, m_points.xyz.data());
    if (coloured) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, rgba.data());
    }
    if (m_style == kLines) {
        BeginLineSmoothing();
        for (const auto& r : m_points.runs)
            // A run of one point has no line to draw; it shows as a point.
            glDrawArrays(r.count > 1 ? GL_LINE_STRIP : GL_POINTS, r.first, r.count);
        EndLineSmoothing();
    } else {
        glDrawArrays(GL_POINTS, 0, GLsizei(m_points.source.size()));
    }
    if (coloured) glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glLineWidth(1.0f);
    glPointSize(1.0f);
}

void aglHeightMeshObj::drawPick() {
    glDisable(GL_FOG);
    glDisable(GL_LIGHTING);
    glDisable(GL_DITHER);
    glDisable(GL_BLEND);
    glDisable(GL_LINE_SMOOTH);
    glShadeModel(GL_SMOOTH);
    aglBuildVectorPoints(m_source->grid(), m_ny, m_nx, m_points);
    std::vector<uint8_t> rgba(m_points.source.size() * 4, 255);
    for (size_t k = 0; k < m_points.source.size(); ++k)
        EncodePick(m_points.source[k], 0, &rgba[k * 4]);
    glLineWidth(m_lineWidth);
    glPointSize(m_pointSize);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, m_points.xyz.data());
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, rgba.data());
    if (m_style == kLines) {
        for (const auto& r : m_points.runs)
            glDrawArrays(r.count > 1 ? GL_LINE_STRIP : GL_POINTS, r.first, r.count);
    } else {
        glDrawArrays(GL_POINTS, 0, GLsizei(m_points.source.size()));
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glLineWidth(1.0f);
    glPointSize(1.0f);
    glEnable(GL_DITHER);
}

void aglHeightMeshObj::DrawCursor() {
    if (!m_showCursor || !m_source || !m_dataLocked) return;
    const CursorCell cell = acceptedCursor();
    const int k = cell.y / cell.yStride;
    float p[3];
    if (!aglVectorCursorPoint(m_source->grid(), m_ny, m_nx, k, m_extent, p)) return;
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
    glPushMatrix();
    glTranslatef(m_position[0], m_position[1], m_position[2]);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glEnable(GL_BLEND);
    glColor4f(m_cursorColor[0], m_cursorColor[1], m_cursorColor[2], m_cursorAlpha);
    float inner[8][3], outer[8][3];
    const auto corners = [&](float f, float c[8][3]) {
        for (int n = 0; n < 8; ++n) {
            c[n][0] = p[0] + ((n & 1) ? 1 : -1) * f * m_extent[0];
            c[n][1] = p[1] + ((n & 2) ? 1 : -1) * f * m_extent[1];
            c[n][2] = p[2] + ((n & 4) ? 1 : -1) * f * m_extent[2];
        }
    };
    corners(0.025f, inner);
    corners(0.1f, outer);
    // Corner order around a loop: 0, 1, 3, 2 (bottom, z -), 4, 5, 7, 6 (top).
    static const int loopOrder[4] = {0, 1, 3, 2};
    for (const auto* box : {inner, outer}) {
        for (int z = 0; z < 2; ++z) {
            glBegin(GL_LINE_LOOP);
            for (int n : loopOrder)
                glVertex3fv(box[n + 4 * z]);
            glEnd();
        }
        glBegin(GL_LINES);
        for (int n = 0; n < 4; ++n) {
            glVertex3fv(box[n]);
            glVertex3fv(box[n + 4]);
        }
        glEnd();
    }
    glBegin(GL_LINES);
    for (int n = 0; n < 8; ++n) {
        glVertex3fv(inner[n]);
        glVertex3fv(outer[n]);
    }
    glEnd();
    glPopMatrix();
    glPopAttrib();
}
