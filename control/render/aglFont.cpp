#include "aglFont.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <vector>

#include "aglGL.h"
#include "aglRenderContext.h"

namespace {

QFont makeFont(const std::string& face, int pixelSize, int weight, bool italic, bool underline,
               bool strikeOut) {
    QFont f(QString::fromStdString(face));
    f.setPixelSize(pixelSize < 1 ? 1 : pixelSize);
    f.setWeight(QFont::Weight(weight < 1 ? 400 : (weight > 1000 ? 1000 : weight)));
    f.setItalic(italic);
    f.setUnderline(underline);
    f.setStrikeOut(strikeOut);
    f.setKerning(false);
    // Light hinting places glyphs at fractional positions; whole-pixel
    // advances then drift by a pixel against Qt's own layout.
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias));
    return f;
}

} // namespace

aglFont::aglFont(const std::string& face, int height, int weight, bool italic, bool underline,
                 bool strikeOut, aglRenderContext* context)
    : m_face(face), m_height(height), m_weight(weight), m_italic(italic), m_context(context) {
    if (!QGuiApplication::instance()) return; // no font machinery: the font draws nothing
    int px = height < 0 ? -height : (height == 0 ? 12 : height);
    if (height > 0) {
        // A positive height is the whole cell: find the largest pixel size
        // whose ascent + descent does not exceed it.
        auto cell = [&](int p) {
            QFontMetrics fm(makeFont(face, p, weight, italic, underline, strikeOut));
            return fm.ascent() + fm.descent();
        };
        const int c0 = cell(px);
        if (c0 > 0) px = std::max(1, int(double(px) * height / c0 + 0.5));
        while (px > 1 && cell(px) > height)
            --px;
        while (cell(px + 1) <= height)
            ++px;
    }
    m_font = makeFont(face, px, weight, italic, underline, strikeOut);
    QFontMetrics fm(m_font);
    m_descent = fm.descent();
    m_avgCharWidth = fm.averageCharWidth();
    m_maxCharWidth = fm.maxWidth();
    m_charHeight = fm.ascent() + fm.descent();
    m_usable = m_charHeight > 0;
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
    const GLuint base = glGenLists(kCharCount);
    if (base == 0) {
        m_buildFailed = true;
        return false;
    }
    QFontMetrics fm(m_font);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    std::vector<unsigned char> bits;
    for (int i = 0; i < kCharCount; ++i) {
        const QChar ch(ushort(kFirstChar + i));
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
            p.setFont(m_font);
            p.setPen(Qt::black);
            p.drawText(QPoint(-left, -top), QString(ch));
        }
        const int rowBytes = (w + 7) / 8;
        bits.assign(size_t(rowBytes) * size_t(h), 0);
        // Bottom row first, most significant bit first: glBitmap's layout.
        for (int y = 0; y < h; ++y) {
            const QRgb* row = reinterpret_cast<const QRgb*>(cell.constScanLine(h - 1 - y));
            for (int x = 0; x < w; ++x)
                if (qGray(row[x]) < 128) bits[size_t(y) * rowBytes + x / 8] |= 0x80u >> (x % 8);
        }
        glNewList(base + GLuint(i), GL_COMPILE);
        // xorig: pixels left of the pen position; yorig: pixels below the baseline.
        glBitmap(w, h, float(-left), float(bottom), float(advance), 0.0f, bits.data());
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
            writer->CaptureText(x, y, z, text, m_face, PixelSize(), m_weight, dx, dy);
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
        QFontMetrics fm(m_font);
        w = fm.horizontalAdvance(QString::fromLatin1(text));
        h = fm.ascent() + fm.descent();
    }
    if (width) *width = w;
    if (height) *height = h;
}
