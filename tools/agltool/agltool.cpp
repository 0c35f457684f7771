// agltool: look at and move agl arrays from the command line.
//
//   agltool info [--json] NAME
//   agltool dump NAME [--rowdim D] [--coldim D] [--roi D:LO:HI]...
//   agltool share NAME FILE
//
// NAME is a segment name: a file path first, a shared-memory name second.
// Every failure prints "agltool: NAME: AGL_E_xxx (code)" on standard error
// and exits with status 2.
#include "aglArray.h"
#include "aglSegment.h"
#include "aglTypes.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* g_name = "";

int failCode(const std::string& what, int code) {
    std::fprintf(stderr, "agltool: %s: %s (%d)\n", what.c_str(), agl::errorName(code), code);
    return 2;
}

int usage() {
    std::fprintf(stderr, "usage: agltool info [--json] NAME\n"
                         "       agltool dump NAME [--rowdim D] [--coldim D] [--roi D:LO:HI]...\n"
                         "       agltool share NAME FILE\n");
    return 2;
}

bool parseInt(const char* text, long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtol(text, &end, 10);
    return end != text && *end == 0 && errno == 0;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else
            out += char(c);
    }
    return out + "\"";
}

std::string jsonList(const std::vector<long long>& v) {
    std::string s = "[";
    for (size_t i = 0; i < v.size(); ++i) s += (i ? ", " : "") + std::to_string(v[i]);
    return s + "]";
}

int info(const std::string& name, bool json) {
    aglSegment seg;
    if (!seg.open(name, true)) return failCode(name, seg.takeError());
    aglArray array;
    if (!array.open(name, true)) return failCode(name, array.takeError());
    const agl::TypeInfo& ti = agl::typeInfo(seg.typeCode());
    std::vector<long long> extents, bounds;
    for (int i = 0; i < seg.dimCount(); ++i) {
        extents.push_back(seg.extent(i));
        bounds.push_back(seg.lowerBound(i));
    }
    if (json) {
        std::printf("{\n");
        std::printf("  \"name\": %s,\n", jsonString(seg.name()).c_str());
        std::printf("  \"type\": \"%s\",\n", ti.enumerator);
        std::printf("  \"type_code\": %d,\n", ti.code);
        std::printf("  \"language\": \"%s\",\n", seg.isFortran() ? "Fortran" : "C");
        std::printf("  \"dims\": %d,\n", seg.dimCount());
        std::printf("  \"extents\": %s,\n", jsonList(extents).c_str());
        std::printf("  \"lower_bounds\": %s,\n", jsonList(bounds).c_str());
        std::printf("  \"shape\": %s,\n", jsonString(array.shapeText()).c_str());
        std::printf("  \"header_form\": \"%s\",\n", seg.isFixedForm() ? "fixed" : "normal");
        std::printf("  \"header_size\": %d,\n", seg.headerSize());
        std::printf("  \"element_size\": %d,\n", seg.elementSize());
        std::printf("  \"element_count\": %lld,\n", (long long)seg.elementCount());
        std::printf("  \"has_trailer\": %s\n", seg.trailer() ? "true" : "false");
        std::printf("}\n");
        return 0;
    }
    std::printf("%s\n", array.shapeText().c_str());
    std::printf("name:       %s\n", seg.name().c_str());
    std::printf("kind:       %s\n", seg.isFileBacked() ? "agl file" : "shared memory");
    std::printf("type:       %s (%d), %d bytes per element\n", ti.enumerator, ti.code,
                seg.elementSize());
    std::printf("language:   %s\n", seg.isFortran() ? "Fortran" : "C");
    std::printf("extents:    %s (slowest first)\n", jsonList(extents).c_str());
    std::printf("lower:      %s\n", jsonList(bounds).c_str());
    std::printf("elements:   %lld\n", (long long)seg.elementCount());
    std::printf("header:     %s form, %d bytes\n", seg.isFixedForm() ? "fixed" : "normal",
                seg.headerSize());
    std::printf("trailer:    %llu bytes\n", (unsigned long long)seg.trailerSize());
    return 0;
}

int dump(const std::string& name, int argc, char** argv) {
    aglArray array;
    if (!array.open(name, true)) return failCode(name, array.takeError());
    for (int i = 0; i < argc; ++i) {
        const std::string opt = argv[i];
        if ((opt == "--rowdim" || opt == "--coldim") && i + 1 < argc) {
            long d;
            if (!parseInt(argv[++i], d) || d < 0 || d >= array.dimCount()) {
                std::fprintf(stderr, "agltool: %s: dimension %s out of range 0..%d\n",
                             name.c_str(), argv[i], array.dimCount() - 1);
                return 2;
            }
            if (opt == "--rowdim")
                array.setRowDim(int(d));
            else
                array.setColDim(int(d));
        } else if (opt == "--roi" && i + 1 < argc) {
            long d, lo, hi;
            const std::string spec = argv[++i];
            const size_t a = spec.find(':'), b = spec.find(':', a == std::string::npos ? a : a + 1);
            if (a == std::string::npos || b == std::string::npos ||
                !parseInt(spec.substr(0, a).c_str(), d) ||
                !parseInt(spec.substr(a + 1, b - a - 1).c_str(), lo) ||
                !parseInt(spec.substr(b + 1).c_str(), hi) || d < 0 || d >= array.dimCount()) {
                std::fprintf(stderr, "agltool: bad --roi '%s' (want D:LO:HI, 0-based)\n",
                             spec.c_str());
                return 2;
            }
            array.setRoi(int(d), int32_t(lo), int32_t(hi));
        } else {
            return usage();
        }
    }
    int32_t c0, r0, nc, nr;
    array.planeRoi(c0, r0, nc, nr);
    std::string line;
    char buf[40];
    for (int64_t r = r0; r < int64_t(r0) + nr; ++r) {
        line.clear();
        for (int64_t c = c0; c < int64_t(c0) + nc; ++c) {
            std::snprintf(buf, sizeof buf, "%.17g", array.value(c, r));
            if (c > c0) line += '\t';
            line += buf;
        }
        line += '\n';
        std::fputs(line.c_str(), stdout);
    }
    return 0;
}

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

int share(const std::string& name, const std::string& file) {
    aglSegment source;
    if (!source.open(file, true)) return failCode(file, source.takeError());
    int32_t ext[agl::kMaxDims] = {};
    for (int i = 0; i < source.dimCount(); ++i) ext[i] = source.extent(i);
    aglSegment block;
    if (!block.createShared(name, source.dimCount(), ext, source.typeCode(), source.language()))
        return failCode(name, block.takeError());
    for (int i = 0; i < source.dimCount(); ++i) block.setLowerBound(i, source.lowerBound(i));
    std::memcpy(block.elements(), source.elements(),
                size_t(source.elementCount()) * size_t(source.elementSize()));
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::printf("agltool: sharing %s as %s until interrupted\n", file.c_str(), block.name().c_str());
    std::fflush(stdout);
    while (!g_stop) pause();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string command = argv[1];
    if (command == "info") {
        const bool json = std::strcmp(argv[2], "--json") == 0;
        if (json && argc != 4) return usage();
        if (!json && argc != 3) return usage();
        g_name = argv[argc - 1];
        return info(g_name, json);
    }
    if (command == "dump") return dump(argv[2], argc - 3, argv + 3);
    if (command == "share" && argc == 4) return share(argv[2], argv[3]);
    return usage();
}
