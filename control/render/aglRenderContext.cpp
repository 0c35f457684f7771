// Over 800 lines: one render thread, its state machine and the commands it serves.
#include "aglRenderContext.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QGuiApplication>

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstring>
#include <utility>
#include <vector>

#include "aglEglContext.h"
#include "aglFont.h"
#include "aglGL.h"
#include "aglJitter.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string glString(GLenum name) {
    const GLubyte* s = glGetString(name);
    return s ? reinterpret_cast<const char*>(s) : "";
}

// Reads the bound framebuffer's w x h pixels at (0, 0) into img (top row
// first, as QImage keeps them) and makes every pixel opaque.
void readPixels(QImage& img, int w, int h, GLenum format) {
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    uchar* bits = img.bits(); // an image no one else holds yet: no copy
    glReadPixels(0, 0, w, h, format, GL_UNSIGNED_BYTE, bits);
    const qsizetype stride = img.bytesPerLine();
    std::vector<uchar> tmp(static_cast<size_t>(stride));
    for (int y = 0; y < h / 2; ++y) {
        uchar* a = bits + stride * y;
        uchar* b = bits + stride * (h - 1 - y);
        std::memcpy(tmp.data(), a, size_t(stride));
        std::memcpy(a, b, size_t(stride));
        std::memcpy(b, tmp.data(), size_t(stride));
    }
    // Alpha is whatever blending left in the framebuffer; the picture is opaque.
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(bits + stride * y);
        for (int x = 0; x < w; ++x)
            row[x] |= 0xFF000000u; // byte 3 on little-endian
    }
}

} // namespace

void aglDataTipOrigin(int pickX, int pickY, int boxWidth, int boxHeight, int width, int height,
                      int* x, int* y) {
    int bx = pickX + 10, by = pickY + 10;
    if (bx + boxWidth > width && boxWidth + 20 < bx) bx -= 20 + boxWidth;
    if (by + boxHeight > height && boxHeight + 20 < by) by -= 20 + boxHeight;
    *x = bx;
    *y = by;
}

aglRenderContext::aglRenderContext() = default;

aglRenderContext::~aglRenderContext() {
    Stop();
    ClearObjects();
}

// --- thread ----------------------------------------------------------------

void aglRenderContext::SetTimings(int startDelayMs, int quietMs) {
    m_startDelayMs = std::max(0, startDelayMs);
    m_quietMs = std::max(0, quietMs);
}

void aglRenderContext::Start(bool lowPriority) {
    if (m_started.exchange(true)) return;
    m_thread = std::thread(&aglRenderContext::threadMain, this, lowPriority);
    if (QGuiApplication::instance())
        m_fontThread = std::thread(&aglRenderContext::fontThreadMain, this);
}

// At the process's normal priority, unlike the render thread: the first use
// of fonts reads the font configuration under Qt's lock, which the host's
// thread may be waiting for, and the work is a few fonts long.
void aglRenderContext::fontThreadMain() {
    std::unique_lock<std::mutex> lock(m_fontMutex);
    for (;;) {
        m_fontCv.wait(lock, [this] { return m_fontQuit || !m_fontQueue.empty(); });
        if (m_fontQuit) return;
        const aglFontRequest request = m_fontQueue.front();
        m_fontQueue.erase(m_fontQueue.begin());
        lock.unlock();
        aglFont::Prepare(request);
        lock.lock();
    }
}

void aglRenderContext::PrepareFonts(const aglObj& object) {
    std::vector<aglFontRequest> fonts;
    object.FontsInUse(fonts);
    if (fonts.empty()) return;
    {
        std::lock_guard<std::mutex> lock(m_fontMutex);
        for (const aglFontRequest& f : fonts)
            if (std::find(m_fontQueue.begin(), m_fontQueue.end(), f) == m_fontQueue.end())
                m_fontQueue.push_back(f);
    }
    m_fontCv.notify_one();
}

void aglRenderContext::Stop() {
    assert(!IsRenderThread() && "the render thread cannot wait for itself");
    if (!m_thread.joinable()) return;
    m_command.store(int(ThreadCommand::Quit));
    // The thread may be waiting without time-out: wake it, or it never sees Quit.
    wake();
    wakeDataWait();
    m_thread.join();
    if (m_fontThread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_fontMutex);
            m_fontQuit = true;
        }
        m_fontCv.notify_one();
        m_fontThread.join();
    }
}

void aglRenderContext::wake() {
    m_wakes.fetch_add(1);
    m_event.set();
}

bool aglRenderContext::IsRenderThread() const {
    return m_renderThreadId.load() == std::this_thread::get_id();
}

bool aglRenderContext::ShouldStopWaiting() const {
    const int c = m_command.load();
    return c == int(ThreadCommand::Pause) || c == int(ThreadCommand::Quit);
}

bool aglRenderContext::SleepUnlessStopped(int stepMs) {
    std::unique_lock<std::mutex> lock(m_stopMutex);
    m_stopCv.wait_for(lock, std::chrono::milliseconds(stepMs),
                      [this] { return ShouldStopWaiting(); });
    return ShouldStopWaiting();
}

void aglRenderContext::wakeDataWait() {
    // Under the mutex: a waiter that has just found no reason to stop is
    // then already asleep and gets the notification.
    { std::lock_guard<std::mutex> lock(m_stopMutex); }
    m_stopCv.notify_all();
}

std::string aglRenderContext::StartError() const {
    std::lock_guard<std::mutex> lock(m_infoMutex);
    return m_startError;
}

bool aglRenderContext::pollUntil(const std::function<bool()>& done, int stepMs) {
    // Woken at once by the change it waits for (a host that slept its whole
    // step after the thread went idle lost up to that step on every picture);
    // the step stays as the pace of a condition that changes unannounced.
    std::unique_lock<std::mutex> lock(m_waitMutex);
    while (!done())
        m_waitCv.wait_for(lock, std::chrono::milliseconds(stepMs));
    return true;
}

void aglRenderContext::setState(ThreadState state) {
    m_state.store(int(state));
    wakeWaiters();
}

void aglRenderContext::wakeWaiters() {
    // Under the mutex: a waiter that has just found its condition false is
    // then already asleep and gets the notification.
    { std::lock_guard<std::mutex> lock(m_waitMutex); }
    m_waitCv.notify_all();
}

void aglRenderContext::threadMain(bool lowPriority) {
    m_renderThreadId.store(std::this_thread::get_id());
    if (lowPriority) {
        // Lowest ordinary priority for this thread only (Linux nice is per thread).
        setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 19);
    }
    // The start-up delay, cut short by Quit.
    for (auto until = Clock::now() + std::chrono::milliseconds(m_startDelayMs);
         Clock::now() < until && m_command.load() != int(ThreadCommand::Quit);)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));

    if (m_command.load() == int(ThreadCommand::Quit) || !startGL()) {
        if (m_command.load() != int(ThreadCommand::Quit)) m_startFailed.store(true);
        setState(ThreadState::Ended);
        { std::lock_guard<std::mutex> lock(m_frameMutex); }
        m_frameCv.notify_all();
        return;
    }
    setupGLState();
    // The first "swap": the cleared picture; a host holding frames (that
    // wants none before its picture) has it noted as a draw instead, as any
    // other asked for while held.
    // A release in between that missed the note gets the cleared picture.
    if (m_held.load()) m_heldRedraw.store(true);
    if (!m_held.load()) publish();
    setState(ThreadState::Busy);

    while (m_command.load() != int(ThreadCommand::Quit)) {
        if (m_command.load() == int(ThreadCommand::Pause)) {
            setState(ThreadState::Idle);
            m_event.wait();
            setState(ThreadState::Busy);
            continue;
        }
        // A frame follows the warm-up: a request for one that came with it
        // shares its wake.
        if (m_command.load() == int(ThreadCommand::Run) && m_warmUpPending.exchange(false))
            runWarmUp();
        aglCaptureWriter* writer = m_writer.load();
        if (m_metafileRequest.load() && writer && !writer->IsBusy())
            render(RenderMode::MetaFile);
        else if (m_pickRequest.load())
            render(RenderMode::Pick);
        else
            render(RenderMode::Normal);

        if (m_command.load() != int(ThreadCommand::Run) || m_metafileRequest.load()) continue;
        if (!m_aaEnabled.load() || m_accumComplete.load()) {
            setState(ThreadState::Idle);
            m_event.wait();
            setState(ThreadState::Busy);
            continue;
        }
        // Anti-aliasing is progressive: the plain picture is already out; the
        // jittered passes start after a quiet period and stop at any wake-up.
        m_passIndex.store(0);
        setState(ThreadState::AwaitingIdle);
        const bool woken = m_event.waitFor(std::chrono::milliseconds(m_quietMs));
        setState(ThreadState::Busy);
        if (woken) continue;
        m_passIndex.store(0);
        const uint64_t wakes = m_wakes.load();
        while (!m_accumComplete.load() && m_command.load() == int(ThreadCommand::Run) &&
               m_wakes.load() == wakes) {
            const aglJitterOffset j = aglJitterFor(m_passIndex.load(), m_aaPasses.load());
            m_camera.SetJitter(j.x, j.y);
            render(RenderMode::AntiAliasPass);
        }
        m_camera.SetJitter(0.0f, 0.0f);
        // A pass sequence cut short starts again from the first pass.
        if (!m_accumComplete.load()) m_passIndex.store(0);
    }

    m_tipFont.reset();
    deletePendingLists();
    m_accum.reset();
    m_fbo.reset();
    m_gl->Destroy();
    setState(ThreadState::Ended);
    { std::lock_guard<std::mutex> lock(m_frameMutex); }
    m_frameCv.notify_all();
}

bool aglRenderContext::startGL() {
    m_gl = std::make_unique<aglEglContext>();
    if (!m_gl->Create()) {
        std::lock_guard<std::mutex> lock(m_infoMutex);
        m_startError = m_gl->Error();
        return false;
    }
    m_fbo = std::make_unique<aglFramebuffer>();
    m_accum = std::make_unique<aglAccumBuffer>();
    if (!ensureFramebuffer()) {
        std::lock_guard<std::mutex> lock(m_infoMutex);
        m_startError = "the GL refused a framebuffer object for the picture";
        m_fbo.reset();
        m_accum.reset();
        m_gl->Destroy();
        return false;
    }
    std::lock_guard<std::mutex> lock(m_infoMutex);
    m_platform = m_gl->Platform();
    return true;
}

bool aglRenderContext::ensureFramebuffer() {
    int w, h;
    GetWindowSize(&w, &h);
    w = std::max(1, w);
    h = std::max(1, h);
    if (m_fbo->IsAllocated() && m_fbo->Width() == w && m_fbo->Height() == h) return true;
    if (!m_fbo->Allocate(w, h, GL_RGBA8, true)) return false;
    m_fbo->Bind();
    if (m_accum->IsAllocated()) m_accum->Ensure(w, h);
    m_accumComplete.store(false);
    return true;
}

void aglRenderContext::applyMaterial() {
    const GLfloat on[] = {0.9f, 0.9f, 0.9f, 1.0f}, off[] = {0.0f, 0.0f, 0.0f, 1.0f};
    glMaterialfv(GL_FRONT, GL_SPECULAR, m_highlight.load() ? on : off);
}

void aglRenderContext::setupGLState() {
    {
        std::lock_guard<std::mutex> lock(m_infoMutex);
        m_vendor = glString(GL_VENDOR);
        m_renderer = glString(GL_RENDERER);
        m_version = glString(GL_VERSION);
        // A compatibility context above 3.0 lists extensions only by index.
        m_extensions = glString(GL_EXTENSIONS);
    }
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    const GLfloat ambient[] = {0.4f, 0.4f, 0.4f, 1.0f};
    const GLfloat diffuse[] = {0.7f, 0.7f, 0.7f, 1.0f};
    const GLfloat specular[] = {0.9f, 0.9f, 0.9f, 1.0f};
    const GLfloat position[] = {-50.0f, 200.0f, 200.0f, 1.0f};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    applyMaterial();
    glMaterialf(GL_FRONT, GL_SHININESS, 64.0f);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glClearColor(m_background[0].load(), m_background[1].load(), m_background[2].load(),
                 m_background[3].load());
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// --- commands ----------------------------------------------------------------

void aglRenderContext::Pause() {
    assert(!IsRenderThread() && "the render thread cannot wait for itself");
    // A picture being written out does not stop the pause: the writer thread
    // works on buffers of its own. A capture frame being drawn is finished
    // first (the wait below covers it).
    m_command.store(int(ThreadCommand::Pause));
    if (m_state.load() == int(ThreadState::AwaitingIdle)) wake();
    // A frame waiting for its data gives up now rather than at the end of
    // its 20 ms step.
    wakeDataWait();
    // The hand-over reads neither the scene nor the data, and the thread
    // looks at the command before it reads them again: a frame that has
    // reached it is not waited for. (The command is written before the flag
    // is read, and the thread clears the flag before it reads the command.)
    pollUntil(
        [this] {
            const int s = m_state.load();
            return s == int(ThreadState::NotStarted) || s == int(ThreadState::Idle) ||
                   s == int(ThreadState::Ended) || m_handingOver.load();
        },
        5);
}

void aglRenderContext::Resume() {
    if (m_held.load()) {
        // The thread stays (or goes) idle; the draw waits for the release.
        m_heldRedraw.store(true);
        m_command.store(int(ThreadCommand::Pause));
        return;
    }
    m_command.store(int(ThreadCommand::Run));
    wake();
}

void aglRenderContext::SetHeld(bool held) {
    m_held.store(held);
    if (!held && m_heldRedraw.exchange(false)) Resume();
}

void aglRenderContext::StartContinuous() {
    Pause();
    m_command.store(int(ThreadCommand::Continuous));
    m_accumComplete.store(false);
    wake();
}

void aglRenderContext::StopContinuous() {
    m_command.store(int(ThreadCommand::Run));
}

void aglRenderContext::WaitUntilIdle() {
    assert(!IsRenderThread() && "the render thread cannot wait for itself");
    // Held, the thread stays paused: a frame still drawing ends, and no
    // request noted meanwhile is drawn before the release.
    if (!m_held.load()) m_command.store(int(ThreadCommand::Run));
    pollUntil(
        [this] {
            const int s = m_state.load();
            return s == int(ThreadState::AwaitingIdle) || s == int(ThreadState::Idle) ||
                   s == int(ThreadState::Ended);
        },
        5);
}

void aglRenderContext::Redraw(bool invalidate) {
    if (invalidate) m_accumComplete.store(false);
    Resume();
}

void aglRenderContext::WarmUp(WarmUpJob job) {
    {
        std::lock_guard<std::mutex> lock(m_warmUpMutex);
        m_warmUp = std::move(job);
    }
    m_warmUpPending.store(true);
    wake();
}

bool aglRenderContext::WarmUpShouldStop() const {
    if (ShouldStopWaiting()) return true;
    const aglFrameGraph* graph = m_graph.load();
    return graph && graph->DrawsData();
}

void aglRenderContext::runWarmUp() {
    WarmUpJob job;
    {
        std::lock_guard<std::mutex> lock(m_warmUpMutex);
        job = std::exchange(m_warmUp, nullptr);
    }
    if (!job || WarmUpShouldStop() || !ensureFramebuffer()) return;
    // Whatever the job's objects set is put back: the next frame starts from
    // the state the last one left.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glViewport(0, 0, m_fbo->Width(), m_fbo->Height());
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const bool finished = job(*this);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    // The programs are built as the draws are made; the rasterising of what
    // was drawn is not left to the next frame.
    glFinish();
    deletePendingLists();
    if (finished) m_warmUpsFinished.fetch_add(1);
}

// --- scene -------------------------------------------------------------------

void aglRenderContext::AddObject(aglObj* object) {
    if (!object) return;
    std::lock_guard<std::recursive_mutex> lock(m_sceneMutex);
    object->m_context = this;
    m_scene.push_back(object);
    PrepareFonts(*object);
    m_accumComplete.store(false);
}

void aglRenderContext::RemoveObject(aglObj* object) {
    std::lock_guard<std::recursive_mutex> lock(m_sceneMutex);
    auto it = std::find(m_scene.begin(), m_scene.end(), object);
    if (it != m_scene.end()) m_scene.erase(it);
    m_accumComplete.store(false);
}

void aglRenderContext::ClearObjects() {
    std::lock_guard<std::recursive_mutex> lock(m_sceneMutex);
    m_scene.clear();
}

int aglRenderContext::ObjectCount() const {
    std::lock_guard<std::recursive_mutex> lock(m_sceneMutex);
    return int(m_scene.size());
}

void aglRenderContext::SetGraph(aglFrameGraph* graph) {
    m_graph.store(graph);
}
void aglRenderContext::SetPaletteMarker(aglPaletteMarker* marker) {
    m_marker.store(marker);
}
void aglRenderContext::SetCaptureWriter(aglCaptureWriter* writer) {
    m_writer.store(writer);
}

// --- settings ------------------------------------------------------------------

void aglRenderContext::SetWindowSize(int width, int height) {
    std::lock_guard<std::mutex> lock(m_sizeMutex);
    m_width = std::max(1, width);
    m_height = std::max(1, height);
}

void aglRenderContext::GetWindowSize(int* width, int* height) const {
    std::lock_guard<std::mutex> lock(m_sizeMutex);
    *width = m_width;
    *height = m_height;
}

void aglRenderContext::SetBackground(float r, float g, float b) {
    m_background[0].store(r);
    m_background[1].store(g);
    m_background[2].store(b);
    m_accumComplete.store(false);
}

void aglRenderContext::SetHighLight(bool on) {
    m_highlight.store(on);
    m_materialChanged.store(true);
}

void aglRenderContext::SetAntiAliasPasses(int n) {
    if (n < 0) return;
    m_aaPasses.store(n);
    m_aaEnabled.store(n != 0);
    m_accumComplete.store(false);
    m_passIndex.store(0);
}

void aglRenderContext::SetLineSmooth(bool on) {
    m_lineSmooth.store(on);
    m_accumComplete.store(false);
}

void aglRenderContext::SetDataTip(const char* text) {
    std::lock_guard<std::mutex> lock(m_tipMutex);
    if (text)
        m_tip = std::string(text);
    else
        m_tip.reset();
}

// --- output --------------------------------------------------------------------

void aglRenderContext::SetFrameSink(FrameSink sink) {
    std::lock_guard<std::mutex> calls(m_sinkMutex);
    std::lock_guard<std::mutex> lock(m_frameMutex);
    m_frameSink = std::move(sink);
}

void aglRenderContext::SetClipboardSink(ClipboardSink sink) {
    std::lock_guard<std::mutex> calls(m_sinkMutex);
    std::lock_guard<std::mutex> lock(m_frameMutex);
    m_clipboardSink = std::move(sink);
}

QImage aglRenderContext::LatestFrame() const {
    std::lock_guard<std::mutex> lock(m_frameMutex);
    return m_latest;
}

bool aglRenderContext::WaitForFrame(uint64_t after, int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_frameMutex);
    return m_frameCv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return m_published.load() > after || m_state.load() == int(ThreadState::Ended);
    }) && m_published.load() > after;
}

QImage aglRenderContext::RenderAndWait(int timeoutMs) {
    WaitUntilIdle();
    const uint64_t before = m_published.load();
    Redraw(true);
    if (!WaitForFrame(before, timeoutMs)) return QImage();
    return LatestFrame();
}

int aglRenderContext::Pick(int x, int y, uint8_t rgba[4]) {
    assert(!IsRenderThread() && "the render thread cannot wait for itself");
    const int s = m_state.load();
    if (s == int(ThreadState::NotStarted) || s == int(ThreadState::Ended)) return -1;
    if (m_aaEnabled.load() && m_passIndex.load() != 0 && s != int(ThreadState::AwaitingIdle) &&
        s != int(ThreadState::Idle))
        return -1;
    m_command.store(int(ThreadCommand::Run));
    m_pickX.store(x);
    m_pickY.store(y);
    m_pickRequest.store(true);
    wake();
    pollUntil([this] { return !m_pickRequest.load() || m_state.load() == int(ThreadState::Ended); },
              10);
    if (m_pickRequest.exchange(false)) return -1; // the thread ended first
    std::memcpy(rgba, m_pickResult, 4);
    return 0;
}

bool aglRenderContext::RequestCapture(int width, int height) {
    if (width == 0 && height == 0) {
        m_clipboardRequest.store(true);
        return true;
    }
    aglCaptureWriter* writer = m_writer.load();
    if (!writer || writer->IsBusy() || !writer->Prepare(width, height)) return false;
    m_metafileRequest.store(true);
    return true;
}

float aglRenderContext::GetFrameRate() const {
    const uint32_t n = std::min<uint32_t>(m_frameCounter.load(), kRingSize);
    if (n == 0) return 0.0f;
    uint64_t sumMs = 0;
    for (uint32_t i = 0; i < n; ++i)
        sumMs += m_ring[i].load();
    const double seconds = std::max(double(sumMs) * 0.001, 3.0517578e-5);
    return float(double(n) / seconds);
}

float aglRenderContext::LastFrameTime() const {
    const uint32_t c = m_frameCounter.load();
    if (c == 0) return 0.0f;
    return float(m_ring[(c - 1) % kRingSize].load()) * 0.001f;
}

std::string aglRenderContext::Platform() const {
    std::lock_guard<std::mutex> lock(m_infoMutex);
    return m_platform;
}
std::string aglRenderContext::GLVendor() const {
    std::lock_guard<std::mutex> lock(m_infoMutex);
    return m_vendor;
}
std::string aglRenderContext::GLRenderer() const {
    std::lock_guard<std::mutex> lock(m_infoMutex);
    return m_renderer;
}
std::string aglRenderContext::GLVersion() const {
    std::lock_guard<std::mutex> lock(m_infoMutex);
    return m_version;
}
std::string aglRenderContext::GLExtensions() const {
    std::lock_guard<std::mutex> lock(m_infoMutex);
    return m_extensions;
}

void aglRenderContext::DeleteListsLater(unsigned base, int count) {
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    m_pendingLists.emplace_back(base, count);
}

void aglRenderContext::DeleteTextureLater(unsigned texture) {
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    m_pendingTextures.push_back(texture);
}

void aglRenderContext::deletePendingLists() {
    std::vector<std::pair<unsigned, int>> lists;
    std::vector<unsigned> textures;
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        lists.swap(m_pendingLists);
        textures.swap(m_pendingTextures);
    }
    for (auto [base, count] : lists)
        glDeleteLists(base, count);
    if (!textures.empty()) glDeleteTextures(GLsizei(textures.size()), textures.data());
}

// --- the frame -------------------------------------------------------------------

void aglRenderContext::publish() {
    // Let the GL finish drawing first (the read-back would wait for it anyway),
    // so that the publish time counts only read-back and hand-over.
    glFinish();
    const auto start = Clock::now();
    const int w = m_fbo->Width(), h = m_fbo->Height();
    // B, G, R, A in memory, which is the window system's own format: the
    // host's paint is then a plain copy (an RGBA frame was converted on
    // every paint, 10-30 ms for a large window on the host's thread).
    // Every frame is read into pixels of its own, which this thread never
    // writes again: a buffer reused once its consumers had let it go was
    // written after their reads with nothing but the image's reference
    // count between them (read without ordering when the image detaches).
    QImage img(w, h, QImage::Format_RGB32);
    if (img.isNull()) return;
    readPixels(img, w, h, GL_BGRA);
    // A sink being cleared waits for this call; one already cleared is not called.
    std::lock_guard<std::mutex> calls(m_sinkMutex);
    FrameSink sink;
    QImage frame;
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        m_latest = img;
        frame = img;
        sink = m_frameSink;
        m_published.fetch_add(1);
    }
    m_frameCv.notify_all();
    if (sink) sink(frame);
    m_publishMicros.fetch_add(uint64_t(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count()));
}

void aglRenderContext::copyToClipboard() {
    const int w = m_fbo->Width() - m_clipboardTrim.load(), h = m_fbo->Height();
    // A window narrower than the trim leaves no picture: refuse rather than
    // read a negative width.
    if (w < 1 || h < 1) return;
    while (glGetError() != GL_NO_ERROR) {
    }
    QImage img(w, h, QImage::Format_ARGB32); // B, G, R, A in memory: GL_BGRA
    readPixels(img, w, h, GL_BGRA);
    while (glGetError() != GL_NO_ERROR) {
    }
    std::lock_guard<std::mutex> calls(m_sinkMutex);
    ClipboardSink sink;
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        sink = m_clipboardSink;
    }
    if (sink) sink(img);
}

void aglRenderContext::drawDataTip(const std::string& text) {
    if (!m_tipFont)
        m_tipFont =
            std::make_unique<aglFont>("Times New Roman", 16, 700, false, false, false, this);
    const int width = m_fbo->Width(), height = m_fbo->Height();
    int tw = 1, th = 1;
    m_tipFont->TextExtent(text.c_str(), &tw, &th);
    const int bw = tw + 6, bh = th + 4;
    int x = 0, y = 0;
    aglDataTipOrigin(m_pickX.load(), m_pickY.load(), bw, bh, width, height, &x, &y);

    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_FOG);
    glDisable(GL_BLEND);
    glLineWidth(1.0f);
    glColor3f(0.9f, 0.9f, 0.7f);
    glBegin(GL_POLYGON);
    glVertex2i(x, y);
    glVertex2i(x + bw, y);
    glVertex2i(x + bw, y + bh);
    glVertex2i(x, y + bh);
    glEnd();
    glColor3f(0.0f, 0.0f, 0.0f);
    // Half-pixel offsets put the outline on pixel centres, so it lands on the
    // box's edge pixels whatever the rasteriser's diamond rule.
    glBegin(GL_LINE_LOOP);
    glVertex2f(x + 0.5f, y + 0.5f);
    glVertex2f(x + bw - 0.5f, y + 0.5f);
    glVertex2f(x + bw - 0.5f, y + bh - 0.5f);
    glVertex2f(x + 0.5f, y + bh - 0.5f);
    glEnd();
    // The raster colour is fixed at glRasterPos: black is already set.
    m_tipFont->DrawText(float(x + 3), float(y + m_tipFont->Descent() + 2), 0.0f, text.c_str());
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

// Marks the hand-over of a finished frame (HandingOver) for its scope.
class aglRenderContext::HandOver {
public:
    HandOver(aglRenderContext& context, bool on) : m_context(on ? &context : nullptr) {
        if (!m_context) return;
        m_context->m_handingOver.store(true);
        // A pause waiting for the frame goes on now, not at its next look.
        m_context->wakeWaiters();
    }
    ~HandOver() {
        if (m_context) m_context->m_handingOver.store(false);
    }
    HandOver(const HandOver&) = delete;
    HandOver& operator=(const HandOver&) = delete;

private:
    aglRenderContext* m_context;
};

namespace {

// Holds the graph's frame data (its grid and levels) for one frame: taken on
// construction, given back by release() or at the end of the scope, so that
// every way out of a frame gives it back exactly once.
class FrameDataLock {
public:
    FrameDataLock(aglFrameGraph* graph, aglRenderContext& context)
        : m_graph(graph && graph->LockFrameData(context) ? graph : nullptr) {}
    ~FrameDataLock() { release(); }
    FrameDataLock(const FrameDataLock&) = delete;
    FrameDataLock& operator=(const FrameDataLock&) = delete;

    bool held() const { return m_graph != nullptr; }
    void release() {
        if (m_graph) m_graph->UnlockFrameData();
        m_graph = nullptr;
    }

private:
    aglFrameGraph* m_graph;
};

} // namespace

void aglRenderContext::render(RenderMode mode) {
    deletePendingLists();
    aglFrameGraph* graph = m_graph.load();
    const bool haveFbo = ensureFramebuffer();
    FrameDataLock frameData(haveFbo ? graph : nullptr, *this);
    if (!frameData.held()) {
        renderWithoutData(mode, haveFbo);
        return;
    }
    m_frameIncomplete.store(false);

    aglCaptureWriter* writer = m_writer.load();
    if (mode == RenderMode::MetaFile) {
        m_metafileRequest.store(false);
        // Twice the room after an overflow; the writer refuses (and fails the
        // picture) once the budget passes its limit.
        m_captureBudget = (writer && writer->Overflowed())
                              ? int(std::min<int64_t>(int64_t(m_captureBudget) * 2, INT32_MAX))
                              : 5000;
        if (!writer || !writer->BeginCapture(m_captureBudget, m_fbo->Width(), m_fbo->Height()))
            return;
    }

    std::unique_lock<std::recursive_mutex> sceneLock(m_sceneMutex);
    const auto start = Clock::now();
    bool draw = mode != RenderMode::Pick && mode != RenderMode::AntiAliasPass;
    if (!reuseAccumulatedFrame(mode)) {
        if (!drawScene(mode, writer)) {
            // Paused half-way: the frame is not shown, a pick reads nothing.
            sceneLock.unlock();
            frameData.release();
            m_frameIncomplete.store(true);
            if (mode == RenderMode::Pick) clearPick();
            return;
        }
        if (finishPass(mode)) draw = true;
    }
    if (draw) drawOverlays(*graph, mode);
    sceneLock.unlock();
    frameData.release();
    // From here on only the frame's own pixels are read: a pause need not
    // wait (a capture frame is still finished first).
    HandOver handOver(*this, mode != RenderMode::MetaFile);

    if (m_clipboardRequest.load() && mode == RenderMode::Normal) {
        copyToClipboard();
        m_clipboardRequest.store(false);
    }
    if (draw && mode != RenderMode::MetaFile) publish();

    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    const uint32_t c = m_frameCounter.load();
    m_ring[c % kRingSize].store(uint32_t(ms.count()));
    m_frameCounter.store(c + 1);
    m_lastMode.store(int(mode));
    if (mode == RenderMode::MetaFile) {
        writer->FinishCapture(true);
        // An overflow is captured again on the next loop, with twice the room.
        if (writer->Overflowed()) m_metafileRequest.store(true);
    }
}

void aglRenderContext::clearPick() {
    std::memset(m_pickResult, 0, 4);
    m_pickRequest.store(false);
    wakeWaiters();
}

void aglRenderContext::renderWithoutData(RenderMode mode, bool haveFbo) {
    if (mode == RenderMode::Pick) {
        clearPick();
        return;
    }
    if (mode == RenderMode::MetaFile) {
        // Nothing to draw: the picture fails rather than wait for ever.
        m_metafileRequest.store(false);
        if (aglCaptureWriter* writer = m_writer.load()) writer->CaptureRefused();
    }
    if (haveFbo && m_clearWhenEmpty.load()) {
        HandOver handOver(*this, true);
        glClearColor(m_background[0].load(), m_background[1].load(), m_background[2].load(),
                     m_background[3].load());
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        publish();
    }
    m_frameIncomplete.store(true);
}

bool aglRenderContext::reuseAccumulatedFrame(RenderMode mode) {
    if (!m_accumComplete.load() || mode != RenderMode::Normal) return false;
    const bool changed =
        std::any_of(m_scene.begin(), m_scene.end(), [](const aglObj* o) { return o->IsChanged(); });
    if (changed) {
        m_accumComplete.store(false);
        return false;
    }
    if (!m_accum->IsAllocated()) return false;
    m_accum->Return(*m_fbo, 1.0f);
    return true;
}

bool aglRenderContext::drawScene(RenderMode mode, aglCaptureWriter* writer) {
    if (mode == RenderMode::Pick)
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    else
        glClearColor(m_background[0].load(), m_background[1].load(), m_background[2].load(),
                     m_background[3].load());
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_BLEND);
    if (m_materialChanged.exchange(false)) applyMaterial();
    // Objects that draw in window pixels rely on the whole window; the
    // camera sets its own viewport when it is in the scene.
    glViewport(0, 0, m_fbo->Width(), m_fbo->Height());
    for (aglObj* object : m_scene) {
        if (m_command.load() == int(ThreadCommand::Pause) && mode != RenderMode::MetaFile) {
            m_frameIncomplete.store(true);
            break;
        }
        if (mode == RenderMode::MetaFile) writer->BeginObject(*object);
        object->Render(mode);
        m_objectRenderCalls.fetch_add(1);
        if (mode == RenderMode::MetaFile) writer->EndObject(*object);
    }
    // A capture frame is drawn to its end whatever the command: a pause that
    // arrived meanwhile waits for it, and the picture is kept.
    return mode == RenderMode::MetaFile || m_command.load() != int(ThreadCommand::Pause);
}

bool aglRenderContext::finishPass(RenderMode mode) {
    if (mode == RenderMode::Pick) {
        std::memset(m_pickResult, 0, 4); // a point outside the window reads nothing
        glReadPixels(m_pickX.load(), m_pickY.load(), 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, m_pickResult);
        m_pickRequest.store(false);
        wakeWaiters();
        return false;
    }
    if (mode != RenderMode::AntiAliasPass) return false;
    const int n = m_aaPasses.load();
    if (n <= 0 || !m_accum->Ensure(m_fbo->Width(), m_fbo->Height())) return false;
    const int pass = m_passIndex.load();
    if (pass == 0)
        m_accum->Load(*m_fbo, 1.0f / float(n));
    else
        m_accum->Accum(*m_fbo, 1.0f / float(n));
    if (pass + 1 < n) {
        m_passIndex.store(pass + 1);
        return false;
    }
    // The last pass: the averaged frame is shown.
    m_accum->Return(*m_fbo, 1.0f);
    m_accumComplete.store(true);
    m_passIndex.store(0);
    return true;
}

void aglRenderContext::drawOverlays(aglFrameGraph& graph, RenderMode mode) {
    if (graph.ShowsCursor()) {
        if (m_accumComplete.load()) m_camera.ApplyMatrices();
        glDepthMask(GL_FALSE);
        graph.DrawCursor();
        glDepthMask(GL_TRUE);
        if (graph.UsesColorPalette())
            if (aglPaletteMarker* marker = m_marker.load()) marker->DrawMarker(graph);
    }
    if (mode == RenderMode::MetaFile) return; // a picture for a file carries no tip
    std::optional<std::string> tip;
    {
        std::lock_guard<std::mutex> lock(m_tipMutex);
        tip = m_tip;
    }
    if (tip) drawDataTip(*tip);
}
