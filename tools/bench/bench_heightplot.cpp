// Benchmarks of the height plot through `agltool render` (whole processes).
//
//   bench_heightplot [FOLDER] [AGLTOOL]   (defaults: /tmp, agltool beside this program)
//
// 1. A 512 x 512 float array as a lit surface at 1024 x 768, process start to
//    saved PNG, against gnuplot drawing the same file (`splot ... binary
//    array=(512,512) ... with pm3d` to a 1024 x 768 PNG); median of 5 runs
//    each and their ratio. agltool is timed twice: as the control draws it
//    (the finest level the level-of-detail rules give, every 2nd sample) and
//    with every sample (--resolution 1), which is what gnuplot draws.
// 2. Frames per second while the camera turns 5 degrees per frame over the
//    same surface at 800 x 600 with the geometry replayed from a display list.
// 3. The first picture of a 16384 x 16384 float array (1 GiB) from a cold
//    process: with the file in the page cache, and with its pages evicted
//    first (posix_fadvise DONTNEED), so that every sample read is a disk read.
//
// Numbers go in the notes; nothing here is a test.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Writes a rows x columns C float array in the agl binary format (normal
// header: magic, language, type, dimension count, 5 spare bytes, extents,
// lower bounds), the rows made by f(row, values).
template <typename F> bool writeArray(const std::string& path, int32_t rows, int32_t cols, F f) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    uint8_t head[28] = {};
    const uint32_t magic = 0x01160913;
    std::memcpy(head, &magic, 4);
    head[4] = 1; // C
    head[5] = 6; // AGL_FLOAT - 4096
    head[6] = 2; // dimensions
    std::memcpy(head + 12, &rows, 4);
    std::memcpy(head + 16, &cols, 4);
    std::fwrite(head, 1, sizeof head, out);
    std::vector<float> row(size_t(cols), 0.0f);
    for (int32_t r = 0; r < rows; ++r) {
        f(r, row);
        if (std::fwrite(row.data(), 4, row.size(), out) != row.size()) {
            std::fclose(out);
            return false;
        }
    }
    return std::fclose(out) == 0;
}

// Runs a shell command; returns its wall time in seconds (negative on failure).
double timed(const std::string& command, std::string* output = nullptr) {
    const auto start = Clock::now();
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return -1.0;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        text.append(buf, n);
    const int status = pclose(p);
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    if (output) *output = text;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n%s", command.c_str(), text.c_str());
        return -1.0;
    }
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1.0 : v[v.size() / 2];
}

double medianOf(const std::string& command, int runs) {
    std::vector<double> t;
    for (int k = 0; k < runs; ++k) {
        const double s = timed(command);
        if (s < 0) return -1.0;
        t.push_back(s);
    }
    return median(t);
}

void evict(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

} // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    std::string tool = argc > 2 ? argv[2] : "";
    if (tool.empty()) {
        std::string self = argv[0];
        const size_t slash = self.rfind('/');
        tool = (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/agltool";
    }

    // 1. Surface of 512 x 512 against gnuplot.
    const std::string small = dir + "/bench_hp_512.agl";
    writeArray(small, 512, 512, [](int r, std::vector<float>& row) {
        for (size_t c = 0; c < row.size(); ++c) {
            const double x = (double(c) - 256) / 60.0, y = (double(r) - 256) / 60.0;
            const double d = std::hypot(x, y);
            row[c] = float(std::cos(2.2 * d) * std::exp(-0.25 * d) + 0.1 * x);
        }
    });
    const std::string agl =
        tool + " render " + small + " " + dir + "/bench_hp_agl.png --size 1024x768";
    const std::string gnuplot =
        "gnuplot -e \"set terminal pngcairo size 1024,768; set output '" + dir +
        "/bench_hp_gnuplot.png'; set pm3d; unset surface; set view 64,341.5; splot '" + small +
        "' binary array=(512,512) format='%float' skip=28 with pm3d notitle\"";
    const bool haveGnuplot = timed("command -v gnuplot") >= 0;
    timed(agl); // warm the shader cache and the file's pages once
    const double tAgl = medianOf(agl, 5);
    const double tAglFull = medianOf(agl + " --resolution 1", 5);
    const double tGnu = haveGnuplot ? medianOf(gnuplot, 5) : -1.0;
    std::printf("surface 512x512 at 1024x768, process start to PNG (median of 5):\n");
    std::printf("  agltool render (finest level, 256x256 grid): %.3f s\n", tAgl);
    std::printf("  agltool render --resolution 1 (512x512):     %.3f s\n", tAglFull);
    if (tGnu > 0)
        std::printf("  gnuplot pm3d (512x512):                      %.3f s  ratio %.1fx / %.1fx\n",
                    tGnu, tGnu / tAgl, tGnu / tAglFull);
    else
        std::printf("  gnuplot: not available\n");

    // 2. Rotation.
    for (int res : {0, 1}) {
        std::string out;
        const std::string spin = tool + " render " + small + " " + dir +
                                 "/bench_hp_spin.png --size 800x600 --cache 0 --frames 120 --spin" +
                                 (res ? " --resolution 1" : "");
        if (timed(spin, &out) >= 0)
            std::printf("rotating at 800x600, display list replayed (%s): %s",
                        res ? "512x512 grid" : "256x256 grid", out.c_str());
    }

    // 3. The 1 GiB array.
    const std::string big = dir + "/bench_hp_16k.agl";
    if (!writeArray(big, 16384, 16384, [](int r, std::vector<float>& row) {
            for (size_t c = 0; c < row.size(); ++c)
                row[c] = float(std::sin(double(c) * 0.0009) * std::cos(double(r) * 0.0007));
        })) {
        std::printf("cannot write %s\n", big.c_str());
        return 1;
    }
    const std::string first = tool + " render " + big + " " + dir + "/bench_hp_16k.png";
    timed(first);
    std::vector<double> warm, cold;
    for (int k = 0; k < 3; ++k)
        warm.push_back(timed(first));
    for (int k = 0; k < 3; ++k) {
        evict(big);
        cold.push_back(timed(first));
    }
    std::printf(
        "first picture of 16384x16384 float (1 GiB), process start to PNG (median of 3):\n");
    std::printf("  file in the page cache: %.3f s\n", median(warm));
    std::printf("  file evicted first:     %.3f s\n", median(cold));
    std::remove(big.c_str());
    return 0;
}
