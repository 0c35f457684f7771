// Render engine benchmark, headless (Mesa surfaceless or a GPU's EGL device).
//
//   bench_render [seconds] [picture.png]
//
// 1. Continuous rendering of 500 000 lit, smooth-shaded triangles held in a
//    display list, 800 x 600, through the camera at the home position:
//    frames per second.
// 2. The cost of publishing a frame (read-back into a QImage and hand-over)
//    as a share of the frame time, in the same run.
// 3. Latency from a Run command to the published frame for an empty scene
//    (median and 95th percentile of 200).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "aglGL.h"
#include "aglView.h"

namespace {

using Clock = std::chrono::steady_clock;

// A height field of 501 x 501 samples: 500 x 500 quads = 500 000 triangles,
// compiled once into a display list and called every frame.
class MeshObj : public aglObj, public aglFrameGraph {
public:
    static constexpr int kN = 501;
    bool LockFrameData(aglRenderContext&) override { return true; }
    void UnlockFrameData() override {}
    void Render(RenderMode mode) override {
        if (m_list == 0) compile();
        glEnable(GL_LIGHTING);
        glColor3f(0.3f, 0.6f, 0.9f);
        glCallList(m_list);
        glDisable(GL_LIGHTING);
        aglObj::Render(mode);
    }
    long long triangles() const { return 2LL * (kN - 1) * (kN - 1); }

private:
    static float height(int i, int j) {
        const float x = float(i) / (kN - 1), y = float(j) / (kN - 1);
        return 0.3f + 0.25f * std::sin(9.0f * x) * std::cos(7.0f * y);
    }
    void compile() {
        m_list = glGenLists(1);
        glNewList(m_list, GL_COMPILE);
        glShadeModel(GL_SMOOTH);
        const float d = 1.0f / (kN - 1);
        for (int j = 0; j + 1 < kN; ++j) {
            glBegin(GL_TRIANGLE_STRIP);
            for (int i = 0; i < kN; ++i)
                for (int k = 1; k >= 0; --k) {
                    const int jj = j + k;
                    const float dzdx =
                        (height(std::min(i + 1, kN - 1), jj) - height(std::max(i - 1, 0), jj)) /
                        (2 * d);
                    const float dzdy =
                        (height(i, std::min(jj + 1, kN - 1)) - height(i, std::max(jj - 1, 0))) /
                        (2 * d);
                    const float len = std::sqrt(dzdx * dzdx + dzdy * dzdy + 1.0f);
                    glNormal3f(-dzdx / len, -dzdy / len, 1.0f / len);
                    glVertex3f(i * d, jj * d, height(i, jj));
                }
            glEnd();
        }
        glEndList();
    }
    GLuint m_list = 0;
};

class EmptyObj : public aglObj, public aglFrameGraph {
public:
    bool LockFrameData(aglRenderContext&) override { return true; }
    void UnlockFrameData() override {}
};

void home(aglCameraObj& cam) {
    cam.SetCenter(0.5f, 0.5f, 0.3f);
    cam.SetDistance(3.0f);
    cam.SetElevation(26.0f);
    cam.SetAzimuth(-108.5f);
    cam.SaveHome();
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    {
        aglView view;
        MeshObj mesh;
        aglRenderContext& ctx = view.Context();
        home(view.Camera());
        ctx.AddObject(&view.Camera());
        ctx.AddObject(&mesh);
        ctx.SetGraph(&mesh);
        view.Resize(800, 600);
        ctx.SetTimings(0, 1000);
        // The first frame compiles the display list; it is not counted below.
        const auto c0 = Clock::now();
        view.Attach(false);
        ctx.WaitUntilIdle();
        if (ctx.StartFailed()) {
            std::fprintf(stderr, "bench_render: %s\n", ctx.StartError().c_str());
            return 1;
        }
        std::printf("platform: %s; renderer: %s; GL %s\n", ctx.Platform().c_str(),
                    ctx.GLRenderer().c_str(), ctx.GLVersion().c_str());
        std::printf("start-up and first frame (context, list of %lld triangles compiled): %.2f s\n",
                    mesh.triangles(), std::chrono::duration<double>(Clock::now() - c0).count());

        ctx.StartContinuous();
        ctx.WaitForFrame(ctx.PublishedFrames() + 1, 600000);
        const uint64_t f0 = ctx.PublishedFrames(), p0 = ctx.PublishMicros();
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const uint64_t f1 = ctx.PublishedFrames(), p1 = ctx.PublishMicros();
        const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
        ctx.StopContinuous();
        ctx.WaitUntilIdle();
        if (argc > 2) ctx.LatestFrame().save(QString::fromLocal8Bit(argv[2]));
        const double frames = double(f1 - f0);
        const double fps = frames / elapsed;
        const double publishMs = frames > 0 ? (p1 - p0) / 1000.0 / frames : 0.0;
        std::printf("continuous, 800x600, %lld lit triangles: %.0f frames in %.1f s = %.2f fps "
                    "(%.1f ms a frame)\n",
                    mesh.triangles(), frames, elapsed, fps, 1000.0 / fps);
        std::printf("publishing (read-back + hand-over): %.2f ms a frame = %.1f %% of the frame "
                    "time\n",
                    publishMs, fps > 0 ? 100.0 * publishMs / (1000.0 / fps) : 0.0);
        view.Detach();
    }
    {
        aglView view;
        EmptyObj empty;
        aglRenderContext& ctx = view.Context();
        ctx.AddObject(&empty);
        ctx.SetGraph(&empty);
        view.Resize(800, 600);
        ctx.SetTimings(0, 1000);
        view.Attach(false);
        ctx.WaitUntilIdle();
        std::vector<double> us;
        for (int i = 0; i < 200; ++i) {
            while (ctx.State() != ThreadState::Idle)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            const uint64_t before = ctx.PublishedFrames();
            const auto t0 = Clock::now();
            ctx.Redraw(true);
            ctx.WaitForFrame(before, 10000);
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        std::sort(us.begin(), us.end());
        std::printf("Run to published frame, empty scene 800x600: median %.2f ms, 95th "
                    "percentile %.2f ms\n",
                    us[us.size() / 2] / 1000.0, us[us.size() * 95 / 100] / 1000.0);
        view.Detach();
    }
    return 0;
}
