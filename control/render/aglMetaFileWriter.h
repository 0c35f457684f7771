// aglMetaFileWriter: the vector picture of the scene. The render context
// draws one capture frame in GL feedback mode through it (the capture side:
// feedback buffer, point budget, overflow); a writer thread of its own then
// replays the captured points, lines, polygons, texts and surface mesh with
// QPainter into an SVG file (QSvgGenerator) or a PDF file (QPdfWriter) of the
// requested physical size (the converter side).
//
// Picture arithmetic: the requested size is in hundredths of a millimetre;
// the logical picture is W x H units at 300 units per inch (W = floor(width
// in inches x 300)); window pixels map into it with 2 % margins all round and
// y turned downwards; a black frame is drawn one unit inside the edge.
//
// The data area: the filled shapes of the graph object (an image map's
// cells, a bar chart's faces) and a surface's mesh go into the picture as a
// raster image at the picture's own resolution (one pixel per unit, fewer
// for pictures much larger than their window: aglDataRasterScale), while
// axes, labels, texts and the palette bar stay vectors: a 512 x 512 surface
// makes a file of about a megabyte and a half (the image a PNG of its own,
// aglPng) that any viewer opens in well under a second, rather than
// hundreds of thousands of polygons. SetVectorData(true) keeps the data area
// as polygons too.
//
// Status (Status(), and the status sink, called from the thread that changed
// it): 1 idle, 2 requested, 3 capturing, 4 writing, 5 failed, 6 complete. A
// capture that fails for any reason (no temporary file, a write error, a full
// disk, a buffer that cannot grow, a stop) deletes its file, clears the name
// and reports 5; only a file written and closed without error reports 6.
//
// Threads: Prepare, FileName, Status and the sink's registration on the
// host's thread; the capture side on the render thread only (inside the
// frame); the converter on the writer thread, on buffers the render thread
// hands over and no longer touches. The destructor stops the writer thread.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "aglFrameHooks.h"

class QPainter;
class QImage;
class QRectF;

// The order the painter's rule draws the cells of a mesh in: cell indices
// (i + j * (nx - 1)), farthest first. Cells with a missing corner are left out.
std::vector<int> aglMeshCellOrder(const aglSurfaceMesh& mesh);

// What a replay draws into, besides the painter.
struct aglPictureLayout {
    int windowWidth = 1, windowHeight = 1; // pixels at capture time
    int W = 1, H = 1;                      // logical picture units
    // Window pixel (x, y up) to picture units.
    double X(double x) const { return W * x / windowWidth * 0.96 + W * 0.02; }
    double Y(double y) const { return (windowHeight - y) * H / windowHeight * 0.96 + H * 0.02; }
    // The graph object's tokens in the buffer: [dataBegin, dataEnd) floats.
    size_t dataBegin = 0, dataEnd = 0;
    // Image pixels per picture unit for the data area; 0 draws it as vectors.
    double rasterScale = 0;
};

// Image pixels per picture unit for a data area of the given size in units:
// 1, or less so that neither side passes kMaxRasterSide pixels.
constexpr int kMaxRasterSide = 6000;
double aglRasterScale(double widthUnits, double heightUnits);

// Image pixels per picture unit for the data area of a picture laid out as
// `layout`: one a unit, or less so that no window pixel becomes more than
// kMaxRasterPerWindowPixel image pixels a side. A picture much larger than
// its window (a printed page asks for a millimetre a pixel, nearly twelve
// units) would otherwise carry an image of tens of millions of pixels that
// shows nothing the window did not.
constexpr double kMaxRasterPerWindowPixel = 4.0;
double aglDataRasterScale(const aglPictureLayout& layout);

// Draws an image of the data area into the picture in place of
// QPainter::drawImage (a file format's own encoding of it); false fails the
// picture.
using aglImageSink = std::function<bool(QPainter&, const QRectF& box, const QImage& image)>;

// The logical size of a picture of width x height hundredths of a millimetre.
void aglPictureUnits(int width, int height, int* W, int* H);

// One text drawn during a capture.
struct aglCapturedText {
    std::string face;
    int pixelSize = 0, weight = 400; // the glyphs' size on the screen (pixels)
    std::string text;
    float dx = 0, dy = 0; // the baseline's start from the anchor (window pixels, y up)
};

// Replays a feedback buffer (GL_3D_COLOR tokens, RGBA) with the painter: the
// frame, then every token in captured order, then the mesh (may be null).
// `stop` is polled now and then; the replay returns false when it said true.
// The data area's images go to `images` where it is set.
bool aglReplayCapture(QPainter& painter, const aglPictureLayout& layout, const float* buffer,
                      size_t count, const std::vector<aglCapturedText>& texts,
                      const aglSurfaceMesh* mesh, const std::function<bool()>& stop = {},
                      const aglImageSink& images = {});

class aglMetaFileWriter : public aglCaptureWriter {
public:
    enum class Format { Svg, Pdf };
    enum Status : int {
        kIdle = 1,
        kRequested = 2,
        kCapturing = 3,
        kWriting = 4,
        kFailed = 5,
        kComplete = 6,
    };
    // The largest point budget a capture may grow to; a picture that needs
    // more fails.
    static constexpr int kMaxPointBudget = 1 << 24;
    static constexpr int kMaxTexts = 100;
    // Requested sizes: each side 1 .. 10^6 hundredths of a millimetre.
    static constexpr int kMaxSize = 1000000;
    using StatusSink = std::function<void(int status)>;

    aglMetaFileWriter();
    ~aglMetaFileWriter() override;
    aglMetaFileWriter(const aglMetaFileWriter&) = delete;
    aglMetaFileWriter& operator=(const aglMetaFileWriter&) = delete;

    // The file format of the next capture (SVG by default). Host thread,
    // while not busy.
    void SetFormat(Format format) { m_format.store(format); }
    Format GetFormat() const { return m_format.load(); }
    // Where temporary files are made (the system's temporary folder by
    // default). Host thread, while not busy.
    void SetTempFolder(const QString& folder);
    // Whether the data area is written as polygons (true) or as one raster
    // image (false, the default). Any thread; taken at the next capture.
    void SetVectorData(bool vectors) { m_vectorData.store(vectors); }
    bool VectorData() const { return m_vectorData.load(); }
    // Called with each new status, on the thread that changed it (host,
    // render or writer thread): a control should only queue the report.
    void SetStatusSink(StatusSink sink);

    int Status() const { return m_status.load(); }
    // The point budget of the last capture begun.
    int CaptureBudget() const { return m_budget.load(); }
    // The file written by the last complete capture ("" for none).
    std::string FileName() const;
    // Waits for the writer thread to end; false on time-out. Host thread.
    bool WaitUntilDone(int timeoutMs);
    // Stops the writer thread (its picture fails) and waits for it.
    void Stop();

    // --- aglCaptureWriter ---------------------------------------------------
    bool IsBusy() const override { return m_state.load() == kStateWriting; }
    bool Prepare(int width, int height) override;
    bool BeginCapture(int pointBudget, int windowWidth, int windowHeight) override;
    void BeginObject(aglObj& object) override;
    void EndObject(aglObj& object) override;
    bool Overflowed() const override { return m_overflow; }
    void FinishCapture(bool complete) override;
    bool IsCapturing() const override { return m_state.load() == kStateCapturing; }
    void CaptureText(float x, float y, float z, const char* text, const std::string& face,
                     int pixelSize, int weight, float dx, float dy) override;
    void SetSurfaceMesh(std::unique_ptr<aglSurfaceMesh> mesh) override;
    void CaptureRefused() override;
    void SuspendFeedback() override;
    void ResumeFeedback() override;

private:
    enum : int { kStateIdle = 0, kStateCapturing = 1, kStateWriting = 2 };
    void setStatus(int status);
    void report(int status);
    void finish(int status, const std::string& fileName);
    void fail();
    // Joins a writer thread that has finished its picture.
    void joinFinished();
    void writerMain();
    bool convert(const QString& path, int fd);
    void enterFeedback();
    void leaveFeedback();

    std::atomic<int> m_state{kStateIdle};
    std::atomic<int> m_status{kIdle};
    std::atomic<Format> m_format{Format::Svg};
    std::atomic<bool> m_vectorData{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_threadDone{true};
    std::mutex m_threadMutex; // joins and starts of the writer thread
    std::thread m_thread;

    mutable std::mutex m_mutex; // file name, temporary folder, sink
    std::string m_fileName;
    QString m_tempFolder;
    StatusSink m_sink;

    // Requested picture (host thread writes before the capture starts).
    std::atomic<int> m_width{0}, m_height{0};
    std::atomic<int> m_budget{0};

    // Capture side (render thread).
    std::vector<float> m_buffer;
    size_t m_used = 0;
    size_t m_roomHint = 0; // floats the next capture is given at least
    bool m_overflow = false;
    bool m_inFeedback = false;     // between BeginObject and EndObject
    bool m_feedbackActive = false; // GL is in feedback mode
    bool m_inData = false;         // the object being captured is the graph
    size_t m_dataBegin = 0, m_dataEnd = 0;
    int m_windowWidth = 1, m_windowHeight = 1;
    std::vector<aglCapturedText> m_texts;
    std::unique_ptr<aglSurfaceMesh> m_mesh;

    // Converter side (writer thread, handed over by FinishCapture).
    std::vector<float> m_outBuffer;
    size_t m_outCount = 0;
    std::vector<aglCapturedText> m_outTexts;
    std::unique_ptr<aglSurfaceMesh> m_outMesh;
    aglPictureLayout m_layout;
    int m_outWidth = 0, m_outHeight = 0;
    Format m_outFormat = Format::Svg;
    QString m_outPath;
    int m_outFd = -1;
};
