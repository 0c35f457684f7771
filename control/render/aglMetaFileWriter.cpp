// Over 800 lines: one writer, its capture and converter sides sharing one picture geometry.
#include "aglMetaFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPolygonF>
#include <QSvgGenerator>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "aglFrameHooks.h"
#include "aglGL.h"
#include "aglObj.h"
#include "aglPng.h"

namespace {

// Floats per vertex of a GL_3D_COLOR feedback buffer in RGBA mode.
constexpr size_t kVertexFloats = 7;

// A feedback colour (0..1) as a byte, truncated as the picture's colours are.
int channel(float c) {
    if (!(c > 0.0f)) return 0;
    if (c >= 1.0f) return 255;
    return int(c * 255.0f);
}

QColor vertexColour(const float* v) {
    return QColor(channel(v[3]), channel(v[4]), channel(v[5]));
}

QColor meshColour(const uint8_t rgb[3]) {
    return QColor(rgb[0], rgb[1], rgb[2]);
}

// Between QSvgGenerator and the file: drops what the generator repeats for
// every change of pen or brush and what SVG takes by default (identity
// transforms, opacity 1, the group's font where only shapes follow, since
// text elements carry their own), so that a surface of many cells stays a
// file of reasonable size. Works line by line, as the generator writes.
//
// Images: the generator would write each image as a PNG of its own, at
// zlib's default level, through a string of 16-bit characters. The picture
// gives it a one-pixel stand-in instead and queues the real image's PNG
// (aglEncodePng, base64) here; the stand-in's data in the next image element
// is replaced with it, images in the order they were drawn.
class SvgCompactor : public QIODevice {
public:
    explicit SvgCompactor(QIODevice* target) : m_target(target) {}
    void queueImage(QByteArray base64) { m_images.push_back(std::move(base64)); }
    // Whether every queued image went into the file.
    bool imagesPlaced() const { return m_images.empty(); }
    bool finish() {
        if (!m_pending.isEmpty() && !emitLine(m_pending)) return false;
        m_pending.clear();
        return !m_failed;
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override {
        if (m_failed) return -1;
        // Only the new bytes are searched for the end of a line.
        qsizetype from = m_pending.size();
        m_pending.append(data, len);
        qsizetype start = 0;
        for (;;) {
            const qsizetype nl = m_pending.indexOf('\n', from);
            if (nl < 0) break;
            if (!emitLine(m_pending.mid(start, nl - start + 1))) return -1;
            start = from = nl + 1;
        }
        m_pending.remove(0, start);
        return len;
    }

private:
    bool emitLine(QByteArray line) {
        // A group's font line (text elements name their own font).
        if (line.startsWith("font-family=")) return true;
        if (line.trimmed().isEmpty()) return true;
        static const char* const kDrop[] = {" transform=\"matrix(1,0,0,1,0,0)\"",
                                            " fill-opacity=\"1\"", " stroke-opacity=\"1\"",
                                            " vector-effect=\"none\"", " stroke-miterlimit=\"2\""};
        // Caps and joins as the outermost group sets them, inherited.
        if (line.startsWith("<g ") && !line.contains("stroke=\"black\""))
            line.replace(" stroke-linecap=\"square\" stroke-linejoin=\"bevel\"", "");
        for (const char* d : kDrop)
            line.replace(d, "");
        if (line.startsWith("<path")) line.replace(" fill-rule=\"evenodd\"", "");
        if (line.startsWith("<image") && !m_images.empty()) {
            static const QByteArray kData = "data:image/png;base64,";
            const qsizetype begin = line.indexOf(kData);
            const qsizetype end = begin < 0 ? -1 : line.indexOf('"', begin + kData.size());
            if (end > 0) {
                line.replace(begin + kData.size(), end - begin - kData.size(), m_images.front());
                m_images.pop_front();
            }
        }
        if (line.startsWith(">")) { // the end of a group's header: join it to its line
            m_buffer.chop(1);
        }
        m_buffer.append(line);
        if (m_buffer.size() >= (1 << 16)) return flushBuffer();
        return true;
    }
    bool flushBuffer() {
        if (m_buffer.isEmpty()) return true;
        if (m_target->write(m_buffer) != m_buffer.size()) {
            m_failed = true;
            return false;
        }
        m_buffer.clear();
        return true;
    }

public:
    bool flushAll() { return finish() && flushBuffer(); }

private:
    QIODevice* m_target;
    QByteArray m_pending, m_buffer;
    std::deque<QByteArray> m_images;
    bool m_failed = false;
};

} // namespace

void aglPictureUnits(int width, int height, int* W, int* H) {
    // 300 units per inch; the size is in hundredths of a millimetre.
    const double inchesW = width * 0.0003937008, inchesH = height * 0.0003937008;
    *W = int(std::floor(inchesW * 300.0));
    *H = int(std::floor(inchesH * 300.0));
}

double aglRasterScale(double widthUnits, double heightUnits) {
    const double side = std::max(widthUnits, heightUnits);
    return side > kMaxRasterSide ? kMaxRasterSide / side : 1.0;
}

double aglDataRasterScale(const aglPictureLayout& l) {
    const double unitsPerPixel =
        std::max(l.W * 0.96 / std::max(1, l.windowWidth), l.H * 0.96 / std::max(1, l.windowHeight));
    return unitsPerPixel > kMaxRasterPerWindowPixel ? kMaxRasterPerWindowPixel / unitsPerPixel
                                                    : 1.0;
}

std::vector<int> aglMeshCellOrder(const aglSurfaceMesh& mesh) {
    std::vector<int> cells;
    if (mesh.nx < 2 || mesh.ny < 2 || mesh.points.size() != size_t(mesh.nx) * size_t(mesh.ny))
        return cells;
    const int cx = mesh.nx - 1, cy = mesh.ny - 1;
    std::vector<float> depth;
    cells.reserve(size_t(cx) * size_t(cy));
    depth.resize(size_t(cx) * size_t(cy));
    for (int j = 0; j < cy; ++j)
        for (int i = 0; i < cx; ++i) {
            const aglSurfaceMesh::Point* c[4] = {&mesh.at(i, j), &mesh.at(i + 1, j),
                                                 &mesh.at(i + 1, j + 1), &mesh.at(i, j + 1)};
            if (!c[0]->present || !c[1]->present || !c[2]->present || !c[3]->present) continue;
            const int k = j * cx + i;
            depth[size_t(k)] = c[0]->depth + c[1]->depth + c[2]->depth + c[3]->depth;
            cells.push_back(k);
        }
    // Farthest first, so that nearer cells cover farther ones; ties keep the
    // grid's own order.
    std::stable_sort(cells.begin(), cells.end(),
                     [&](int a, int b) { return depth[size_t(a)] > depth[size_t(b)]; });
    return cells;
}

namespace {

// Draws the captured tokens and mesh; shared by the SVG and PDF writers.
class Replay {
public:
    Replay(QPainter& p, const aglPictureLayout& l, const std::vector<aglCapturedText>& texts,
           const std::function<bool()>& stop, const aglImageSink* images = nullptr)
        : m_p(p), m_l(l), m_texts(texts), m_stop(stop), m_images(images) {
        m_unitsPerPixelX = double(l.W) / std::max(1, l.windowWidth);
        m_unitsPerPixelY = double(l.H) / std::max(1, l.windowHeight);
        // Lines one window pixel wide, as on the screen; filled polygons are
        // outlined in their own colour by a quarter pixel each side, so that
        // neighbouring triangles of one surface leave no hairline seam.
        m_lineWidth = std::max(1.0, std::round(m_unitsPerPixelX * 10.0) / 10.0);
        m_seamWidth = std::max(1.0, std::round(m_unitsPerPixelX * 5.0) / 10.0);
        m_batch.setFillRule(Qt::WindingFill);
    }

    void frame() {
        m_p.setPen(QPen(Qt::black, 1.0));
        m_p.setBrush(Qt::white);
        m_p.drawRect(QRectF(1.0, 1.0, m_l.W - 3.0, m_l.H - 3.0));
        m_p.setBrush(QColor(0, 55, 0)); // GDI colour 14080
    }

    bool tokens(const float* b, size_t n) {
        size_t i = 0;
        int pendingText = -1;
        size_t sinceCheck = 0;
        while (i < n) {
            if (++sinceCheck >= 4096) {
                sinceCheck = 0;
                if (m_stop && m_stop()) return false;
            }
            const int token = int(b[i]);
            if (token != GL_POINT_TOKEN && token != GL_PASS_THROUGH_TOKEN) pendingText = -1;
            switch (token) {
            case GL_PASS_THROUGH_TOKEN:
                if (i + 2 > n) return true;
                // A marker right after a marker: the first one's point was
                // clipped away, and its text is not drawn.
                pendingText = int(b[i + 1]);
                i += 2;
                break;
            case GL_POINT_TOKEN:
                if (i + 1 + kVertexFloats > n) return true;
                if (pendingText >= 0)
                    text(pendingText, b + i + 1);
                else
                    point(b + i + 1);
                pendingText = -1;
                i += 1 + kVertexFloats;
                break;
            case GL_LINE_TOKEN:
            case GL_LINE_RESET_TOKEN:
                if (i + 1 + 2 * kVertexFloats > n) return true;
                line(b + i + 1, b + i + 1 + kVertexFloats);
                i += 1 + 2 * kVertexFloats;
                break;
            case GL_POLYGON_TOKEN: {
                if (i + 2 > n) return true;
                const float fc = b[i + 1];
                if (!(fc >= 0.0f) || fc > float(n)) return true;
                const size_t count = size_t(fc);
                if (i + 2 + count * kVertexFloats > n) return true;
                if (!rasterData(i))
                    polygon(b + i + 2, count);
                else if (!m_dataDrawn && !dataImage(b, n))
                    return false;
                i += 2 + count * kVertexFloats;
                break;
            }
            case GL_BITMAP_TOKEN:
            case GL_DRAW_PIXEL_TOKEN:
            case GL_COPY_PIXEL_TOKEN:
                i += 1 + kVertexFloats;
                break;
            default:
                return true; // not a token: the rest cannot be read
            }
        }
        return true;
    }

    // The mesh, as polygons or (with a raster scale) as one image.
    bool mesh(const aglSurfaceMesh& m) {
        if (m_l.rasterScale <= 0) return meshShapes(m);
        QRectF box;
        for (const aglSurfaceMesh::Point& pt : m.points)
            if (pt.present) box |= QRectF(m_l.X(pt.x), m_l.Y(pt.y), 0, 0).adjusted(-1, -1, 1, 1);
        return meshImage(m, box);
    }

    // The mesh drawn into an image pixel by pixel, as the screen draws it:
    // each cell as two triangles whose colours run between their corners'
    // (one colour a cell when flat), the grid lines over them, farthest
    // cell first. A vector picture cannot shade smoothly; its image can.
    bool meshImage(const aglSurfaceMesh& m, QRectF box) {
        box = box.intersected(QRectF(0, 0, m_l.W, m_l.H));
        if (box.isEmpty()) return true;
        const double scale = m_l.rasterScale * aglRasterScale(box.width() * m_l.rasterScale,
                                                              box.height() * m_l.rasterScale);
        const int w = std::max(1, int(std::ceil(box.width() * scale)));
        const int h = std::max(1, int(std::ceil(box.height() * scale)));
        QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
        if (image.isNull()) return false;
        image.fill(Qt::transparent);
        const double kx = double(w) / box.width(), ky = double(h) / box.height();
        const auto pixel = [&](const aglSurfaceMesh::Point& p) {
            return QPointF((m_l.X(p.x) - box.left()) * kx, (m_l.Y(p.y) - box.top()) * ky);
        };
        const std::vector<int> order = aglMeshCellOrder(m);
        const int cx = m.nx - 1;
        const bool grid = m.stepX > 0 || m.stepY > 0;
        const QRgb gridColour = qRgb(m.gridRgb[0], m.gridRgb[1], m.gridRgb[2]);
        const double lineWidth = std::max(1.0, m_lineWidth * kx);
        size_t sinceCheck = 0;
        for (int k : order) {
            if (++sinceCheck >= 4096) {
                sinceCheck = 0;
                if (m_stop && m_stop()) return false;
            }
            const int i = k % cx, j = k / cx;
            const aglSurfaceMesh::Point* c[4] = {&m.at(i, j), &m.at(i + 1, j), &m.at(i + 1, j + 1),
                                                 &m.at(i, j + 1)};
            const QPointF q[4] = {pixel(*c[0]), pixel(*c[1]), pixel(*c[2]), pixel(*c[3])};
            float rgb[4][3];
            for (int v = 0; v < 4; ++v)
                for (int ch = 0; ch < 3; ++ch)
                    rgb[v][ch] = c[v]->rgb[ch];
            if (!m.smooth) {
                for (int ch = 0; ch < 3; ++ch) {
                    const float mean = (rgb[0][ch] + rgb[1][ch] + rgb[2][ch] + rgb[3][ch]) / 4;
                    for (auto& v : rgb)
                        v[ch] = mean;
                }
            }
            fillTriangle(image, q[0], q[1], q[2], rgb[0], rgb[1], rgb[2]);
            fillTriangle(image, q[0], q[2], q[3], rgb[0], rgb[2], rgb[3]);
            if (!grid) continue;
            const auto onStep = [](int index, int step, int last) {
                return step > 0 && (index % step == 0 || index == last);
            };
            const bool edge[4] = {onStep(j, m.stepY, m.ny - 1), onStep(i + 1, m.stepX, m.nx - 1),
                                  onStep(j + 1, m.stepY, m.ny - 1), onStep(i, m.stepX, m.nx - 1)};
            for (int e = 0; e < 4; ++e)
                if (edge[e]) drawSegment(image, q[e], q[(e + 1) % 4], lineWidth, gridColour);
        }
        flush();
        return drawImage(box, image);
    }

    // A triangle with its corners' colours interpolated (pixel centres
    // inside it, or on its left or top edge, so that neighbours meet once).
    static void fillTriangle(QImage& img, QPointF a, QPointF b, QPointF c, const float ca[3],
                             const float cb[3], const float cc[3]) {
        const double area = (b.x() - a.x()) * (c.y() - a.y()) - (c.x() - a.x()) * (b.y() - a.y());
        if (!(std::fabs(area) > 1e-12)) return;
        const int x0 = std::max(0, int(std::floor(std::min({a.x(), b.x(), c.x()}))));
        const int x1 = std::min(img.width() - 1, int(std::ceil(std::max({a.x(), b.x(), c.x()}))));
        const int y0 = std::max(0, int(std::floor(std::min({a.y(), b.y(), c.y()}))));
        const int y1 = std::min(img.height() - 1, int(std::ceil(std::max({a.y(), b.y(), c.y()}))));
        if (x0 > x1 || y0 > y1) return;
        // The weights of a and b are linear in the pixel centre (px, py):
        // w = (kx px + ky py + k0) / area; c's is what they leave of 1.
        const double ax = (b.y() - c.y()) / area, ay = (c.x() - b.x()) / area,
                     a0 = (b.x() * c.y() - c.x() * b.y()) / area;
        const double bx = (c.y() - a.y()) / area, by = (a.x() - c.x()) / area,
                     b0 = (c.x() * a.y() - a.x() * c.y()) / area;
        double da[3], db[3];
        for (int ch = 0; ch < 3; ++ch) {
            da[ch] = double(ca[ch]) - cc[ch];
            db[ch] = double(cb[ch]) - cc[ch];
        }
        // Rows straight from the image's memory: scanLine() would ask the
        // image whether to detach it on every row of every triangle.
        uchar* const bits = img.bits();
        const qsizetype stride = img.bytesPerLine();
        for (int y = y0; y <= y1; ++y) {
            auto* row = reinterpret_cast<QRgb*>(bits + stride * y);
            const double py = y + 0.5;
            const double rowA = ay * py + a0, rowB = by * py + b0;
            for (int x = x0; x <= x1; ++x) {
                const double px = x + 0.5;
                const double wa = rowA + ax * px;
                const double wb = rowB + bx * px;
                const double wc = 1.0 - wa - wb;
                if (wa < -1e-9 || wb < -1e-9 || wc < -1e-9) continue;
                int out[3];
                for (int ch = 0; ch < 3; ++ch)
                    out[ch] = std::clamp(int(cc[ch] + wa * da[ch] + wb * db[ch] + 0.5), 0, 255);
                row[x] = qRgb(out[0], out[1], out[2]);
            }
        }
    }

    // A line `width` pixels wide: squares stamped every half pixel along it.
    static void drawSegment(QImage& img, QPointF a, QPointF b, double width, QRgb colour) {
        const double length = std::hypot(b.x() - a.x(), b.y() - a.y());
        const int steps = std::max(1, int(std::ceil(length * 2)));
        const double r = width / 2;
        uchar* const bits = img.bits();
        const qsizetype stride = img.bytesPerLine();
        for (int s = 0; s <= steps; ++s) {
            const double t = double(s) / steps;
            const double x = a.x() + (b.x() - a.x()) * t, y = a.y() + (b.y() - a.y()) * t;
            const int xa = std::max(0, int(std::floor(x - r + 0.5)));
            const int xb = std::min(img.width() - 1, int(std::floor(x + r - 0.5)));
            const int ya = std::max(0, int(std::floor(y - r + 0.5)));
            const int yb = std::min(img.height() - 1, int(std::floor(y + r - 0.5)));
            for (int yy = ya; yy <= yb; ++yy) {
                auto* row = reinterpret_cast<QRgb*>(bits + stride * yy);
                for (int xx = xa; xx <= xb; ++xx)
                    row[xx] = colour;
            }
        }
    }

    bool meshShapes(const aglSurfaceMesh& m) {
        const std::vector<int> order = aglMeshCellOrder(m);
        const int cx = m.nx - 1;
        const bool grid = m.stepX > 0 || m.stepY > 0;
        const QColor gridColour = meshColour(m.gridRgb);
        size_t sinceCheck = 0;
        for (int k : order) {
            if (++sinceCheck >= 4096) {
                sinceCheck = 0;
                if (m_stop && m_stop()) return false;
            }
            const int i = k % cx, j = k / cx;
            const aglSurfaceMesh::Point* c[4] = {&m.at(i, j), &m.at(i + 1, j), &m.at(i + 1, j + 1),
                                                 &m.at(i, j + 1)};
            int sum[3] = {0, 0, 0};
            QPointF q[4];
            for (int v = 0; v < 4; ++v) {
                for (int ch = 0; ch < 3; ++ch)
                    sum[ch] += c[v]->rgb[ch];
                q[v] = QPointF(m_l.X(c[v]->x), m_l.Y(c[v]->y));
            }
            fillPolygon(QPolygonF({q[0], q[1], q[2], q[3]}),
                        QColor(sum[0] / 4, sum[1] / 4, sum[2] / 4));
            if (!grid) continue;
            // Edges on the grid-line steps, and the mesh's outer edges.
            const auto onStep = [](int index, int step, int last) {
                return step > 0 && (index % step == 0 || index == last);
            };
            const bool edge[4] = {onStep(j, m.stepY, m.ny - 1), onStep(i + 1, m.stepX, m.nx - 1),
                                  onStep(j + 1, m.stepY, m.ny - 1), onStep(i, m.stepX, m.nx - 1)};
            for (int e = 0; e < 4; ++e) {
                if (!edge[e]) continue;
                setLine(gridColour);
                m_p.drawLine(q[e], q[(e + 1) % 4]);
            }
        }
        return true;
    }

private:
    QPointF at(const float* v) const { return QPointF(m_l.X(v[0]), m_l.Y(v[1])); }

    bool rasterData(size_t offset) const {
        return m_l.rasterScale > 0 && offset >= m_l.dataBegin && offset < m_l.dataEnd;
    }

    // The graph object's filled polygons, drawn as one image where the first
    // of them stands; its lines, points and texts stay vectors.
    bool dataImage(const float* b, size_t n) {
        m_dataDrawn = true;
        const size_t end = std::min(n, m_l.dataEnd);
        QRectF box;
        forEachDataPolygon(b, end, [&](const float* v, size_t count) {
            for (size_t k = 0; k < count; ++k)
                box |= QRectF(at(v + k * kVertexFloats), QSizeF(0, 0)).adjusted(-1, -1, 1, 1);
        });
        return rasterise(box, [&](Replay& r) {
            r.forEachDataPolygon(b, end,
                                 [&r](const float* v, size_t count) { r.polygon(v, count); });
            return true;
        });
    }

    template <class F> void forEachDataPolygon(const float* b, size_t end, F&& f) const {
        size_t i = m_l.dataBegin;
        while (i < end) {
            const int token = int(b[i]);
            size_t size = 0;
            switch (token) {
            case GL_PASS_THROUGH_TOKEN:
                size = 2;
                break;
            case GL_POINT_TOKEN:
            case GL_BITMAP_TOKEN:
            case GL_DRAW_PIXEL_TOKEN:
            case GL_COPY_PIXEL_TOKEN:
                size = 1 + kVertexFloats;
                break;
            case GL_LINE_TOKEN:
            case GL_LINE_RESET_TOKEN:
                size = 1 + 2 * kVertexFloats;
                break;
            case GL_POLYGON_TOKEN: {
                if (i + 2 > end) return;
                const float fc = b[i + 1];
                if (!(fc >= 0.0f) || fc > float(end)) return;
                size = 2 + size_t(fc) * kVertexFloats;
                if (i + size > end) return;
                f(b + i + 2, size_t(fc));
                break;
            }
            default:
                return;
            }
            i += size;
        }
    }

    // Draws what `shapes` draws into an image covering `box` (picture
    // units, cut to the picture) at the layout's raster scale, then the
    // image into the picture. Transparent where nothing was drawn, so the
    // shapes drawn before show through.
    template <class F> bool rasterise(QRectF box, F&& shapes) {
        box = box.intersected(QRectF(0, 0, m_l.W, m_l.H));
        if (box.isEmpty()) return true;
        const double scale = m_l.rasterScale * aglRasterScale(box.width() * m_l.rasterScale,
                                                              box.height() * m_l.rasterScale);
        const QSize size(std::max(1, int(std::ceil(box.width() * scale))),
                         std::max(1, int(std::ceil(box.height() * scale))));
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        if (image.isNull()) return false;
        image.fill(Qt::transparent);
        aglPictureLayout flat = m_l;
        flat.rasterScale = 0;
        bool ok = false;
        {
            QPainter ip(&image);
            ip.scale(double(size.width()) / box.width(), double(size.height()) / box.height());
            ip.translate(-box.topLeft());
            Replay inner(ip, flat, m_texts, m_stop);
            inner.m_raster = true;
            ok = shapes(inner);
            inner.flush();
        }
        if (!ok) return false;
        flush();
        return drawImage(box, image);
    }

    bool drawImage(const QRectF& box, const QImage& image) {
        if (m_images && *m_images) return (*m_images)(m_p, box, image);
        m_p.drawImage(box, image);
        return true;
    }

    // Filled polygons of one colour in a row are gathered into one path, so
    // that their shared edges are inside one shape: no seam at any zoom.
    // An image needs neither: its aliased fills meet without a gap, and
    // each polygon is drawn at once, without an outline. (A path of a few
    // hundred polygons with an outline took Qt's raster engine seconds.)
    void fillPolygon(const QPolygonF& polygon, const QColor& c) {
        if (m_raster) {
            if (m_fill != c || m_mode != Mode::Fill) {
                m_p.setPen(Qt::NoPen);
                m_p.setBrush(c);
                m_fill = c;
                m_mode = Mode::Fill;
            }
            m_p.drawPolygon(polygon);
            return;
        }
        if (!m_batch.isEmpty() && c != m_batchColour) flush();
        m_batchColour = c;
        m_batch.addPolygon(polygon);
        m_batch.closeSubpath();
    }

public:
    void flush() {
        if (m_batch.isEmpty()) return;
        setFill(m_batchColour);
        m_p.drawPath(m_batch);
        m_batch.clear();
        m_batch.setFillRule(Qt::WindingFill);
    }

private:
    void setFill(const QColor& c) {
        if (m_fill != c || m_mode != Mode::Fill) {
            m_p.setPen(QPen(c, m_seamWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
            m_p.setBrush(c);
            m_fill = c;
            m_mode = Mode::Fill;
        }
    }
    void setLine(const QColor& c) {
        flush();
        if (m_lineColour != c || m_mode != Mode::Line) {
            m_p.setPen(QPen(c, m_lineWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
            m_p.setBrush(Qt::NoBrush);
            m_lineColour = c;
            m_mode = Mode::Line;
        }
    }

    void point(const float* v) {
        flush();
        const QColor c = vertexColour(v);
        const int ux = m_l.W / std::max(1, m_l.windowWidth);
        const int uy = m_l.H / std::max(1, m_l.windowHeight);
        m_mode = Mode::Other;
        if (ux >= 10 && uy >= 10) {
            const int rx = (ux + 1) / 2, ry = (uy + 1) / 2;
            m_p.setPen(QPen(c, 1.0));
            m_p.setBrush(c);
            m_p.drawEllipse(at(v), double(rx), double(ry));
        } else {
            // One pixel of the window, as the screen shows it.
            const double w = std::max(1, ux), h = std::max(1, uy);
            const QPointF p = at(v);
            m_p.fillRect(QRectF(p.x() - w / 2, p.y() - h / 2, w, h), c);
        }
    }

    void line(const float* a, const float* b) {
        const QColor c(int((channel(a[3]) + channel(b[3])) * 0.5),
                       int((channel(a[4]) + channel(b[4])) * 0.5),
                       int((channel(a[5]) + channel(b[5])) * 0.5));
        setLine(c);
        m_p.drawLine(at(a), at(b));
    }

    void polygon(const float* v, size_t count) {
        if (count < 3) return;
        int sum[3] = {0, 0, 0};
        m_polygon.resize(int(count));
        for (size_t k = 0; k < count; ++k) {
            const float* p = v + k * kVertexFloats;
            sum[0] += channel(p[3]);
            sum[1] += channel(p[4]);
            sum[2] += channel(p[5]);
            m_polygon[int(k)] = at(p);
        }
        const int n = int(count);
        // Clipping can give more than the triangle's three corners: every
        // vertex is drawn.
        fillPolygon(m_polygon, QColor(sum[0] / n, sum[1] / n, sum[2] / n));
    }

    void text(int k, const float* v) {
        if (k < 0 || k >= int(m_texts.size())) return;
        const aglCapturedText& t = m_texts[size_t(k)];
        if (t.pixelSize < 1 || t.text.empty()) return;
        flush();
        // The text as the screen has it, scaled with the window into the
        // picture: the same size relative to the graph, its baseline where
        // the screen put it (centred numbers stay centred).
        QFont f(QString::fromStdString(t.face));
        f.setPixelSize(t.pixelSize);
        f.setWeight(QFont::Weight(std::clamp(t.weight <= 0 ? 400 : t.weight, 1, 1000)));
        f.setKerning(false);
        const double sx = m_l.X(1.0) - m_l.X(0.0), sy = m_l.Y(0.0) - m_l.Y(1.0);
        const QPointF anchor = at(v);
        m_p.save();
        m_p.translate(anchor.x() + double(t.dx) * sx, anchor.y() - double(t.dy) * sy);
        m_p.scale(sx, sy);
        m_p.setFont(f);
        m_p.setPen(vertexColour(v));
        m_p.setBrush(Qt::NoBrush);
        m_p.drawText(QPointF(0.0, 0.0), QString::fromLatin1(t.text.c_str()));
        m_p.restore();
        m_mode = Mode::Other;
        m_fill = QColor();
        m_lineColour = QColor();
    }

    enum class Mode { Other, Fill, Line };
    QPainter& m_p;
    const aglPictureLayout& m_l;
    const std::vector<aglCapturedText>& m_texts;
    const std::function<bool()>& m_stop;
    const aglImageSink* m_images;
    double m_unitsPerPixelX = 1, m_unitsPerPixelY = 1, m_lineWidth = 1, m_seamWidth = 1;
    Mode m_mode = Mode::Other;
    QColor m_fill, m_lineColour;
    QPolygonF m_polygon;
    QPainterPath m_batch;
    QColor m_batchColour;
    bool m_dataDrawn = false;
    bool m_raster = false; // drawing into an image
};

} // namespace

bool aglReplayCapture(QPainter& painter, const aglPictureLayout& layout, const float* buffer,
                      size_t count, const std::vector<aglCapturedText>& texts,
                      const aglSurfaceMesh* mesh, const std::function<bool()>& stop,
                      const aglImageSink& images) {
    Replay r(painter, layout, texts, stop, &images);
    r.frame();
    if (buffer && !r.tokens(buffer, count)) return false;
    r.flush();
    if (mesh && !r.mesh(*mesh)) return false;
    r.flush();
    return !(stop && stop());
}

// --- the writer ----------------------------------------------------------------

aglMetaFileWriter::aglMetaFileWriter() = default;

aglMetaFileWriter::~aglMetaFileWriter() {
    Stop();
}

void aglMetaFileWriter::SetTempFolder(const QString& folder) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tempFolder = folder;
}

void aglMetaFileWriter::SetStatusSink(StatusSink sink) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sink = std::move(sink);
}

std::string aglMetaFileWriter::FileName() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fileName;
}

void aglMetaFileWriter::setStatus(int status) {
    m_status.store(status);
    report(status);
}

void aglMetaFileWriter::report(int status) {
    StatusSink sink;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sink = m_sink;
    }
    if (sink) sink(status);
}

void aglMetaFileWriter::finish(int status, const std::string& fileName) {
    // The writer goes idle and takes its final status in one step: a host
    // that reads the status as final and asks for the next picture at once
    // must not be refused as busy, and a request that comes in between must
    // not have its status overwritten by this picture's.
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_fileName = fileName;
        m_state.store(kStateIdle);
        m_status.store(status);
    }
    report(status);
}

void aglMetaFileWriter::fail() {
    finish(kFailed, std::string());
}

bool aglMetaFileWriter::WaitUntilDone(int timeoutMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_threadDone.load() || m_state.load() == kStateWriting) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void aglMetaFileWriter::Stop() {
    m_stop.store(true);
    // The writer thread polls the request every few thousand tokens; it
    // takes none of our locks on its way out, so waiting cannot deadlock.
    {
        std::lock_guard<std::mutex> lock(m_threadMutex);
        if (m_thread.joinable()) m_thread.join();
    }
    m_stop.store(false);
}

void aglMetaFileWriter::joinFinished() {
    // Called only while the state is idle: the thread, if any, is past its
    // picture and about to return.
    std::lock_guard<std::mutex> lock(m_threadMutex);
    if (m_thread.joinable()) m_thread.join();
}

bool aglMetaFileWriter::Prepare(int width, int height) {
    if (width < 1 || height < 1 || width > kMaxSize || height > kMaxSize) return false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_state.load() != kStateIdle) return false;
        m_width.store(width);
        m_height.store(height);
        m_status.store(kRequested);
    }
    report(kRequested);
    return true;
}

bool aglMetaFileWriter::BeginCapture(int pointBudget, int windowWidth, int windowHeight) {
    if (m_state.load() != kStateIdle) return false;
    joinFinished();
    if (!m_threadDone.load()) return false;
    if (m_width.load() < 1 || m_height.load() < 1) return false; // nothing requested
    m_budget.store(pointBudget);
    // A window without a pixel, or a picture that outgrew every budget, fails.
    if (windowWidth < 1 || windowHeight < 1 || pointBudget < 1 || pointBudget > kMaxPointBudget) {
        fail();
        return false;
    }
    try {
        // The room the last picture needed, where that is more than the
        // budget: the same scene again is captured in one frame, not once
        // per doubling (an image map of 512 x 512 cells took eight).
        const size_t floats = std::max(size_t(pointBudget) * kVertexFloats, m_roomHint);
        if (m_buffer.size() < floats) m_buffer.resize(floats);
    } catch (const std::bad_alloc&) {
        m_buffer = std::vector<float>();
        fail();
        return false;
    }
    m_used = 0;
    m_dataBegin = m_dataEnd = 0;
    m_inData = false;
    m_overflow = false;
    m_inFeedback = false;
    m_feedbackActive = false;
    m_windowWidth = windowWidth;
    m_windowHeight = windowHeight;
    m_texts.clear();
    m_mesh.reset();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_fileName.clear();
    }
    m_state.store(kStateCapturing);
    if (m_status.load() != kCapturing) setStatus(kCapturing);
    return true;
}

void aglMetaFileWriter::enterFeedback() {
    if (m_feedbackActive || m_overflow) return;
    const size_t room = m_buffer.size() - m_used;
    if (room == 0) {
        m_overflow = true;
        return;
    }
    glFeedbackBuffer(GLsizei(std::min<size_t>(room, size_t(INT32_MAX))), GL_3D_COLOR,
                     m_buffer.data() + m_used);
    glRenderMode(GL_FEEDBACK);
    m_feedbackActive = true;
}

void aglMetaFileWriter::leaveFeedback() {
    if (!m_feedbackActive) return;
    m_feedbackActive = false;
    const GLint n = glRenderMode(GL_RENDER);
    if (n < 0)
        m_overflow = true;
    else
        m_used += size_t(n);
}

void aglMetaFileWriter::BeginObject(aglObj& object) {
    if (m_state.load() != kStateCapturing) return;
    m_inFeedback = true;
    // The graph is the scene's one object that is also its frame graph.
    m_inData = dynamic_cast<aglFrameGraph*>(&object) != nullptr;
    if (m_inData) m_dataBegin = m_used;
    enterFeedback();
}

void aglMetaFileWriter::EndObject(aglObj&) {
    if (m_state.load() != kStateCapturing) return;
    m_inFeedback = false;
    leaveFeedback();
    if (m_inData) m_dataEnd = m_used;
    m_inData = false;
}

void aglMetaFileWriter::SuspendFeedback() {
    if (m_state.load() == kStateCapturing) leaveFeedback();
}

void aglMetaFileWriter::ResumeFeedback() {
    if (m_state.load() == kStateCapturing && m_inFeedback) enterFeedback();
}

void aglMetaFileWriter::CaptureText(float x, float y, float z, const char* text,
                                    const std::string& face, int pixelSize, int weight, float dx,
                                    float dy) {
    if (m_state.load() != kStateCapturing || !m_feedbackActive || !text) return;
    if (int(m_texts.size()) >= kMaxTexts) return;
    aglCapturedText t;
    t.face = face.substr(0, 31);
    t.pixelSize = pixelSize;
    t.weight = weight;
    t.dx = std::isfinite(dx) ? dx : 0.0f;
    t.dy = std::isfinite(dy) ? dy : 0.0f;
    t.text = std::string(text).substr(0, 79);
    m_texts.push_back(std::move(t));
    // The marker carries the text's number; the point after it gives its
    // window position and colour (or nothing, when the anchor is clipped).
    glPassThrough(GLfloat(m_texts.size() - 1));
    glBegin(GL_POINTS);
    glVertex3f(x, y, z);
    glEnd();
}

void aglMetaFileWriter::CaptureRefused() {
    const int status = m_status.load();
    if (m_state.load() == kStateIdle && (status == kRequested || status == kCapturing)) fail();
}

void aglMetaFileWriter::SetSurfaceMesh(std::unique_ptr<aglSurfaceMesh> mesh) {
    if (m_state.load() == kStateCapturing) m_mesh = std::move(mesh);
}

void aglMetaFileWriter::FinishCapture(bool complete) {
    if (m_state.load() != kStateCapturing) return;
    leaveFeedback();
    constexpr size_t kMaxRoom = size_t(kMaxPointBudget) * kVertexFloats;
    if (m_overflow) m_roomHint = std::min(m_buffer.size() * 2, kMaxRoom);
    if (m_overflow || !complete) {
        // Repeated by the render context (with twice the budget after an
        // overflow, and at least twice this room); the status stays
        // "capturing".
        m_mesh.reset();
        m_state.store(kStateIdle);
        return;
    }
    const Format format = m_format.load();
    QString folder;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        folder = m_tempFolder.isEmpty() ? QDir::tempPath() : m_tempFolder;
    }
    const char* suffix = format == Format::Pdf ? ".pdf" : ".svg";
    QByteArray name = QFile::encodeName(folder + QStringLiteral("/emfXXXXXX")) + suffix;
    const int fd = mkstemps(name.data(), 4);
    if (fd < 0) {
        m_mesh.reset();
        fail();
        return;
    }
    // A quarter more, for the next picture's camera.
    m_roomHint = std::min(m_used + m_used / 4, kMaxRoom);
    m_outPath = QFile::decodeName(name);
    m_outFd = fd;
    m_outBuffer.swap(m_buffer);
    m_outCount = m_used;
    m_outTexts.swap(m_texts);
    m_outMesh = std::move(m_mesh);
    m_outFormat = format;
    m_outWidth = m_width.load();
    m_outHeight = m_height.load();
    m_layout.windowWidth = m_windowWidth;
    m_layout.windowHeight = m_windowHeight;
    aglPictureUnits(m_outWidth, m_outHeight, &m_layout.W, &m_layout.H);
    m_layout.W = std::max(m_layout.W, 1);
    m_layout.H = std::max(m_layout.H, 1);
    m_layout.dataBegin = m_dataBegin;
    m_layout.dataEnd = std::max(m_dataBegin, m_dataEnd);
    m_layout.rasterScale = m_vectorData.load() ? 0.0 : aglDataRasterScale(m_layout);

    m_state.store(kStateWriting);
    setStatus(kWriting);
    std::lock_guard<std::mutex> lock(m_threadMutex);
    m_threadDone.store(false);
    try {
        m_thread = std::thread([this] { writerMain(); });
    } catch (const std::system_error&) {
        m_threadDone.store(true);
        ::close(m_outFd);
        ::unlink(name.constData());
        m_outFd = -1;
        fail();
    }
}

void aglMetaFileWriter::writerMain() {
    // The lowest ordinary priority, for this thread only.
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 19);
    std::this_thread::yield();
    const QString path = m_outPath;
    const bool ok = convert(path, m_outFd) && !m_stop.load();
    m_outFd = -1;
    // The buffers go back to the capture side's next grow.
    m_outBuffer = std::vector<float>();
    m_outCount = 0;
    m_outTexts.clear();
    m_outMesh.reset();
    if (ok) {
        finish(kComplete, path.toStdString());
    } else {
        QFile::remove(path);
        fail();
    }
    m_threadDone.store(true);
}

bool aglMetaFileWriter::convert(const QString& path, int fd) {
    bool ok = false;
    {
        QFile file;
        if (file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
            const std::function<bool()> stop = [this] { return m_stop.load(); };
            QPainter painter;
            if (m_outFormat == Format::Pdf) {
                QPdfWriter pdf(&file);
                pdf.setTitle(QStringLiteral("Tavrix View"));
                pdf.setCreator(QStringLiteral("Tavrix"));
                pdf.setResolution(300);
                pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
                pdf.setPageSize(QPageSize(QSizeF(m_outWidth / 100.0, m_outHeight / 100.0),
                                          QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
                if (painter.begin(&pdf)) {
                    painter.scale(double(pdf.width()) / m_layout.W,
                                  double(pdf.height()) / m_layout.H);
                    ok = aglReplayCapture(painter, m_layout, m_outBuffer.data(), m_outCount,
                                          m_outTexts, m_outMesh.get(), stop);
                    ok = painter.end() && ok;
                }
            } else {
                SvgCompactor compactor(&file);
                compactor.open(QIODevice::WriteOnly);
                QSvgGenerator svg;
                svg.setOutputDevice(&compactor);
                svg.setSize(QSize(m_layout.W, m_layout.H));
                svg.setViewBox(QRect(0, 0, m_layout.W, m_layout.H));
                svg.setResolution(300);
                svg.setTitle(QStringLiteral("Tavrix View"));
                svg.setDescription(QStringLiteral("Tavrix View"));
                // The data area's image, encoded once, at speed.
                QImage standIn(1, 1, QImage::Format_ARGB32);
                standIn.fill(Qt::transparent);
                const aglImageSink embed = [&](QPainter& p, const QRectF& box,
                                               const QImage& image) {
                    const QByteArray png = aglEncodePng(image);
                    if (png.isEmpty()) return false;
                    compactor.queueImage(png.toBase64());
                    p.drawImage(box, standIn);
                    return true;
                };
                if (painter.begin(&svg)) {
                    ok = aglReplayCapture(painter, m_layout, m_outBuffer.data(), m_outCount,
                                          m_outTexts, m_outMesh.get(), stop, embed);
                    ok = painter.end() && ok;
                }
                ok = compactor.flushAll() && compactor.imagesPlaced() && ok;
            }
            ok = file.flush() && ok;
            ok = file.error() == QFileDevice::NoError && ok;
            file.close();
        }
    }
    (void)path;
    // Every byte on the disk, or the picture is not complete.
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    return ok;
}
