// aglFont: a bitmap font made of GL display lists, one per character 32..127,
// for text drawn at a raster position (axis numbers and titles, palette-bar
// labels, the data-tip box).
//
// Glyphs are rendered with Qt's font machinery, without antialiasing and with
// full hinting, so that whole-pixel advances add up exactly as Qt lays out the
// same string; each glyph becomes a glBitmap. Face names resolve through
// fontconfig ("Times New Roman" to Liberation Serif, "Arial" to Liberation
// Sans when fonts-liberation2 is installed).
//
// Height follows the convention of the older interface the callers use: a
// positive height is the character cell (ascent + descent) in pixels, a
// negative one the em size, 0 the default of 12.
//
// What Qt says of a font (its pixel size, metrics, the glyphs' bitmaps and
// advances) is the same in every context, so it is kept once per process for
// each aglFontRequest. Prepare fills it ahead of time on any thread: the render
// context has the scene's fonts prepared while it makes its GL context, and
// the render thread then only turns the bitmaps into lists. Whoever needs a
// font first prepares it; a second thread asking meanwhile waits for it.
//
// Threads: the lists exist only in the render thread's GL context, so Build
// and DrawText run there (Build is called on first use). Prepare, the
// constructor, metrics and TextExtent need only Qt and may be called on any
// thread once a QGuiApplication exists. Without one the font draws nothing
// and measures 1 x 1.
#pragma once

#include <memory>
#include <string>
#include <tuple>

#include <QFont>

class aglRenderContext;

// The font an object asks for, as the older interface names it.
struct aglFontRequest {
    std::string face;
    int height = 0;
    int weight = 400;
    bool italic = false, underline = false, strikeOut = false;

    bool operator<(const aglFontRequest& o) const {
        return std::tie(face, height, weight, italic, underline, strikeOut) <
               std::tie(o.face, o.height, o.weight, o.italic, o.underline, o.strikeOut);
    }
    bool operator==(const aglFontRequest& o) const { return !(*this < o) && !(o < *this); }
};

class aglFont {
public:
    static constexpr int kFirstChar = 32;
    static constexpr int kCharCount = 96;

    // `context` (optional) is the render context whose metafile writer receives
    // the text during a capture, and which deletes the lists if the font is
    // destroyed on another thread.
    aglFont(const std::string& face, int height, int weight, bool italic = false,
            bool underline = false, bool strikeOut = false, aglRenderContext* context = nullptr);
    aglFont(const aglFontRequest& request, aglRenderContext* context = nullptr);
    ~aglFont();
    aglFont(const aglFont&) = delete;
    aglFont& operator=(const aglFont&) = delete;

    // Measures the font and renders its glyphs into the process's store,
    // unless that is done already. Any thread; nothing without a
    // QGuiApplication.
    static void Prepare(const aglFontRequest& request);
    // Whether the process holds the glyphs of `request` ready. Any thread.
    static bool IsPrepared(const aglFontRequest& request);

    // Makes the 96 display lists if not yet made; false (and the font draws
    // nothing) when there is no GL context or no usable Qt font. Render thread.
    bool Build();
    // Draws text at the raster position (x, y, z) in the current colour (set
    // glColor, with lighting off, before calling). Characters outside 32..127
    // are skipped. Render thread.
    // dx, dy move the text from the raster position, in window pixels
    // (y up): a caller that placed the text itself on the screen's pixels
    // hands a vector picture the same place.
    void DrawText(float x, float y, float z, const char* text, float dx = 0.0f, float dy = 0.0f);
    // The pixel size of the glyphs (their em), 0 for an unusable font.
    int PixelSize() const { return m_usable ? m_font.pixelSize() : 0; }
    // Width and height in pixels of text laid out in this font; 1 x 1 for a
    // null text or an unusable font.
    void TextExtent(const char* text, int* width, int* height) const;

    const std::string& Face() const { return m_request.face; }
    int RequestedHeight() const { return m_request.height; }
    int Weight() const { return m_request.weight; }
    bool IsUsable() const { return m_usable; }
    int Descent() const { return m_descent; }
    int AverageCharWidth() const { return m_avgCharWidth; }
    int MaxCharWidth() const { return m_maxCharWidth; }
    int CharHeight() const { return m_charHeight; } // ascent + descent
    unsigned ListBase() const { return m_listBase; }
    // The Qt font the glyphs are drawn with.
    const QFont& QtFont() const { return m_font; }

    struct Shape; // what the process keeps of one request

private:
    aglFontRequest m_request;
    aglRenderContext* m_context;
    std::shared_ptr<Shape> m_shape;
    QFont m_font;
    bool m_usable = false;
    bool m_buildFailed = false;
    unsigned m_listBase = 0;
    int m_descent = 0;
    int m_avgCharWidth = 0;
    int m_maxCharWidth = 0;
    int m_charHeight = 0;
};
