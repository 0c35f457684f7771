#include "aglImageMapObj.h"

#include <cstring>

#include "aglFilter.h"
#include "aglGL.h"
#include "aglHeightGeometry.h"
#include "aglRenderContext.h"
#include "aglTrace.h"

aglImageMapObj::aglImageMapObj() : aglGraphObj(true) {
    m_lighting = false;
}

aglImageMapObj::~aglImageMapObj() {
    dropTexture();
}

void aglImageMapObj::dropTexture() {
    if (m_texture == 0) return;
    if (m_context && !m_context->IsRenderThread())
        m_context->DeleteTextureLater(m_texture);
    else if (m_context)
        glDeleteTextures(1, &m_texture);
    m_texture = 0;
}

void aglImageMapObj::Refresh() {
    aglGraphObj::Refresh();
    m_imageDirty.store(true);
}

void aglImageMapObj::SetPalette(const aglPalette* palette) {
    aglGraphObj::SetPalette(palette);
    m_imageDirty.store(true);
}

void aglImageMapObj::SetLighting(bool on) {
    aglGraphObj::SetLighting(on);
    m_textureDirty.store(true);
}

void aglImageMapObj::SetOrientation(int orientation) {
    if (orientation < 0 || orientation > 3) return;
    // Marked changed so that a finished anti-aliased picture is not reused
    // with the old orientation; the image itself needs no rebuild.
    if (m_orientation.exchange(orientation) != orientation) aglObj::Invalidate();
}

void aglImageMapObj::SetFilter(bool on) {
    if (m_filter.exchange(on) == on) return;
    m_imageDirty.store(true);
    m_textureDirty.store(true);
    Invalidate();
}

bool aglImageMapObj::imageIsStale() const {
    if (m_imageDirty.load() || m_nx != m_builtNx || m_ny != m_builtNy ||
        m_filter.load() != m_builtFilter)
        return true;
    // The palette may have changed in place (another PaletteId, another
    // range or value mapping) without a SetPalette.
    return m_palette &&
           (std::memcmp(m_builtTable, m_palette->Table(), sizeof m_builtTable) != 0 ||
            m_builtRange[0] != m_palette->Minimum() || m_builtRange[1] != m_palette->Maximum() ||
            m_builtMapping[0] != m_palette->ValueScale() ||
            m_builtMapping[1] != m_palette->ValueOffset());
}

void aglImageMapObj::buildImage() {
    m_imageDirty.store(false);
    m_builtNx = m_nx;
    m_builtNy = m_ny;
    m_builtFilter = m_filter.load();
    m_hasImage = false;
    m_textureDirty.store(true);
    m_texels.clear();
    if (!m_palette) return;
    std::memcpy(m_builtTable, m_palette->Table(), sizeof m_builtTable);
    m_builtRange[0] = m_palette->Minimum();
    m_builtRange[1] = m_palette->Maximum();
    m_builtMapping[0] = m_palette->ValueScale();
    m_builtMapping[1] = m_palette->ValueOffset();

    ++m_imageBuilds;
    aglBuildImage(m_source->grid(), m_nx, m_ny, *m_palette, m_cells);
    const int limit = m_textureLimitOverride > 0 ? m_textureLimitOverride : m_maxTexture;
    m_plan = aglPlanImage(m_nx, m_ny, m_builtFilter, limit);
    if (!m_plan.texture) {
        m_hasImage = true;
        return;
    }
    std::vector<uint8_t> repeated;
    const std::vector<uint8_t>* src = &m_cells;
    if (m_plan.repeatX > 1 || m_plan.repeatY > 1) {
        aglRepeatImage(m_cells, m_nx, m_ny, m_plan.repeatX, m_plan.repeatY, repeated);
        src = &repeated;
    }
    if (!m_plan.resample) {
        m_texels = *src;
        m_hasImage = true;
        return;
    }
    const int sw = m_nx * m_plan.repeatX, sh = m_ny * m_plan.repeatY;
    // A single column is laid out as a row for its 1-D texture.
    const int w = m_plan.oneD ? sw * sh : sw, h = m_plan.oneD ? 1 : sh;
    m_texels.assign(size_t(m_plan.width) * size_t(m_plan.height) * 4, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLint rc = gluScaleImage(GL_RGBA, w, h, GL_UNSIGNED_BYTE, src->data(), m_plan.width,
                                   m_plan.height, GL_UNSIGNED_BYTE, m_texels.data());
    if (rc != 0) {
        aglTrace("RNDR: aglImageMapObj::Render() -- resampling %dx%d to %dx%d failed: %s\n", w, h,
                 m_plan.width, m_plan.height,
                 reinterpret_cast<const char*>(gluErrorString(GLenum(rc))));
        m_texels.clear();
        return;
    }
    m_hasImage = true;
}

bool aglImageMapObj::uploadTexture() {
    const GLenum target = m_plan.oneD ? GL_TEXTURE_1D : GL_TEXTURE_2D;
    while (glGetError() != GL_NO_ERROR) {
    }
    // Ask first whether the context can hold a texture of this size: an
    // upload it cannot hold may fail silently on some drivers.
    GLint proxyWidth = 0;
    if (m_plan.oneD) {
        glTexImage1D(GL_PROXY_TEXTURE_1D, 0, GL_RGBA, m_plan.width, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        glGetTexLevelParameteriv(GL_PROXY_TEXTURE_1D, 0, GL_TEXTURE_WIDTH, &proxyWidth);
    } else {
        glTexImage2D(GL_PROXY_TEXTURE_2D, 0, GL_RGBA, m_plan.width, m_plan.height, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, nullptr);
        glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &proxyWidth);
    }
    if (proxyWidth == 0 || m_failUploads.load()) {
        aglTrace("RNDR: aglImageMapObj::Render() -- the context cannot hold a %dx%d texture, "
                 "nothing drawn\n",
                 m_plan.width, m_plan.height);
        return false;
    }
    if (m_texture == 0) glGenTextures(1, &m_texture);
    glBindTexture(target, m_texture);
    const GLint filter = m_builtFilter ? GL_LINEAR : GL_NEAREST;
    // Clamp to the edge texels: plain clamping would blend the border colour
    // into the outer cells under linear filtering.
    glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    if (!m_plan.oneD) glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, filter);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (m_plan.oneD)
        glTexImage1D(target, 0, GL_RGBA, m_plan.width, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     m_texels.data());
    else
        glTexImage2D(target, 0, GL_RGBA, m_plan.width, m_plan.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     m_texels.data());
    glBindTexture(target, 0);
    const GLenum err = glGetError();
    if (err != GL_NO_ERROR) {
        aglTrace("RNDR: aglImageMapObj::Render() -- texture upload of %dx%d failed (GL error "
                 "0x%04x), nothing drawn\n",
                 m_plan.width, m_plan.height, unsigned(err));
        return false;
    }
    ++m_uploads;
    m_textureDirty.store(false);
    return true;
}

void aglImageMapObj::Render(RenderMode mode) {
    if (!m_source) return;
    if (m_maxTexture == 0) {
        GLint size = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
        m_maxTexture = size > 0 ? size : 64; // GL 1.1 guarantees 64
    }
    aglObj::Render(mode);
    if (!m_visible || m_nx < 1 || m_ny < 1 || !m_source->grid()) return;

    glPushMatrix();
    glTranslatef(m_position[0], m_position[1], m_position[2]);
    if (mode == RenderMode::Pick) {
        drawPick();
        glPopMatrix();
        return;
    }
    if (imageIsStale()) buildImage();
    if (m_hasImage) {
        if (mode == RenderMode::MetaFile || !m_plan.texture) {
            // A capture records polygons: the cells as quads.
            drawQuads();
        } else if ((!m_textureDirty.load() && m_texture != 0) || uploadTexture()) {
            drawTexture();
        } else {
            // Nothing of a texture that failed; no stale texture of another size.
            dropTexture();
        }
    }
    if (m_showGrid && mode != RenderMode::MetaFile) drawGridLines();
    glPopMatrix();
}

void aglImageMapObj::drawTexture() {
    const GLenum target = m_plan.oneD ? GL_TEXTURE_1D : GL_TEXTURE_2D;
    float st[4][2];
    aglImageTexCoords(m_orientation.load(), m_plan.oneD && m_nx == 1, st);
    const float X = m_extent[0], Y = m_extent[1];
    const float corner[4][2] = {{0, 0}, {X, 0}, {X, Y}, {0, Y}};
    if (m_lighting) {
        glEnable(GL_LIGHTING);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    } else {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    }
    glColor3fv(m_imageColor);
    glEnable(target);
    glBindTexture(target, m_texture);
    // Cells without data are transparent texels.
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.5f);
    glNormal3f(0.0f, 0.0f, 1.0f);
    glBegin(GL_QUADS);
    for (int k = 0; k < 4; ++k) {
        if (m_plan.oneD)
            glTexCoord1f(st[k][0]);
        else
            glTexCoord2f(st[k][0], st[k][1]);
        glVertex3f(corner[k][0], corner[k][1], 0.0f);
    }
    glEnd();
    glDisable(GL_ALPHA_TEST);
    glBindTexture(target, 0);
    glDisable(target);
    glDisable(GL_LIGHTING);
}

void aglImageMapObj::drawQuads() {
    const int o = m_orientation.load();
    const float cw = m_extent[0] / float(m_nx), ch = m_extent[1] / float(m_ny);
    glShadeModel(GL_FLAT);
    if (m_lighting) glEnable(GL_LIGHTING);
    glNormal3f(0.0f, 0.0f, 1.0f);
    glBegin(GL_QUADS);
    for (int j = 0; j < m_ny; ++j) {
        const float y0 = float(j) * ch, y1 = float(j + 1) * ch;
        for (int i = 0; i < m_nx; ++i) {
            int io = 0, jo = 0;
            aglOrientCell(o, m_nx, m_ny, i, j, &io, &jo);
            const uint8_t* c = m_cells.data() + (size_t(jo) * size_t(m_nx) + size_t(io)) * 4;
            if (c[3] == 0) continue; // no data
            glColor3ub(c[0], c[1], c[2]);
            const float x0 = float(i) * cw, x1 = float(i + 1) * cw;
            glVertex3f(x0, y0, 0.0f);
            glVertex3f(x1, y0, 0.0f);
            glVertex3f(x1, y1, 0.0f);
            glVertex3f(x0, y1, 0.0f);
        }
    }
    glEnd();
    glDisable(GL_LIGHTING);
}

void aglImageMapObj::drawPick() {
    // Every cell one flat code colour, which nothing may blend, light, fog,
    // texture or dither.
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_DITHER);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glShadeModel(GL_FLAT);
    const int o = m_orientation.load();
    const float cw = m_extent[0] / float(m_nx), ch = m_extent[1] / float(m_ny);
    std::vector<float> xyz(size_t(m_nx) * 12);
    std::vector<uint8_t> rgba(size_t(m_nx) * 16, 255);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, xyz.data());
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, rgba.data());
    for (int j = 0; j < m_ny; ++j) {
        const float y0 = float(j) * ch, y1 = float(j + 1) * ch;
        for (int i = 0; i < m_nx; ++i) {
            int io = 0, jo = 0;
            aglOrientCell(o, m_nx, m_ny, i, j, &io, &jo);
            uint8_t code[3];
            EncodePick(jo, io, code);
            const float x0 = float(i) * cw, x1 = float(i + 1) * cw;
            const float q[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
            for (int k = 0; k < 4; ++k) {
                float* v = xyz.data() + (size_t(i) * 4 + k) * 3;
                v[0] = q[k][0];
                v[1] = q[k][1];
                v[2] = 0.0f;
                std::memcpy(rgba.data() + (size_t(i) * 4 + k) * 4, code, 3);
            }
        }
        glDrawArrays(GL_QUADS, 0, m_nx * 4);
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glEnable(GL_DITHER);
}

void aglImageMapObj::drawGridLines() {
    const float X = m_extent[0], Y = m_extent[1];
    const float dx = aglGridSpacing(X, m_nx), dy = aglGridSpacing(Y, m_ny);
    glDisable(GL_LIGHTING);
    glColor3fv(m_gridColor);
    BeginLineSmoothing();
    glBegin(GL_LINES);
    for (int j = 0; j < m_ny; j += m_rowStep) {
        glVertex3f(0.0f, float(j) * dy, 0.005f);
        glVertex3f(X, float(j) * dy, 0.005f);
    }
    for (int i = 0; i < m_nx; i += m_columnStep) {
        glVertex3f(float(i) * dx, 0.0f, 0.005f);
        glVertex3f(float(i) * dx, Y, 0.005f);
    }
    glEnd();
    EndLineSmoothing();
}

void aglImageMapObj::DrawCursor() {
    if (!m_showCursor || !m_source || !m_dataLocked) return;
    const CursorCell cell = acceptedCursor();
    const aglCursorCell c =
        aglComputeCursorCell(m_nx, m_ny, cell.y, cell.x, cell.yStride, cell.xStride,
                             m_orientation.load(), m_extent[0], m_extent[1]);
    if (!c.inside) return;
    const float Z = m_extent[2];
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
    glPushMatrix();
    glTranslatef(m_position[0], m_position[1], m_position[2]);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_FOG);
    glEnable(GL_BLEND);
    glColor4f(m_cursorColor[0], m_cursorColor[1], m_cursorColor[2], m_cursorAlpha);
    // Corners counter-clockwise: the cell rectangle and a square of half-size m.
    const auto rect = [&](float hx, float hy, float z, float out[4][3]) {
        const float sx[4] = {-1, 1, 1, -1}, sy[4] = {-1, -1, 1, 1};
        for (int k = 0; k < 4; ++k) {
            out[k][0] = c.x + sx[k] * hx;
            out[k][1] = c.y + sy[k] * hy;
            out[k][2] = z;
        }
    };
    const auto loop = [](const float p[4][3]) {
        glBegin(GL_LINE_LOOP);
        for (int k = 0; k < 4; ++k)
            glVertex3fv(p[k]);
        glEnd();
    };
    float p[4][3], base[4][3], square[4][3];
    rect(c.hx, c.hy, 0.01f * Z, p);
    loop(p);
    rect(c.hx, c.hy, -0.01f * Z, p);
    loop(p);
    rect(c.hx, c.hy, 0.0f, base);
    for (const float z : {0.2f * Z, -0.2f * Z}) {
        rect(c.m, c.m, z, square);
        loop(square);
        // The side faces of the truncated pyramid between cell and square.
        for (int e = 0; e < 4; ++e) {
            const int n = (e + 1) % 4;
            const float face[4][3] = {{base[e][0], base[e][1], base[e][2]},
                                      {base[n][0], base[n][1], base[n][2]},
                                      {square[n][0], square[n][1], square[n][2]},
                                      {square[e][0], square[e][1], square[e][2]}};
            loop(face);
        }
    }
    glPopMatrix();
    glPopAttrib();
}
