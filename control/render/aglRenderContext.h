// aglRenderContext: the GL context, the render thread that alone uses it, the
// scene list, and the frame.
//
// The render thread makes an EGL context (aglEglContext: no window and no X
// server needed), draws every frame into a framebuffer object and publishes
// the finished picture as a QImage: LatestFrame() at any time, and the frame
// sink, called on the render thread, for whoever shows it (a widget queues a
// repaint; a command-line tool or a test waits with WaitForFrame).
//
// Threads. Three parties meet here:
//  - the host's thread (properties, mouse, the control's methods) and the
//    pipeline's threads send commands: they write the command word, raise a
//    request flag and set the auto-reset event; they wait for the render
//    thread by polling its state with short sleeps;
//  - the render thread draws; it holds the scene lock (Lock/Unlock, a
//    recursive mutex) for the whole frame;
//  - scene objects are changed by the host under Lock() or while the render
//    thread is paused (Pause/Resume).
// Members that may be called from any thread say so.
//
// Start-up failure: when no GL context can be made the thread ends at once
// with StartFailed() true and StartError() saying why; every wait returns,
// Pick fails, and frames never come. The host shows that it cannot draw.
#pragma once

#include <QImage>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "AutoResetEvent.h"
#include "aglCameraObj.h"
#include "aglFont.h"
#include "aglFrameHooks.h"
#include "aglObj.h"

class aglEglContext;
class aglFramebuffer;
class aglAccumBuffer;

enum class ThreadState : int { NotStarted = 0, Busy = 1, AwaitingIdle = 2, Idle = 3, Ended = 4 };
enum class ThreadCommand : int { Run = 0, Pause = 1, Continuous = 2, Quit = 3 };

// Where the data-tip box goes: its lower-left corner, in GL window pixels
// (y up), for a tip of boxWidth x boxHeight at the pick point (pickX, pickY)
// in a window of width x height. 10 pixels up and right of the point; moved
// to the other side of it at the right or top edge when there is room.
void aglDataTipOrigin(int pickX, int pickY, int boxWidth, int boxHeight, int width, int height,
                      int* x, int* y);

class aglRenderContext {
public:
    // Called on the render thread with every published frame.
    using FrameSink = std::function<void(const QImage&)>;
    // Called on the render thread with the picture for the clipboard.
    using ClipboardSink = std::function<void(const QImage&)>;

    static constexpr int kRingSize = 12;

    aglRenderContext();
    // Stops the thread if it still runs. Host thread.
    ~aglRenderContext();
    aglRenderContext(const aglRenderContext&) = delete;
    aglRenderContext& operator=(const aglRenderContext&) = delete;

    // --- thread ------------------------------------------------------------
    // Starts the render thread (once). It sleeps startDelayMs (1000 by
    // default), makes the GL context and draws the first frame. lowPriority
    // puts it at the lowest scheduling priority the system allows. Host thread.
    void Start(bool lowPriority = true);
    // Sends Quit, wakes the thread and joins it. Host thread; safe to repeat.
    void Stop();
    // Before Start: the delay before the context is made and the quiet time
    // before anti-aliasing passes start (both 1000 ms by default).
    void SetTimings(int startDelayMs, int quietMs);

    ThreadState State() const { return ThreadState(m_state.load()); }
    ThreadCommand Command() const { return ThreadCommand(m_command.load()); }
    // True once the thread has ended because no GL context could be made.
    bool StartFailed() const { return m_startFailed.load(); }
    std::string StartError() const;
    // True on the render thread itself.
    bool IsRenderThread() const;
    // For data waits inside a frame: the thread was told to pause or quit.
    bool ShouldStopWaiting() const;
    // One step of a frame's wait for its data: sleeps stepMs, or less when
    // the thread is told to pause or quit meanwhile, so that a pause never
    // waits out the rest of a step. Returns ShouldStopWaiting(). Render thread.
    bool SleepUnlessStopped(int stepMs);
    // True while the render thread hands a finished frame over (clipboard
    // copy, read-back, frame sink): the scene and the graph's data are no
    // longer read. Any thread.
    bool HandingOver() const { return m_handingOver.load(); }

    // Commands; any thread except the render thread. Pause returns once the
    // thread is idle, or once the frame in flight has reached its hand-over,
    // which then goes on beside the caller (the thread goes idle after it).
    // A frame that reads the scene stops at its next check of the command:
    // between objects, between the strips of a surface, or in the middle of
    // a wait for data. A capture frame is finished first.
    void Pause();
    void Resume();
    // While held, requests to draw (Resume, Redraw) are noted and the thread
    // stays idle; releasing draws once if any came. The cleared picture a
    // started thread hands over first is such a request too. For a host that writes
    // many settings in a row before it wants a picture: without it each
    // write's frame is drawn, and the next write waits for it. Host thread.
    void SetHeld(bool held);
    void StartContinuous();
    void StopContinuous();
    // Sends Run (unless held) and waits until the thread is idle.
    void WaitUntilIdle();
    // Clears the accumulation-complete flag (when invalidate) and sends Run.
    void Redraw(bool invalidate);

    // A warm-up: a drawing the render thread makes once, into a picture
    // nobody sees, while it has nothing else to draw. A software GL builds a
    // program for each new combination of states the moment a draw first
    // meets it, 5 to 20 ms each; a host with no picture to show yet has them
    // built ahead, and its first frames (and whoever pauses the thread
    // meanwhile) do not wait for them. The job runs on the render thread at
    // its next turn of the loop (taking the scene lock only around what it
    // reads of the scene, so that a host waiting for the lock waits for no
    // draw of the warm-up),
    // unless a graph that draws data is bound by then (its first frame then
    // builds what it needs, and is not kept waiting); between its steps it
    // asks WarmUpShouldStop, and it returns whether it ran to its end. A
    // job handed over while another waits replaces it. Host thread.
    using WarmUpJob = std::function<bool(aglRenderContext&)>;
    void WarmUp(WarmUpJob job);
    // Between a warm-up's steps: the thread was told to pause or quit, or a
    // graph that draws data is bound. Render thread.
    bool WarmUpShouldStop() const;
    // Warm-ups that ran to their end. Any thread.
    int WarmUpsFinished() const { return m_warmUpsFinished.load(); }
    // Lets an object that is not in the scene (a warm-up's) draw with this
    // context: its camera, fonts and lists. Render thread.
    void Adopt(aglObj& object) { object.m_context = this; }

    // --- scene -------------------------------------------------------------
    void Lock() { m_sceneMutex.lock(); }
    void Unlock() { m_sceneMutex.unlock(); }
    // Holds the scene lock for a scope.
    class SceneLock {
    public:
        explicit SceneLock(aglRenderContext& context) : m_context(context) { m_context.Lock(); }
        ~SceneLock() { m_context.Unlock(); }
        SceneLock(const SceneLock&) = delete;
        SceneLock& operator=(const SceneLock&) = delete;

    private:
        aglRenderContext& m_context;
    };
    // Appends to the scene list (drawn in the order added), and has the
    // object's fonts prepared. Not owned.
    void AddObject(aglObj* object);
    // Has the fonts an object draws with measured and rendered
    // (aglFont::Prepare) on the context's font thread, while the render
    // thread makes its GL context or draws: the frame that first shows them
    // finds them ready. Host thread.
    void PrepareFonts(const aglObj& object);
    void RemoveObject(aglObj* object);
    void ClearObjects();
    int ObjectCount() const;
    aglCameraObj& Camera() { return m_camera; }
    // The bound graph object and palette bar, not owned; null for none.
    void SetGraph(aglFrameGraph* graph);
    void SetPaletteMarker(aglPaletteMarker* marker);
    void SetCaptureWriter(aglCaptureWriter* writer);
    aglCaptureWriter* CaptureWriter() const { return m_writer.load(); }

    // --- settings (any thread) -------------------------------------------------
    void SetWindowSize(int width, int height); // pixels; an unchanged size is ignored
    void GetWindowSize(int* width, int* height) const;
    void SetBackground(float r, float g, float b); // 0..1
    void SetHighLight(bool on);
    void SetAntiAliasPasses(int n); // 0..32; n < 0 ignored
    int AntiAliasPasses() const { return m_aaPasses.load(); }
    bool IsAccumulationComplete() const { return m_accumComplete.load(); }
    // The anti-aliasing pass the render thread is at (0 when none runs).
    int AntiAliasPassIndex() const { return m_passIndex.load(); }
    void SetLineSmooth(bool on);
    bool LineSmooth() const { return m_lineSmooth.load(); }
    // The data-tip text, copied; null hides the tip.
    void SetDataTip(const char* text);
    // Graph type 0 (no graph) clears to the background when there is nothing to draw.
    void SetClearWhenEmpty(bool on) { m_clearWhenEmpty = on; }
    // Columns trimmed off the right of the clipboard picture (0 here: the
    // framebuffer holds exactly the picture, with no window frame in it).
    void SetClipboardTrim(int pixels) { m_clipboardTrim = pixels < 0 ? 0 : pixels; }

    // --- output --------------------------------------------------------------
    // The sinks run on the render thread under a lock of their own (no other
    // lock held); setting a sink waits for a call in progress, so that a
    // sink once cleared is never called again and its target may go. A sink
    // must not set a sink; a widget's sink should only queue a repaint
    // (QMetaObject::invokeMethod with a queued connection).
    void SetFrameSink(FrameSink sink);
    void SetClipboardSink(ClipboardSink sink);
    // The last published frame (null image before the first). Any thread.
    QImage LatestFrame() const;
    // Number of frames published so far. Any thread.
    uint64_t PublishedFrames() const { return m_published.load(); }
    // Waits until more than `after` frames were published; false on time-out
    // or when the thread ended. Any thread but the render thread.
    bool WaitForFrame(uint64_t after, int timeoutMs);

    // For headless use (tests, command-line renders): sends Run with the
    // accumulated picture dropped, waits for the frame and returns it; a null
    // image when the thread cannot draw or timeoutMs passes. Host thread.
    QImage RenderAndWait(int timeoutMs = 30000);

    // Picks the pixel at GL window coordinates (x, y), bottom-up: draws a pick
    // frame and copies its RGBA bytes to rgba. 0 on success; -1 when the thread
    // is not running or anti-aliasing passes are under way. Host thread.
    int Pick(int x, int y, uint8_t rgba[4]);
    // With 0 x 0: copies the next Normal frame to the clipboard sink. Otherwise
    // asks the metafile writer for a capture of that size. False when refused.
    bool RequestCapture(int width, int height);

    // Frames per second over the last (up to) 12 frames; 0 before the first.
    float GetFrameRate() const;
    // Seconds the last frame took; 0 before the first.
    float LastFrameTime() const;
    bool LastFrameIncomplete() const { return m_frameIncomplete.load(); }
    RenderMode LastFrameMode() const { return RenderMode(m_lastMode.load()); }
    uint32_t FrameCount() const { return m_frameCounter.load(); }
    // Which EGL platform gave the context ("" before start-up).
    std::string Platform() const;
    std::string GLVendor() const;
    std::string GLRenderer() const;
    std::string GLVersion() const;
    std::string GLExtensions() const;

    // Display lists to delete on the render thread at the next frame (an
    // object that owned them was destroyed elsewhere). Any thread.
    void DeleteListsLater(unsigned base, int count);
    // A texture object to delete on the render thread at the next frame.
    // Any thread.
    void DeleteTextureLater(unsigned texture);

    // Time spent publishing frames (read-back and hand-over), in microseconds,
    // summed since start; with PublishedFrames it gives the cost per frame.
    uint64_t PublishMicros() const { return m_publishMicros.load(); }

    // Test hook: counts Render calls made on scene objects by frames.
    uint64_t ObjectRenderCalls() const { return m_objectRenderCalls.load(); }

private:
    class HandOver;
    void threadMain(bool lowPriority);
    void fontThreadMain();
    bool startGL();
    void setupGLState();
    // One frame of the given mode, and its steps: a frame when the graph
    // has no data to show, the re-use of a finished anti-aliased frame, the
    // scene objects (false when a pause stopped them half-way), the end of a
    // pick or anti-aliasing pass (true when the averaged frame is complete),
    // and the cursor, palette marker and data tip over the scene.
    void render(RenderMode mode);
    void renderWithoutData(RenderMode mode, bool haveFbo);
    bool reuseAccumulatedFrame(RenderMode mode);
    bool drawScene(RenderMode mode, aglCaptureWriter* writer);
    bool finishPass(RenderMode mode);
    void drawOverlays(aglFrameGraph& graph, RenderMode mode);
    void clearPick();
    void drawDataTip(const std::string& text);
    void publish();
    void copyToClipboard();
    bool ensureFramebuffer();
    void runWarmUp();
    void applyMaterial();
    void deletePendingLists();
    // Waits until done() holds: woken by every change of the thread's state
    // and a pick's answer, and looks again every stepMs besides.
    bool pollUntil(const std::function<bool()>& done, int stepMs);
    void setState(ThreadState state); // stores it and wakes a host in pollUntil
    void wakeWaiters();
    void wake();         // sets the event and counts the wake-up
    void wakeDataWait(); // cuts a frame's data wait short (after Pause or Quit)

    // thread and hand-shake
    std::atomic<int> m_state{int(ThreadState::NotStarted)};
    std::atomic<int> m_command{int(ThreadCommand::Run)};
    std::atomic<bool> m_held{false};       // SetHeld
    std::atomic<bool> m_heldRedraw{false}; // a draw was asked for while held
    std::atomic<bool> m_startFailed{false};
    platform::AutoResetEvent m_event;
    std::atomic<uint64_t> m_wakes{0}; // every set of the event; stops anti-aliasing passes
    std::thread m_thread;
    std::atomic<std::thread::id> m_renderThreadId{};
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_handingOver{false}; // HandingOver
    // The warm-up waiting for its turn (WarmUp).
    std::mutex m_warmUpMutex;
    WarmUpJob m_warmUp;
    std::atomic<bool> m_warmUpPending{false};
    std::atomic<int> m_warmUpsFinished{0};
    // The font thread (PrepareFonts) and what it has still to prepare.
    std::thread m_fontThread;
    std::mutex m_fontMutex;
    std::condition_variable m_fontCv;
    std::vector<aglFontRequest> m_fontQueue;
    bool m_fontQuit = false;
    // A frame's data wait sleeps on these; Pause and Quit cut it short.
    std::mutex m_stopMutex;
    std::condition_variable m_stopCv;
    // A host waiting for the thread (pollUntil) sleeps on these.
    std::mutex m_waitMutex;
    std::condition_variable m_waitCv;
    int m_startDelayMs = 1000;
    int m_quietMs = 1000;

    // window and look
    mutable std::mutex m_sizeMutex;
    int m_width = 1, m_height = 1;
    std::atomic<float> m_background[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    std::atomic<bool> m_highlight{true};
    std::atomic<bool> m_materialChanged{false};
    std::atomic<bool> m_lineSmooth{false};
    std::atomic<bool> m_clearWhenEmpty{true};
    std::atomic<int> m_clipboardTrim{0};

    // frame timing
    std::atomic<uint32_t> m_ring[kRingSize] = {};
    std::atomic<uint32_t> m_frameCounter{0};

    // picking
    std::atomic<bool> m_pickRequest{false};
    std::atomic<int> m_pickX{-1}, m_pickY{-1};
    uint8_t m_pickResult[4] = {0xFF, 0xFF, 0xFF, 0xFF}; // written before the request clears

    // data tip
    mutable std::mutex m_tipMutex;
    std::optional<std::string> m_tip;
    std::unique_ptr<aglFont> m_tipFont; // render thread

    // scene
    mutable std::recursive_mutex m_sceneMutex;
    std::list<aglObj*> m_scene;
    aglCameraObj m_camera;
    std::atomic<aglFrameGraph*> m_graph{nullptr};
    std::atomic<aglPaletteMarker*> m_marker{nullptr};
    std::atomic<aglCaptureWriter*> m_writer{nullptr};

    // anti-aliasing
    std::atomic<bool> m_aaEnabled{false};
    std::atomic<bool> m_accumComplete{false};
    std::atomic<int> m_aaPasses{0};
    std::atomic<int> m_passIndex{0};

    // capture requests
    std::atomic<bool> m_metafileRequest{false};
    std::atomic<bool> m_clipboardRequest{false};
    int m_captureBudget = 5000; // render thread

    // last frame
    std::atomic<int> m_lastMode{0};
    std::atomic<bool> m_frameIncomplete{false};
    std::atomic<uint64_t> m_objectRenderCalls{0};

    // GL (render thread only)
    std::unique_ptr<aglEglContext> m_gl;
    std::unique_ptr<aglFramebuffer> m_fbo;
    std::unique_ptr<aglAccumBuffer> m_accum;
    mutable std::mutex m_infoMutex;
    std::string m_startError, m_platform, m_vendor, m_renderer, m_version, m_extensions;

    // published frames
    mutable std::mutex m_frameMutex;
    std::condition_variable m_frameCv;
    QImage m_latest;
    std::atomic<uint64_t> m_published{0};
    std::atomic<uint64_t> m_publishMicros{0};
    std::mutex m_sinkMutex; // held while a sink runs and while one is set
    FrameSink m_frameSink;
    ClipboardSink m_clipboardSink;

    std::mutex m_pendingMutex;
    std::vector<std::pair<unsigned, int>> m_pendingLists;
    std::vector<unsigned> m_pendingTextures;
};
