// Vector pictures of the height plot and the image map, headless through the control (its
// model, without the widget).
//
//   bench_metafile [runs] [--keep FOLDER] [--vectors] [--only CASE]
//
// A 512 x 512 float array at level 2 in a 1024 x 768 window (the graph as
// the control shows it at its finest level by the rules), first as a surface
// (height plot), then as an image map, captured and written as SVG and as
// PDF: seconds from the request to the finished file (capture frame,
// repeated while the budget doubles, plus the writer thread) and the CPU
// time all threads spent on it (the render and writer threads run at the
// lowest priority, so a busy machine stretches the wall time), and the
// file's size; medians of the runs (3 by default). "capture": until the
// writer thread took the captured frame (status 4).
//   --keep FOLDER  keeps the last file of each case there (surface.svg,
//                  surface.pdf, imagemap.svg, imagemap.pdf), to time a
//                  viewer opening it
//   --vectors      also the surface with its data area as polygons (the
//                  pure vector picture), one run
//   --only CASE    only this case (surface-svg, surface-pdf, imagemap-svg,
//                  imagemap-pdf), to profile it
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "ControlModel.h"
#include "aglGraphView.h"
#include "aglMetaFileWriter.h"
#include "aglRenderContext.h"
#include "plotrane/ControlValues.h"
#include "plotrane/PropertyTable.h"

namespace {

// CPU seconds of the whole process (every thread) so far.
double cpuSeconds() {
    rusage u = {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool writeSurface(const std::string& path, int32_t n) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    uint8_t head[28] = {};
    const uint32_t magic = 0x01160913;
    std::memcpy(head, &magic, 4);
    head[4] = 1; // C
    head[5] = 6; // AGL_FLOAT - 4096
    head[6] = 2; // dimensions
    std::memcpy(head + 12, &n, 4);
    std::memcpy(head + 16, &n, 4);
    std::fwrite(head, 1, sizeof head, out);
    std::vector<float> row(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c)
            row[size_t(c)] = float(std::sin(r * 0.05) * std::cos(c * 0.04));
        std::fwrite(row.data(), 4, row.size(), out);
    }
    return std::fclose(out) == 0;
}

} // namespace

int main(int argc, char** argv) {
    int runs = 3;
    QString keep;
    bool vectors = false;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc)
            keep = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
        else if (std::strcmp(argv[i], "--vectors") == 0)
            vectors = true;
        else
            runs = std::max(1, std::atoi(argv[i]));
    }
    QTemporaryDir runtime;
    if (!std::getenv("XDG_RUNTIME_DIR"))
        setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/surface512.agl";
    if (!writeSurface(path, 512)) return 1;

    // The finest level alone, as a saved picture is drawn.
    ControlModel model(1024, 768, 0, 0);
    model.setFinalPictureLevel(2);
    if (!model.SetProperty(plotrane::DISPID_FileName, plotrane::Variant(path)).ok()) return 1;
    aglGraphView& view = model.engine();
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    // Waits with the model's queued reports running.
    const auto pump = [] {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    const auto settle = [&] {
        while (!(view.levelsSettled() && view.currentLevel() >= 0)) {
            if (std::chrono::steady_clock::now() > until || view.Context().StartFailed())
                return false;
            pump();
            model.tick();
        }
        return true;
    };
    // The window at 96 pixels per inch, in hundredths of a millimetre.
    const int width = int(1024 * 2540.0 / 96.0), height = int(768 * 2540.0 / 96.0);
    int turn = 0;
    // One case: `n` pictures in one format; false when one fails.
    const auto measure = [&](const char* name, bool pdf, int n, const char* keepAs) {
        std::string id = keepAs; // surface.svg: case surface-svg
        std::replace(id.begin(), id.end(), '.', '-');
        if (!only.empty() && only != id) return true;
        std::vector<double> seconds, cpu, capture;
        qint64 bytes = 0;
        for (int k = 0; k < n; ++k) {
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = cpuSeconds();
            // Each run a new picture: the same one asked for again is reused.
            model.SetProperty(plotrane::DISPID_CamAzimuth, plotrane::Variant(float(-100 - turn++)));
            bool accepted = false;
            if (!model.createMetaFile(width, height, pdf, &accepted).ok() || !accepted)
                return false;
            int status = model.metaFileStatus();
            double captured = -1;
            while (status != aglMetaFileWriter::kComplete && status != aglMetaFileWriter::kFailed) {
                if (std::chrono::steady_clock::now() > until + std::chrono::minutes(5))
                    return false;
                pump();
                status = model.metaFileStatus();
                if (status >= aglMetaFileWriter::kWriting && captured < 0)
                    captured =
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                            .count();
            }
            if (status != aglMetaFileWriter::kComplete) return false;
            const QString file = QString::fromStdString(model.metaFile());
            cpu.push_back(cpuSeconds() - cpuStart);
            seconds.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            capture.push_back(captured);
            bytes = QFile(file).size();
            if (!keep.isEmpty() && k + 1 == n) {
                const QString to = keep + QLatin1Char('/') + QLatin1String(keepAs);
                QFile::remove(to);
                if (!QFile::copy(file, to)) return false;
            }
            QFile::remove(file);
        }
        std::sort(seconds.begin(), seconds.end());
        std::sort(cpu.begin(), cpu.end());
        std::sort(capture.begin(), capture.end());
        std::printf("  %-22s %.2f s wall (capture %.2f s), %.2f s CPU (medians of %d), %.2f MB\n",
                    name, seconds[seconds.size() / 2], capture[capture.size() / 2],
                    cpu[cpu.size() / 2], n, double(bytes) / 1e6);
        std::fflush(stdout);
        return true;
    };

    if (!settle()) return 1;
    std::printf("512 x 512 surface, 1024 x 768, level %d (resolution %d)\n", view.currentLevel(),
                view.currentResolution());
    if (!measure("surface SVG:", false, runs, "surface.svg")) return 1;
    if (!measure("surface PDF:", true, runs, "surface.pdf")) return 1;
    if (vectors) {
        model.setPictureVectorData(true);
        if (!measure("surface SVG, vectors:", false, 1, "surface-vectors.svg")) return 1;
        model.setPictureVectorData(false);
    }

    if (!model
             .SetProperty(plotrane::DISPID_GraphType,
                          plotrane::Variant(int16_t(plotrane::GraphType::ImageMap)))
             .ok())
        return 1;
    pump();
    model.tick();
    if (!settle()) return 1;
    std::printf("512 x 512 image map, 1024 x 768, level %d (resolution %d)\n", view.currentLevel(),
                view.currentResolution());
    if (!measure("image map SVG:", false, runs, "imagemap.svg")) return 1;
    if (!measure("image map PDF:", true, runs, "imagemap.pdf")) return 1;
    return 0;
}
