// Benchmark of the viewer's document: loading a 1 GiB agl file.
//
//   bench_doc [FOLDER]   (default: /tmp)
//
// Loads a sparse 16384 x 16384 float agl file through CArrayDoc::open (kind
// detection, mapping, post-load with the settings defaults, graph kind
// choice, the control's property traffic through a dispatch table, the
// trailer) twenty times, with and without a 328-byte attribute trailer, and
// reports the best and median wall time and the element pages made resident
// (mincore over the file), which must be none: loading maps, it never reads
// the elements.
#include "CArrayDoc.h"
#include "CPlotrane2D.h"
#include "DocView.h"
#include "MessageSink.h"
#include "aglAttributes.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class Sink : public MessageSink {
public:
    void message(const std::string& text, MessageIcon) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
    bool question(const std::string&) override { return false; }
    std::optional<std::string> saveFileName(const SaveFileRequest&) override {
        return std::nullopt;
    }
    void showAnnotation(const std::string&) override {}
};

// A control that keeps its properties in a table, as cheap as a real
// dispatch call can be: what is measured is the document.
class TableControl : public plotrane::ControlDispatch {
public:
    plotrane::Variant GetProperty(int id) override {
        auto it = m_props.find(id);
        return it == m_props.end() ? plotrane::Variant(0) : it->second;
    }
    plotrane::DispatchStatus SetProperty(int id, const plotrane::Variant& v) override {
        m_props[id] = v;
        return {};
    }
    plotrane::Variant Invoke(int, const std::vector<plotrane::Variant>&) override { return {}; }

private:
    std::map<int, plotrane::Variant> m_props;
};

class GraphView : public ControlHostView {
public:
    bool isGraphPane() const override { return true; }
    CPlotrane2D* control() override { return &m_wrapper; }

private:
    TableControl m_control;
    CPlotrane2D m_wrapper{&m_control};
};

bool writeSparseFile(const std::string& path, int32_t rows, int32_t cols, bool trailer) {
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    if (fd < 0) return false;
    uint8_t head[28] = {};
    const uint32_t magic = 0x01160913u;
    std::memcpy(head, &magic, 4);
    head[4] = 1; // C
    head[5] = 6; // float
    head[6] = 2;
    std::memcpy(head + 12, &rows, 4);
    std::memcpy(head + 16, &cols, 4);
    const off_t elementsEnd = off_t(28) + off_t(rows) * cols * 4;
    bool ok = ::pwrite(fd, head, sizeof head, 0) == ssize_t(sizeof head) &&
              ::ftruncate(fd, elementsEnd) == 0;
    if (ok && trailer) {
        aglAttributes a = aglAttributes::blank();
        a.graphKind = 1;
        a.gridPrecision = 6;
        a.rowDim = 0;
        a.colDim = 1;
        a.roiHigh[0] = rows - 1;
        a.roiHigh[1] = cols - 1;
        a.elevation = 30.0f;
        a.distance = 3.0f;
        a.zScale = 0.8f;
        a.surfaceDensity = 15.0f;
        ok = ::pwrite(fd, &a, sizeof a, elementsEnd) == ssize_t(sizeof a);
    }
    ::close(fd);
    return ok;
}

size_t residentPages(const std::string& path, size_t& total) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    const off_t size = ::lseek(fd, 0, SEEK_END);
    void* p = ::mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> vec((size_t(size) + page - 1) / page);
    total = vec.size();
    size_t n = 0;
    if (p != MAP_FAILED && mincore(p, size_t(size), vec.data()) == 0)
        for (unsigned char v : vec)
            n += v & 1;
    if (p != MAP_FAILED) ::munmap(p, size_t(size));
    return n;
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    // Settings in a private file: the benchmark must not touch the user's.
    QTemporaryDir config;
    const QString ini = config.path() + "/settings.ini";

    for (bool trailer : {false, true}) {
        const std::string path =
            folder + (trailer ? "/bench-doc-1g-trailer.agl" : "/bench-doc-1g.agl");
        if (!writeSparseFile(path, 16384, 16384, trailer)) {
            std::fprintf(stderr, "bench_doc: cannot write in %s\n", folder.c_str());
            return 2;
        }
        SettingsStore store(ini);
        Sink sink;
        GraphView view;
        std::vector<double> times;
        for (int i = 0; i < 20; ++i) {
            CArrayDoc doc(store, sink);
            doc.addView(&view);
            const auto t0 = Clock::now();
            if (!doc.open(path)) return 2;
            const auto t1 = Clock::now();
            times.push_back(std::chrono::duration<double>(t1 - t0).count());
            doc.removeView(&view);
        }
        std::sort(times.begin(), times.end());
        size_t total = 0;
        const size_t resident = residentPages(path, total);
        std::printf("load 1 GiB agl file %s: best %.1f us, median %.1f us; resident pages after: "
                    "%zu of %zu\n",
                    trailer ? "with trailer   " : "without trailer", times.front() * 1e6,
                    times[times.size() / 2] * 1e6, resident, total);
        ::unlink(path.c_str());
    }
    return 0;
}
