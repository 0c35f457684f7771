// The image map at its finest grid while the camera turns, headless.
//
//   bench_imagemap_spin [seconds] [grid]   (defaults: 10 s, 1024: the image
//                                           map's largest grid per axis)
//
// A grid x grid image (a 1024 x 1024 texture) in the free view at 1024 x 768,
// the camera spinning 5 degrees per frame with continuous rendering: frames
// per second, and the number of texture uploads (1: the texture is replayed,
// not uploaded again, while only the camera moves).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "aglArray.h"
#include "aglFilter.h"
#include "aglImageMapObj.h"
#include "aglPalette.h"
#include "aglView.h"

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int n = argc > 2 ? std::atoi(argv[2]) : 1024;
    if (n < 2 || n > 4096) {
        std::fprintf(stderr, "bench_imagemap_spin: grid 2..4096\n");
        return 2;
    }
    aglArray array;
    auto* p = static_cast<float*>(array.allocate(int64_t(n) * n * 4));
    const int32_t ext[2] = {n, n};
    if (!p || array.reshape(2, ext, AGL_FLOAT) != 0) return 1;
    p = static_cast<float*>(array.mutableData());
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            p[size_t(r) * n + c] =
                0.5f + 0.5f * std::sin(0.02f * float(c)) * std::cos(0.015f * float(r));
    aglFilter filter(2);
    filter.setArray(&array);
    filter.setMaxSamples(aglFilter::kMaxSamplesImage);
    if (!filter.filter(1)) return 1;

    aglPalette palette;
    palette.SetRange(0.0, 1.0);
    aglImageMapObj image;
    image.SetPalette(&palette);
    image.SetUseColorPalette(true);
    image.SetShowGrid(false);
    image.SetShowCursor(false);
    image.SetDataSource(&filter);
    {
        aglView view;
        aglRenderContext& ctx = view.Context();
        aglCameraObj& cam = view.Camera();
        cam.SetCenter(0.5f, 0.5f, 0.0f);
        cam.SetDistance(3.0f);
        cam.SetElevation(35.0f);
        cam.SetAzimuth(-108.5f);
        ctx.AddObject(&cam);
        ctx.AddObject(&image);
        ctx.SetGraph(&image);
        view.Resize(1024, 768);
        ctx.SetTimings(0, 1000);
        view.Attach(false);
        ctx.WaitUntilIdle();
        if (ctx.StartFailed()) {
            std::fprintf(stderr, "bench_imagemap_spin: %s\n", ctx.StartError().c_str());
            return 1;
        }
        std::printf("platform: %s; renderer: %s\n", ctx.Platform().c_str(),
                    ctx.GLRenderer().c_str());
        cam.SetSpin(true);
        ctx.StartContinuous();
        ctx.WaitForFrame(ctx.PublishedFrames() + 1, 600000);
        const uint64_t f0 = ctx.PublishedFrames();
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const uint64_t f1 = ctx.PublishedFrames();
        const double dt =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ctx.StopContinuous();
        ctx.WaitUntilIdle();
        const double fps = double(f1 - f0) / dt;
        std::printf("%d x %d image map (%d x %d texture), 1024 x 768, spinning: %.1f frames per "
                    "second (%.1f ms a frame), %d texture upload(s)\n",
                    n, n, image.Plan().width, image.Plan().height, fps, 1000.0 / fps,
                    image.TextureUploads());
        view.Detach();
    }
    return 0;
}
