#include "aglHeightPlotObj.h"

#include <algorithm>
#include <cmath>

#include <cstring>
#include <string>

#include "aglFilter.h"
#include "aglGL.h"
#include "aglPalette.h"
#include "aglRenderContext.h"

namespace {

// Palette lookups for the vertex batches.
class PaletteColours : public aglColourSource {
public:
    explicit PaletteColours(const aglPalette* palette) : m_palette(palette) {}
    void ColourOfHeight(float height, uint8_t rgb[3]) const override {
        if (m_palette)
            m_palette->ColourOf(height, rgb);
        else
            rgb[0] = rgb[1] = rgb[2] = 0;
    }
    float TexCoordOfHeight(float height) const override {
        return m_palette ? m_palette->TexCoordOf(height) : 0.0f;
    }

private:
    const aglPalette* m_palette;
};

// Draws every range of a batch as one primitive of the given kind through
// client arrays (inside a display list GL copies the arrays at compile time).
// Stops between ranges once stop() holds: a pause ends a large surface after
// the strip in hand rather than after the whole of it (the frame is then
// incomplete and drawn again).
template <typename Stop> void drawBatch(const aglVertexBatch& b, GLenum primitive, Stop stop) {
    if (b.ranges.empty()) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, b.positions.data());
    const bool normals = !b.normals.empty();
    const bool colours = !b.colours.empty();
    const bool tex = !b.texCoords.empty();
    if (normals) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, b.normals.data());
    }
    if (colours) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, b.colours.data());
    }
    if (tex) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(1, GL_FLOAT, 0, b.texCoords.data());
    }
    for (const auto& r : b.ranges) {
        if (stop()) break;
        glDrawArrays(primitive, r.first, r.count);
    }
    if (tex) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    if (colours) glDisableClientState(GL_COLOR_ARRAY);
    if (normals) glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

} // namespace

aglHeightPlotObj::~aglHeightPlotObj() {
    if (m_textureList == 0) return;
    if (m_context && !m_context->IsRenderThread())
        m_context->DeleteListsLater(m_textureList, 1);
    else if (m_context)
        glDeleteLists(m_textureList, 1);
}

void aglHeightPlotObj::Refresh() {
    aglGraphObj::Refresh();
    m_normalsDirty.store(true);
}

void aglHeightPlotObj::SetLighting(bool on) {
    aglGraphObj::SetLighting(on);
    m_textureListDirty = true;
}

void aglHeightPlotObj::SetPalette(const aglPalette* palette) {
    aglGraphObj::SetPalette(palette);
    m_textureListDirty = true;
}

aglHeightGrid aglHeightPlotObj::grid() const {
    aglHeightGrid g;
    g.nx = m_nx;
    g.ny = m_ny;
    g.heights = m_source ? m_source->grid() : nullptr;
    g.dx = m_dx;
    g.dy = m_dy;
    return g;
}

bool aglHeightPlotObj::fixedView() const {
    if (!m_context) return false;
    const int t = m_context->Camera().ViewType();
    return t >= 1 && t <= 3;
}

bool aglHeightPlotObj::paused() const {
    // A capture frame is drawn whole: a pause waits for it.
    return m_mode != RenderMode::MetaFile && m_context &&
           m_context->Command() == ThreadCommand::Pause;
}

void aglHeightPlotObj::drawScratch(unsigned primitive) {
    drawBatch(m_batch, GLenum(primitive), [this] { return paused(); });
}

bool aglHeightPlotObj::ensureNormals() {
    const size_t want = size_t(m_nx) * size_t(m_ny) * 3;
    if (!m_normals.empty() && m_normals.size() == want && m_normalsDx == m_dx &&
        m_normalsDy == m_dy)
        return true;
    m_normalsDx = m_dx;
    m_normalsDy = m_dy;
    return aglComputeNormals(grid(), m_normals, [this] { return paused(); });
}

void aglHeightPlotObj::compileTextureList() {
    if (m_textureList == 0) m_textureList = glGenLists(1);
    if (m_textureList == 0) return;
    glNewList(m_textureList, GL_COMPILE);
    // Clamp to the edge texels: plain clamping would blend the ends of the
    // ramp with the border colour.
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, m_lighting ? GL_MODULATE : GL_REPLACE);
    glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA, aglPalette::kEntries, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 m_palette->Table());
    glEndList();
    m_textureListDirty = false;
}

void aglHeightPlotObj::Render(RenderMode mode) {
    if (!m_source) return;
    m_mode = mode;
    if (m_polygonOffset < 0) {
        const std::string version =
            m_versionOverride ? m_versionOverride : (m_context ? m_context->GLVersion() : "");
        m_polygonOffset = version == "1.0" ? 0 : 1;
    }
    // The palette's table may have changed without a SetPalette (a new
    // PaletteId on the same palette): whatever invalidates the object also
    // reloads the texture, which costs one 1 KiB upload.
    if (IsChanged()) m_textureListDirty = true;
    aglObj::Render(mode);
    if (paused()) return;
    if (!m_visible || m_nx <= 0 || m_ny <= 0 || !m_source->grid()) return;

    if ((m_textureListDirty || m_textureList == 0) && m_textured && m_palette && m_useColorPalette)
        compileTextureList();

    m_dx = aglGridSpacing(m_extent[0], m_nx);
    m_dy = aglGridSpacing(m_extent[1], m_ny);
    if (m_normalsDirty.exchange(false)) m_normals.clear();

    glPushMatrix();
    glTranslatef(m_position[0], m_position[1], m_position[2]);
    if (m_clip) {
        // Keep 0.01 <= z <= ZScale + 0.01: mapped heights outside the box are cut.
        const GLdouble top[4] = {0.0, 0.0, -1.0, double(m_extent[2]) + 0.01};
        const GLdouble bottom[4] = {0.0, 0.0, 1.0, -0.01};
        glClipPlane(GL_CLIP_PLANE0, top);
        glClipPlane(GL_CLIP_PLANE1, bottom);
        glEnable(GL_CLIP_PLANE0);
        glEnable(GL_CLIP_PLANE1);
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
        // The list also depends on the view type (fixed views draw lines
        // differently) and on line smoothing, which change without Invalidate.
        const int listKey = (m_context ? m_context->Camera().ViewType() : 0) * 2 +
                            (m_context && m_context->LineSmooth() ? 1 : 0);
        if (m_cacheBehavior == 1 || mode == RenderMode::MetaFile) {
            drawGeometry(mode);
        } else {
            if (m_geometryList == 0) m_geometryList = glGenLists(1);
            if (m_listStale.exchange(false) || listKey != m_listViewType) {
                m_listViewType = listKey;
                glNewList(m_geometryList, GL_COMPILE_AND_EXECUTE);
                drawGeometry(mode);
                glEndList();
                // A build cut short by a pause left the list incomplete.
                if (paused()) m_listStale.store(true);
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
    if (m_clip) {
        glDisable(GL_CLIP_PLANE0);
        glDisable(GL_CLIP_PLANE1);
    }
}

void aglHeightPlotObj::drawGeometry(RenderMode mode) {
    const bool metafile = mode == RenderMode::MetaFile;
    const bool hidden = m_hiddenLine && !metafile;
    const bool showGrid = m_showGrid && !metafile;
    switch (aglDrawStyle(m_style, m_nx, m_ny)) {
    case kWireframe:
        if (hidden) hiddenLinePass();
        glShadeModel(GL_SMOOTH);
        glLineWidth(m_lineWidth);
        glColor3fv(m_color);
        drawMeshLines(true, paletteColours());
        glLineWidth(1.0f);
        break;
    case kSurface: {
        if (showGrid) {
            glTranslatef(0.0f, 0.0f, 0.01f);
            if (m_polygonOffset == 1) {
                glEnable(GL_POLYGON_OFFSET_FILL);
                glPolygonOffset(1.0f, 0.005f);
            } else {
                glTranslatef(0.0f, 0.0f, -0.005f);
            }
        }
        glShadeModel(m_shading == kFlat ? GL_FLAT : GL_SMOOTH);
        glColor3fv(m_color);
        if (metafile && m_context && m_context->CaptureWriter()) {
            captureSurfaceMesh(*m_context->CaptureWriter());
            break;
        }
        drawSurface(mode);
        if (showGrid) {
            if (m_polygonOffset == 1)
                glDisable(GL_POLYGON_OFFSET_FILL);
            else
                glTranslatef(0.0f, 0.0f, 0.005f);
            glColor3fv(m_gridColor);
            glDisable(GL_LIGHTING);
            drawMeshLines(false, false);
        }
        break;
    }
    case kBarChart:
        glShadeModel(GL_FLAT);
        glColor3fv(m_color);
        drawBars();
        break;
    case kLines:
        if (!fixedView() && hidden && m_nx >= 3 && m_ny >= 3) hiddenLinePass();
        glColor3fv(m_color);
        if (fixedView()) glDisable(GL_DEPTH_TEST);
        drawPolylines();
        if (fixedView()) glEnable(GL_DEPTH_TEST);
        break;
    case kPoints:
        glShadeModel(GL_FLAT);
        glColor3fv(m_color);
        drawPoints();
        break;
    default:
        break;
    }
}

void aglHeightPlotObj::hiddenLinePass() {
    // Fill the depth buffer with the surface, a little below the lines, so
    // that lines behind it fail the depth test.
    glTranslatef(0.0f, 0.0f, -0.005f);
    glDisable(GL_LIGHTING);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    drawSurface(m_mode, true);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (m_lighting) glEnable(GL_LIGHTING);
    glTranslatef(0.0f, 0.0f, 0.005f);
}

void aglHeightPlotObj::drawSurface(RenderMode, bool untextured) {
    if (!ensureNormals()) return;
    PaletteColours colours(m_palette);
    aglBatchInputs in;
    in.normals = untextured ? nullptr : m_normals.data();
    const std::function<bool()> stop = [this] { return paused(); };
    in.stop = &stop;
    in.flatShading = m_shading == kFlat;
    bool textured = false;
    if (!untextured && paletteColours()) {
        in.colours = &colours;
        if (m_textured && m_textureList) {
            textured = true;
            in.colouring = aglVertexColouring::Texture;
            glEnable(GL_TEXTURE_1D);
            glCallList(m_textureList);
            glColor3f(1.0f, 1.0f, 1.0f);
        } else {
            in.colouring = aglVertexColouring::Palette;
        }
    }
    if (aglBuildSurface(grid(), in, m_batch)) drawScratch(GL_TRIANGLE_STRIP);
    if (textured) glDisable(GL_TEXTURE_1D);
    m_batch.clear();
}

void aglHeightPlotObj::captureSurfaceMesh(aglCaptureWriter& writer) {
    const aglHeightGrid g = grid();
    if (g.nx < 2 || g.ny < 2 || !ensureNormals()) return;
    auto mesh = std::make_unique<aglSurfaceMesh>();
    mesh->nx = g.nx;
    mesh->ny = g.ny;
    mesh->points.resize(size_t(g.nx) * size_t(g.ny));
    mesh->smooth = m_shading != kFlat;
    if (m_showGrid) {
        // The grid lines the screen shows, no more: the picture is the
        // screen's at a finer resolution, not a denser graph.
        mesh->stepX = std::max(1, m_columnStep);
        mesh->stepY = std::max(1, m_rowStep);
        for (int c = 0; c < 3; ++c)
            mesh->gridRgb[c] = uint8_t(std::clamp(m_gridColor[c], 0.0f, 1.0f) * 255.0f);
    }
    PaletteColours colours(m_palette);
    const bool palette = paletteColours();
    // One marker with the sample's column, then the sample as a point: a
    // sample clipped away leaves its marker alone and stays missing.
    std::vector<GLfloat> row(size_t(g.nx) * 10 + 16);
    writer.SuspendFeedback();
    for (int j = 0; j < g.ny; ++j) {
        glFeedbackBuffer(GLsizei(row.size()), GL_3D_COLOR, row.data());
        glRenderMode(GL_FEEDBACK);
        for (int i = 0; i < g.nx; ++i) {
            const float h = g.at(i, j);
            if (!std::isfinite(h)) continue;
            glPassThrough(GLfloat(i));
            glNormal3fv(&m_normals[(size_t(j) * size_t(g.nx) + size_t(i)) * 3]);
            if (palette) {
                uint8_t rgb[3];
                colours.ColourOfHeight(h, rgb);
                glColor3ub(rgb[0], rgb[1], rgb[2]);
            }
            glBegin(GL_POINTS);
            glVertex3f(float(i) * m_dx, float(j) * m_dy, h);
            glEnd();
        }
        const GLint n = glRenderMode(GL_RENDER);
        int pending = -1;
        for (GLint k = 0; k >= 0 && k < n;) {
            const int token = int(row[size_t(k)]);
            if (token == GL_PASS_THROUGH_TOKEN && k + 1 < n) {
                pending = int(row[size_t(k) + 1]);
                k += 2;
            } else if (token == GL_POINT_TOKEN && k + 7 < n) {
                if (pending >= 0 && pending < g.nx) {
                    const GLfloat* v = &row[size_t(k) + 1];
                    aglSurfaceMesh::Point& pt = mesh->at(pending, j);
                    pt.x = v[0];
                    pt.y = v[1];
                    pt.depth = v[2];
                    for (int c = 0; c < 3; ++c)
                        pt.rgb[c] = uint8_t(std::clamp(v[3 + c], 0.0f, 1.0f) * 255.0f);
                    pt.present = true;
                }
                pending = -1;
                k += 8;
            } else {
                break;
            }
        }
    }
    writer.ResumeFeedback();
    writer.SetSurfaceMesh(std::move(mesh));
}

void aglHeightPlotObj::drawMeshLines(bool withNormals, bool paletteColoured) {
    PaletteColours colours(m_palette);
    aglBatchInputs in;
    if (withNormals && m_lighting && ensureNormals()) in.normals = m_normals.data();
    if (paletteColoured) {
        in.colouring = aglVertexColouring::Palette;
        in.colours = &colours;
    }
    aglBuildMeshLines(grid(), m_columnStep, m_rowStep, in, m_batch);
    BeginLineSmoothing();
    drawScratch(GL_LINE_STRIP);
    EndLineSmoothing();
    m_batch.clear();
}

void aglHeightPlotObj::drawBars() {
    PaletteColours colours(m_palette);
    aglBatchInputs in;
    if (paletteColours()) {
        in.colouring = aglVertexColouring::Palette;
        in.colours = &colours;
    }
    aglBuildBars(grid(), m_barArea, in, m_batch);
    drawScratch(GL_QUADS);
    m_batch.clear();
}

void aglHeightPlotObj::drawPolylines() {
    const bool fixed = fixedView();
    PaletteColours colours(m_palette);
    aglBatchInputs in;
    if (!fixed) {
        if (!ensureNormals()) return;
        in.normals = m_normals.data();
    } else {
        // Without normals lit lines would take whatever normal GL has left.
        glDisable(GL_LIGHTING);
    }
    std::function<void(int, uint8_t[3])> lineColour;
    if (paletteColours()) {
        in.colouring = aglVertexColouring::Palette;
        in.colours = &colours;
    } else if (m_palette) {
        const aglPalette* palette = m_palette;
        lineColour = [palette](int k, uint8_t rgb[3]) { palette->LineColour(k, rgb); };
    }
    const int viewType = m_context ? m_context->Camera().ViewType() : 0;
    aglBuildPolylines(grid(), aglPolylinesAlongX(viewType, m_nx, m_ny), in, lineColour, m_batch);
    glLineWidth(m_lineWidth);
    BeginLineSmoothing();
    drawScratch(GL_LINE_STRIP);
    EndLineSmoothing();
    glLineWidth(1.0f);
    m_batch.clear();
}

void aglHeightPlotObj::drawPoints() {
    if (!ensureNormals()) return;
    PaletteColours colours(m_palette);
    aglBatchInputs in;
    in.normals = m_normals.data();
    if (paletteColours()) {
        in.colouring = aglVertexColouring::Palette;
        in.colours = &colours;
    }
    aglBuildPoints(grid(), in, m_batch);
    glPointSize(m_pointSize);
    drawScratch(GL_POINTS);
    glPointSize(1.0f);
    m_batch.clear();
}

void aglHeightPlotObj::drawPick() {
    // Codes must reach the pixels unchanged: nothing may blend, light, fog,
    // texture or dither them. Smooth shading lets the codes interpolate
    // across the strips, so a pixel between samples decodes to fractions.
    glDisable(GL_FOG);
    glDisable(GL_LIGHTING);
    glDisable(GL_DITHER);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_BLEND);
    glDisable(GL_LINE_SMOOTH);
    glShadeModel(GL_SMOOTH);
    m_dx = aglGridSpacing(m_extent[0], m_nx);
    m_dy = aglGridSpacing(m_extent[1], m_ny);
    aglBatchInputs in;
    in.colouring = aglVertexColouring::PickCode;
    in.pick = [this](int i, int j, uint8_t rgb[3]) { EncodePick(j, i, rgb); };
    const aglHeightGrid g = grid();
    const int style = aglPickStyle(m_style, m_nx, m_ny);
    if (style == kBarChart) {
        aglBuildBars(g, m_barArea, in, m_batch);
        drawScratch(GL_QUADS);
    } else {
        if (style == kLines || style == kPoints) {
            const int viewType = m_context ? m_context->Camera().ViewType() : 0;
            aglBuildPolylines(g, aglPolylinesAlongX(viewType, m_nx, m_ny), in, {}, m_batch);
            drawScratch(GL_LINE_STRIP);
            // Single samples (a 1 x 1 grid, or samples between holes) as points.
            aglBuildPoints(g, in, m_batch);
            drawScratch(GL_POINTS);
        }
        if (aglBuildSurface(g, in, m_batch)) drawScratch(GL_TRIANGLE_STRIP);
    }
    m_batch.clear();
    glEnable(GL_DITHER);
}

void aglHeightPlotObj::DrawCursor() {
    if (!m_showCursor || !m_source || !m_dataLocked) return;
    m_dx = aglGridSpacing(m_extent[0], m_nx);
    m_dy = aglGridSpacing(m_extent[1], m_ny);
    const bool fixed = fixedView();
    const CursorCell cell = acceptedCursor();
    const aglCursorBox box = aglComputeCursorBox(grid(), cell.y, cell.x, cell.yStride, cell.xStride,
                                                 m_extent[0], m_extent[1], m_extent[2], fixed);
    if (!box.inside) return;
    const float lo[3] = {box.x - box.hx, box.y - box.hy, box.z - box.hz};
    const float hi[3] = {box.x + box.hx, box.y + box.hy, box.z + box.hz};
    float corners[6][4][3], normals[6][3];
    aglBoxQuads(lo, hi, corners, normals);

    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_POLYGON_BIT);
    glPushMatrix();
    glTranslatef(m_position[0], m_position[1], m_position[2]);
    glEnable(GL_BLEND);
    glEnable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_FOG);
    glColor4f(m_cursorColor[0], m_cursorColor[1], m_cursorColor[2], m_cursorAlpha);
    if (fixed) {
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        for (int f = 0; f < 6; ++f) {
            glBegin(GL_LINE_LOOP);
            for (int k = 0; k < 4; ++k)
                glVertex3fv(corners[f][k]);
            glEnd();
        }
    } else {
        if (m_lighting) glEnable(GL_LIGHTING);
        glBegin(GL_QUADS);
        for (int f = 0; f < 6; ++f) {
            glNormal3fv(normals[f]);
            for (int k = 0; k < 4; ++k)
                glVertex3fv(corners[f][k]);
        }
        glEnd();
    }
    glPopMatrix();
    glPopAttrib();
}
