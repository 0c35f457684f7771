#include "aglFont.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include "aglGL.h"
#include "aglRenderContext.h"

namespace {

QFont makeFont(const aglFontRequest& s, int pixelSize) {
    QFont f(QString::fromStdString(s.face));
    f.setPixelSize(pixelSize < 1 ? 1 : pixelSize);
    f.setWeight(QFont::Weight(s.weight < 1 ? 400 : (s.weight > 1000 ? 1000 : s.weight)));
    f.setItalic(s.italic);
    f.setUnderline(s.underline);
    f.setStrikeOut(s.strikeOut);
    f.setKerning(false);
    // Light hinting places glyphs at fractional positions; whole-pixel
    // advances then drift by a pixel against Qt's own layout.
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias));
    return f;
}

// One character's bitmap in glBitmap's layout: bottom row first, most
// significant bit first, rows padded to whole bytes.
struct Glyph {
    int width = 0, height = 0;
    float xorig = 0.0f, yorig = 0.0f, advance = 0.0f;
    std::vector<unsigned char> bits;
};

} // namespace

struct aglFont::Shape {
    std::once_flag measured;
    int pixelSize = 0;
    int descent = 0, avgCharWidth = 0, maxCharWidth = 0, charHeight = 0;
    bool usable = false;

    std::once_flag drawn;
    std::vector<Glyph> glyphs;
    // Whether a string's width is the sum of its characters' advances, as
    // for every fixed-pitch or unkerned font with whole-pixel advances.
    bool advancesAdd = false;
    std::atomic<bool> ready{false}; // the glyphs are drawn
};

namespace {

// The process's store of shapes. A shape stays as long as a font holds it;
// the store forgets the oldest beyond its size.
struct Store {
    std::mutex mutex;
    std::map<aglFontRequest, std::shared_ptr<aglFont::Shape>> shapes;
    std::vector<aglFontRequest> order;
};

Store& theStore() {
    static Store store;
    return store;
}

std::shared_ptr<aglFont::Shape> shapeOf(const aglFontRequest& request) {
    constexpr size_t kKept = 64;
    Store& s = theStore();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto& store = s.shapes;
    auto& order = s.order;
    std::shared_ptr<aglFont::Shape>& shape = store[request];
    if (!shape) {
        shape = std::make_shared<aglFont::Shape>();
        order.push_back(request);
        if (order.size() > kKept) {
            store.erase(order.front());
            order.erase(order.begin());
        }
    }
    return store[request];
}

void measure(const aglFontRequest& s, aglFont::Shape& shape) {
    const int height = s.height;
    int px = height < 0 ? -height : (height == 0 ? 12 : height);
    if (height > 0) {
        // A positive height is the whole cell: find the largest pixel size
        // whose ascent + descent does not exceed it.
        auto cell = [&](int p) {
            QFontMetrics fm(makeFont(s, p));
            return fm.ascent() + fm.descent();
        };
        const int c0 = cell(px);
        if (c0 > 0) px = std::max(1, int(double(px) * height / c0 + 0.5));
        while (px > 1 && cell(px) > height)
            --px;
        while (cell(px + 1) <= height)
            ++px;
    }
    QFontMetrics fm(makeFont(s, px));
    shape.pixelSize = px;
    shape.descent = fm.descent();
    shape.avgCharWidth = fm.averageCharWidth();
    shape.maxCharWidth = fm.maxWidth();
    shape.charHeight = fm.ascent() + fm.descent();
    shape.usable = shape.charHeight > 0;
}

void draw(const aglFontRequest& s, aglFont::Shape& shape) {
    const QFont font = makeFont(s, shape.pixelSize);
    QFontMetrics fm(font);
    shape.glyphs.resize(aglFont::kCharCount);
    QString line;
    int sum = 0;
    for (int i = 0; i < aglFont::kCharCount; ++i) {
        const QChar ch(ushort(aglFont::kFirstChar + i));
        const int advance = fm.horizontalAdvance(ch);
        // The cell covers the advance and the ink box, plus one pixel all round.
        const QRect ink = fm.boundingRect(ch); // origin at the baseline, y down
        const int left = std::min(0, ink.left()) - 1;
        const int right = std::max(advance, ink.right() + 1) + 1;
        const int top = std::min(-fm.ascent(), ink.top()) - 1;
        const int bottom = std::max(fm.descent(), ink.bottom() + 1) + 1;
        const int w = right - left, h = bottom - top;
        QImage cell(w, h, QImage::Format_RGB32);
        cell.fill(Qt::white);
        if (ch.isPrint() && ch != QChar(' ')) {
            QPainter p(&cell);
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawText(QPoint(-left, -top), QString(ch));
        }
        Glyph& g = shape.glyphs[size_t(i)];
        const int rowBytes = (w + 7) / 8;
        g.bits.assign(size_t(rowBytes) * size_t(h), 0);
        for (int y = 0; y < h; ++y) {
            const QRgb* row = reinterpret_cast<const QRgb*>(cell.constScanLine(h - 1 - y));
            for (int x = 0; x < w; ++x)
                if (qGray(row[x]) < 128) g.bits[size_t(y) * rowBytes + x / 8] |= 0x80u >> (x % 8);
        }
        g.width = w;
        g.height = h;
        // xorig: pixels left of the pen position; yorig: pixels below the baseline.
        g.xorig = float(-left);
        g.yorig = float(bottom);
        g.advance = float(advance);
        if (ch.isPrint()) {
            line += ch;
            sum += advance;
        }
    }
    // Every printable character once, in a line: a font that kerns or joins
    // lays that out narrower or wider than its advances.
    shape.advancesAdd = fm.horizontalAdvance(line) == sum;
    shape.ready.store(true);
}

} // namespace

void aglFont::Prepare(const aglFontRequest& request) {
    if (!QGuiApplication::instance()) return;
    const std::shared_ptr<Shape> shape = shapeOf(request);
    std::call_once(shape->measured, measure, request, *shape);
    if (shape->usable) std::call_once(shape->drawn, draw, request, *shape);
}

bool aglFont::IsPrepared(const aglFontRequest& request) {
    Store& s = theStore();
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto it = s.shapes.find(request);
    return it != s.shapes.end() && it->second->ready.load();
}

aglFont::aglFont(const std::string& face, int height, int weight, bool italic, bool underline,
                 bool strikeOut, aglRenderContext* context)
    : aglFont(aglFontRequest{face, height, weight, italic, underline, strikeOut}, context) {}

aglFont::aglFont(const aglFontRequest& request, aglRenderContext* context)
    : m_request(request), m_context(context) {
    if (!QGuiApplication::instance()) return; // no font machinery: the font draws nothing
    m_shape = shapeOf(request);
    std::call_once(m_shape->measured, measure, request, *m_shape);
    m_font = makeFont(request, m_shape->pixelSize);
    m_descent = m_shape->descent;
    m_avgCharWidth = m_shape->avgCharWidth;
    m_maxCharWidth = m_shape->maxCharWidth;
    m_charHeight = m_shape->charHeight;
    m_usable = m_shape->usable;
}

aglFont::~aglFont() {
    if (m_listBase == 0) return;
    if (m_context && !m_context->IsRenderThread())
        m_context->DeleteListsLater(m_listBase, kCharCount);
    else
        glDeleteLists(m_listBase, kCharCount);
}

bool aglFont::Build() {
    if (m_listBase != 0) return true;
    if (!m_usable || m_buildFailed) return false;
    std::call_once(m_shape->drawn, draw, m_request, *m_shape);
    const GLuint base = glGenLists(kCharCount);
    if (base == 0) {
        m_buildFailed = true;
        return false;
    }
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    for (int i = 0; i < kCharCount; ++i) {
        const Glyph& g = m_shape->glyphs[size_t(i)];
        glNewList(base + GLuint(i), GL_COMPILE);
        glBitmap(g.width, g.height, g.xorig, g.yorig, g.advance, 0.0f, g.bits.data());
        glEndList();
    }
    glPopClientAttrib();
    if (glGetError() != GL_NO_ERROR) {
        glDeleteLists(base, kCharCount);
        m_buildFailed = true;
        return false;
    }
    m_listBase = base;
    return true;
}

void aglFont::DrawText(float x, float y, float z, const char* text, float dx, float dy) {
    if (!text) return;
    if (m_context) {
        if (aglCaptureWriter* writer = m_context->CaptureWriter();
            writer && writer->IsCapturing()) {
            // The glyphs' own pixel size: a vector picture draws the text
            // at the size it has on the screen, relative to the window.
            writer->CaptureText(x, y, z, text, m_request.face, PixelSize(), m_request.weight, dx,
                                dy);
            return;
        }
    }
    if (!Build()) return;
    std::vector<unsigned char> codes;
    for (const char* p = text; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        // Bytes outside the font's range would call other objects' lists.
        if (c >= kFirstChar && c < kFirstChar + kCharCount) codes.push_back(c);
    }
    glRasterPos3f(x, y, z);
    if (dx != 0.0f || dy != 0.0f) glBitmap(0, 0, 0.0f, 0.0f, dx, dy, nullptr);
    glPushAttrib(GL_LIST_BIT);
    glListBase(m_listBase - kFirstChar);
    glCallLists(GLsizei(codes.size()), GL_UNSIGNED_BYTE, codes.data());
    glPopAttrib();
}

void aglFont::TextExtent(const char* text, int* width, int* height) const {
    int w = 1, h = 1;
    if (text && m_usable) {
        h = m_charHeight;
        // The glyphs' own advances where they add up as Qt lays the line out
        // (no font engine on this thread then); Qt's layout otherwise.
        std::call_once(m_shape->drawn, draw, m_request, *m_shape);
        bool summed = m_shape->advancesAdd;
        int sum = 0;
        for (const char* p = text; summed && *p; ++p) {
            const unsigned char c = static_cast<unsigned char>(*p);
            if (c < kFirstChar || c >= kFirstChar + kCharCount - 1)
                summed = false; // 127 and beyond: not in the checked line
            else
                sum += int(m_shape->glyphs[size_t(c - kFirstChar)].advance);
        }
        w = summed ? sum : QFontMetrics(m_font).horizontalAdvance(QString::fromLatin1(text));
    }
    if (width) *width = w;
    if (height) *height = h;
}
