// agltool: look at and move agl arrays from the command line.
//
//   agltool info [--json] NAME
//   agltool dump NAME [--object N] [--rowdim D] [--coldim D] [--roi D:LO:HI]...
//   agltool share NAME FILE [--object N]
//   agltool ls
//   agltool rm NAME
//   agltool convert IN OUT [--object N] [--precision N] [--exponent]
//   agltool render NAME OUT.png|OUT.svg|OUT.pdf [options]   (see agltoolRender.cpp)
//   agltool render NAME... --out PATTERN | --out-dir DIR [options]
//
// NAME is a segment name: a file path first, a shared-memory name second.
// Files are read by the viewer's own array file opener (ArrayFileOpener.h),
// so every format the viewer opens is read here the same way: agl binary
// and text, NumPy, bitmaps and HDF files. An HDF file is read through the
// HDF helper process: info lists its objects as the viewer's tree does, and
// dump, convert, share and render take one object (--object: its number in
// that list, or its name; convert writes the object's palette into the agl
// trailer, render shows it).
// Every failure prints "agltool: NAME: why: AGL_E_xxx (code)" (or without
// the why where there is nothing more to say) on standard error and exits
// with status 2.
#include "AglAsciiFormat.h"
#include "AglBinaryFormat.h"
#include "ArrayFileOpener.h"
#include "GraphSettings.h"
#include "MemoryRelease.h"
#include "ShmName.h"
#include "aglArray.h"
#include "aglSegment.h"
#include "aglTypes.h"
#include "agltoolHdf.h"
#include "agltoolJson.h"
#ifdef AGLTOOL_RENDER
#include "agltoolRender.h"
#endif

#include <cctype>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* g_name = "";

// Segment names never hold backslashes: each is a slash.
std::string aglSlashed(std::string s) {
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

int failCode(const std::string& what, int code) {
    std::fprintf(stderr, "agltool: %s: %s (%d)\n", what.c_str(), agl::errorName(code), code);
    return 2;
}

// A failure with the reason a user can act on (the one the viewer shows),
// then the code.
int failWhy(const std::string& what, const std::string& why, int code) {
    if (why.empty()) return failCode(what, code);
    std::fprintf(stderr, "agltool: %s: %s: %s (%d)\n", what.c_str(), why.c_str(),
                 agl::errorName(code), code);
    return 2;
}

const char kUsage[] = "usage: agltool info [--json] NAME [--object N]\n"
                      "       agltool dump NAME [--object N] [--rowdim D] [--coldim D] "
                      "[--roi D:LO:HI]...\n"
                      "       agltool share NAME FILE [--object N]\n"
                      "       agltool ls\n"
                      "       agltool rm NAME\n"
                      "       agltool convert IN OUT [--object N] [--precision N] [--exponent]\n"
                      "       agltool render NAME OUT.png|OUT.svg|OUT.pdf [options]\n"
                      "       agltool render NAME... --out PATTERN | --out-dir DIR [options]\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

// agltool --help: the usage on standard output, with what each command does.
int help() {
    std::fputs(kUsage, stdout);
    std::fputs("\n"
               "Look at agl arrays and shared-memory blocks from the command line.\n"
               "\n"
               "  info     the array's shape and a summary, or JSON with --json; for an HDF\n"
               "           file its objects, numbered from 0, and with --object one object:\n"
               "           its path, shape, why it cannot be shown, an attribute's values\n"
               "  dump     the current plane's region of interest, tab-separated; --rowdim and\n"
               "           --coldim choose the plane, --roi D:LO:HI (0-based) narrows dimension D\n"
               "  share    copy FILE's array into shared-memory block NAME and hold it until\n"
               "           interrupted\n"
               "  ls       the shared-memory blocks of segments, each held or abandoned\n"
               "  rm       remove the abandoned block of segment NAME\n"
               "  convert  write IN as agl binary, or as text when OUT ends in txt (--precision\n"
               "           0..17 digits, --exponent for exponent form)\n"
               "  render   draw arrays through the graph control, into a PNG, SVG or PDF each, or\n"
               "           the planes of a sweep (agltool render --help lists its options)\n"
               "  -h, --help  show this text\n"
               "\n"
               "NAME is a segment name: a file path first, a shared-memory block second.\n"
               "Files may be agl binary or text files, NumPy .npy files, bitmaps, HDF4,\n"
               "HDF5 or NetCDF files, read as the viewer reads them.\n"
               "--object picks an HDF file's object: its number in info's list, or its name.\n"
               "Every failure prints why, with the error code, and exits with status 2.\n",
               stdout);
    return 0;
}

// A decimal integer in 64 bits; false for anything else, or out of range.
bool parseInt(const char* text, long long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(text, &end, 10);
    return end != text && *end == 0 && errno == 0;
}

std::string jsonList(const std::vector<long long>& v) {
    std::string s = "[";
    for (size_t i = 0; i < v.size(); ++i)
        s += (i ? ", " : "") + std::to_string(v[i]);
    return s + "]";
}

// Annotation text comes from files written on systems with 8-bit code
// pages: bytes above 127 are written as the Latin-1 characters they would
// be, so the output stays valid UTF-8 JSON.
std::string jsonText(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string jsonNumber(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

std::string jsonFloat(float v) {
    if (!std::isfinite(v)) return "null";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.9g", double(v));
    return buf;
}

// A settings word with its switches unpacked, named as the control's
// properties ("shading_off" is the inverted Shading).
std::string jsonSettingsWord(uint32_t word) {
    GraphSettings g;
    unpackSettingsWord(word, g);
    auto b = [](bool v) { return v ? "1" : "0"; };
    std::string s = "{\"word\": " + std::to_string(word);
    s += std::string(", \"LineSmooth\": ") + b(g.lineSmooth);
    s += std::string(", \"ShowGrid\": ") + b(g.showGrid);
    s += std::string(", \"shading_off\": ") + b(g.flatShading);
    s += std::string(", \"HighLight\": ") + b(g.highLight);
    s += ", \"TextureMode\": " + std::to_string(g.textureMode);
    s += std::string(", \"DataClamp\": ") + b(g.dataClamp);
    s += std::string(", \"Lighting\": ") + b(g.lighting);
    s += std::string(", \"UseColorPalette\": ") + b(g.useColorPalette);
    s += std::string(", \"ShowAxis\": ") + b(g.showAxis);
    s += std::string(", \"Depthcue\": ") + b(g.depthcue);
    s += std::string(", \"FixedAspect\": ") + b(g.fixedAspect);
    return s + "}";
}

template <typename T> std::string jsonArray(const T* v, int n) {
    std::vector<long long> l;
    for (int i = 0; i < n; ++i)
        l.push_back((long long)v[i]);
    return jsonList(l);
}

// A mapped file that shrank under the reader: its missing pages read as
// zeros, so nothing read from it since can be trusted.
bool shrank(const aglSegment& segment) {
    return segment.truncationFaults() > 0;
}

int shrankFailure(const std::string& name) {
    std::fflush(stdout);
    std::fprintf(stderr, "agltool: %s: the file shrank while it was read\n", name.c_str());
    return failCode(name, AGL_E_FORMAT);
}

// A shared-memory name longer than segments allow: refused, never cut.
bool nameTooLong(const std::string& name) {
    if (name.size() <= aglSegment::kMaxNameLength) return false;
    std::fprintf(stderr, "agltool: segment names are limited to %d bytes, this one has %zu\n",
                 int(aglSegment::kMaxNameLength), name.size());
    return true;
}

// The "trailer" member of info --json: null, or what the trailer holds
// with every field of the attribute record.
std::string trailerJson(const aglSegment& seg) {
    AglTrailerView t;
    if (!parseAglTrailer(seg, aglAttributes::blank(), t)) return "null";
    const aglAttributes& a = t.attributes;
    std::vector<long long> scales;
    for (int d = 0; d < agl::kMaxDims; ++d)
        if (t.axisScales[size_t(d)]) scales.push_back(d);
    std::string s = "{\n";
    auto field = [&s](const char* name, const std::string& value, bool last = false) {
        s += std::string("    \"") + name + "\": " + value + (last ? "\n" : ",\n");
    };
    auto num = [](long long v) { return std::to_string(v); };
    field("annotation", t.hasAnnotation ? jsonText(std::string(t.annotation)) : "null");
    field("palette", t.palette ? "true" : "false");
    field("axis_scales", jsonList(scales));
    s += "    \"attributes\": {\n";
    auto attr = [&s](const char* name, const std::string& value, bool last = false) {
        s += std::string("      \"") + name + "\": " + value + (last ? "\n" : ",\n");
    };
    auto flag = [&a](uint32_t bit) { return std::string((a.flags & bit) ? "1" : "0"); };
    attr("record_size", num(a.size));
    attr("record_version", num(a.version));
    attr("flags", num(a.flags));
    attr("ShowPalette", flag(aglAttributes::kShowPalette));
    attr("ShowCursor", flag(aglAttributes::kShowCursor));
    attr("AxisAutoScale", flag(aglAttributes::kAxisAutoScale));
    attr("PaletteAutoAdjust", flag(aglAttributes::kPaletteAutoAdjust));
    attr("grid_exponent_form", flag(aglAttributes::kGridExponent));
    attr("grid_precision", num(a.gridPrecision));
    attr("graph_kind", num(a.graphKind));
    attr("height_plot_grid_density", jsonFloat(a.surfaceDensity));
    attr("height_plot_graph_style", num(a.surfaceStyle));
    attr("height_plot_settings", jsonSettingsWord(a.surfaceSettings));
    attr("image_map_settings", jsonSettingsWord(a.imageSettings));
    attr("ImageOrientation", num(a.imageOrientation));
    attr("vector_graph_graph_style", num(a.vectorStyle));
    attr("vector_graph_settings", jsonSettingsWord(a.vectorSettings));
    attr("XComp", num(a.xComp));
    attr("YComp", num(a.yComp));
    attr("ZComp", num(a.zComp));
    attr("WComp", num(a.wComp));
    attr("plane_view_graph_style", num(a.planeStyle));
    attr("plane_view_settings", jsonSettingsWord(a.planeSettings));
    attr("camera_elevation", jsonFloat(a.elevation));
    attr("camera_azimuth", jsonFloat(a.azimuth));
    attr("camera_distance", jsonFloat(a.distance));
    attr("Row", num(a.row));
    attr("Col", num(a.col));
    attr("RowDim", num(a.rowDim));
    attr("ColDim", num(a.colDim));
    attr("roi_low", jsonArray(a.roiLow, agl::kMaxDims));
    attr("roi_high", jsonArray(a.roiHigh, agl::kMaxDims));
    attr("z_scale", jsonFloat(a.zScale));
    attr("XMinClamp", jsonNumber(a.xMinClamp));
    attr("YMinClamp", jsonNumber(a.yMinClamp));
    attr("ZMinClamp", jsonNumber(a.zMinClamp));
    attr("XMaxClamp", jsonNumber(a.xMaxClamp));
    attr("YMaxClamp", jsonNumber(a.yMaxClamp));
    attr("ZMaxClamp", jsonNumber(a.zMaxClamp));
    attr("PaletteMinVal", jsonNumber(a.paletteMinVal));
    attr("PaletteMaxVal", jsonNumber(a.paletteMaxVal));
    attr("PaletteId", num(a.paletteId));
    attr("BackColor", num(a.backColor));
    attr("GraphColor", num(a.graphColor));
    attr("GridColor", num(a.gridColor));
    attr("CursorColor", num(a.cursorColor));
    attr("AxisLabelColor", num(a.axisLabelColor));
    attr("AxisColor", num(a.axisColor));
    attr("AxisBackColor", num(a.axisBackColor));
    attr("annotation_offset", num(a.annotationOffset));
    attr("palette_offset", num(a.paletteOffset));
    attr("axis_scale_offsets", jsonArray(a.axisScaleOffset, agl::kMaxDims), true);
    s += "    }\n  }";
    return s;
}

// Takes "--object X" out of the options; empty when it is not there.
std::string takeObjectOption(int& argc, char** argv) {
    for (int i = 0; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--object") != 0) continue;
        const std::string object = argv[i + 1];
        for (int k = i; k + 2 < argc; ++k)
            argv[k] = argv[k + 2];
        argc -= 2;
        return object;
    }
    return {};
}

// Opens NAME as the viewer would, through the array file opener. object is
// the HDF object (--object); an HDF file without one is an error unless
// listOnly, which lists its objects and reads none; palette also reads the
// HDF object's palette. On failure prints why and returns false with the
// exit status in status.
bool openInput(const std::string& name, const std::string& object, bool listOnly, bool palette,
               OpenedArray& out, int& status) {
    ArrayOpenOptions options;
    options.hdfObject = object;
    options.hdfPalette = palette;
    options.hdfListOnly = object.empty();
    out = openArrayFile(name, options);
    if (!out.ok()) {
        if (out.error == AGL_E_OPEN) nameTooLong(name); // says why no block of that name can exist
        status = failWhy(name, out.reason, out.error);
        return false;
    }
    if (isHdfFormat(out.format) && !out.shown() && !(listOnly && object.empty())) {
        std::fprintf(stderr, "agltool: %s: an HDF file needs --object N (see agltool info)\n",
                     name.c_str());
        status = 2;
        return false;
    }
    if (!isHdfFormat(out.format) && !object.empty()) {
        std::fprintf(stderr, "agltool: %s: --object picks an object of an HDF file\n",
                     name.c_str());
        status = 2;
        return false;
    }
    if (!out.warning.empty()) std::fputs(out.warning.c_str(), stderr);
    return true;
}

// How info names what it read.
std::string kindText(const OpenedArray& opened, const aglSegment& seg) {
    switch (opened.format) {
    case ArrayFormat::Numpy:
        return opened.convertedFrom.empty() ? "NumPy file" : "NumPy file (" + opened.note + ")";
    case ArrayFormat::Bitmap:
        return "bitmap (palette indices)";
    case ArrayFormat::Text:
        return "agl text file";
    case ArrayFormat::Hdf:
    case ArrayFormat::Hdf5:
    case ArrayFormat::Netcdf:
        return opened.convertedFrom.empty() ? "HDF object" : "HDF object (" + opened.note + ")";
    default:
        return seg.isFileBacked() ? "agl file" : "shared memory";
    }
}

int info(const std::string& name, const std::string& object, bool json) {
    OpenedArray opened;
    int status = 0;
    // An HDF file is only listed: info reads no elements.
    if (!openInput(name, std::string(), true, false, opened, status)) return status;
    if (isHdfFormat(opened.format)) {
        if (object.empty()) {
            printHdfObjects(opened.hdfObjects, json);
            return 0;
        }
        const CHdfObject* chosen = findHdfObject(opened.hdfObjects, object);
        if (!chosen) {
            std::fprintf(stderr, "agltool: %s: no object %s in the file (see agltool info)\n",
                         name.c_str(), object.c_str());
            return 2;
        }
        printHdfObject(*chosen, json);
        return 0;
    }
    if (!object.empty()) {
        std::fprintf(stderr, "agltool: %s: --object picks an object of an HDF file\n",
                     name.c_str());
        return 2;
    }
    const aglArray& array = *opened.shown();
    const aglSegment& seg = *array.segment();
    // A file read into a new segment is named as given, not by the block.
    const bool copy = opened.format != ArrayFormat::Agl && !seg.isNumpy();
    const std::string shownName = copy ? name : seg.name();
    const agl::TypeInfo& ti = agl::typeInfo(seg.typeCode());
    std::vector<long long> extents, bounds;
    for (int i = 0; i < seg.dimCount(); ++i) {
        extents.push_back(seg.extent(i));
        bounds.push_back(seg.lowerBound(i));
    }
    if (json) {
        std::printf("{\n");
        std::printf("  \"name\": %s,\n", jsonString(shownName).c_str());
        std::printf("  \"format\": %s,\n",
                    jsonString(arrayFileFormat(opened.format)->name).c_str());
        std::printf("  \"converted_from\": %s,\n", opened.convertedFrom.empty()
                                                       ? "null"
                                                       : jsonString(opened.convertedFrom).c_str());
        std::printf("  \"imprecise_values\": %lld,\n", (long long)opened.impreciseValues);
        std::printf("  \"type\": \"%s\",\n", ti.enumerator);
        std::printf("  \"type_code\": %d,\n", ti.code);
        std::printf("  \"language\": \"%s\",\n", seg.isFortran() ? "Fortran" : "C");
        std::printf("  \"dims\": %d,\n", seg.dimCount());
        std::printf("  \"extents\": %s,\n", jsonList(extents).c_str());
        std::printf("  \"lower_bounds\": %s,\n", jsonList(bounds).c_str());
        std::printf("  \"shape\": %s,\n", jsonString(array.shapeText()).c_str());
        std::printf("  \"header_form\": \"%s\",\n", seg.isNumpy()       ? "numpy"
                                                    : seg.isFixedForm() ? "fixed"
                                                                        : "normal");
        std::printf("  \"header_size\": %d,\n", seg.headerSize());
        std::printf("  \"element_size\": %d,\n", seg.elementSize());
        std::printf("  \"element_count\": %lld,\n", (long long)seg.elementCount());
        std::printf("  \"has_trailer\": %s,\n", seg.trailer() ? "true" : "false");
        std::printf("  \"trailer\": %s\n", trailerJson(seg).c_str());
        std::printf("}\n");
        return 0;
    }
    std::printf("%s\n", array.shapeText().c_str());
    std::printf("name:       %s\n", shownName.c_str());
    std::printf("kind:       %s\n", kindText(opened, seg).c_str());
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

// Set by SIGINT, SIGTERM and SIGHUP: long commands stop at the next step.
volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) {
    g_stop = 1;
}

// The dump stopped before its end: its reader went away or it was told to.
int stoppedFailure(const std::string& name) {
    std::fprintf(stderr, "agltool: %s: the output was cut short\n", name.c_str());
    return 2;
}

int dump(const std::string& name, int argc, char** argv) {
    const std::string object = takeObjectOption(argc, argv);
    OpenedArray opened;
    int status = 0;
    if (!openInput(name, object, false, false, opened, status)) return status;
    aglArray& array = *opened.shown();
    for (int i = 0; i < argc; ++i) {
        const std::string opt = argv[i];
        if ((opt == "--rowdim" || opt == "--coldim") && i + 1 < argc) {
            long long d;
            if (!parseInt(argv[++i], d) || d < 0 || d >= array.dimCount()) {
                std::fprintf(stderr, "agltool: %s: dimension %s out of range 0..%d\n", name.c_str(),
                             argv[i], array.dimCount() - 1);
                return 2;
            }
            if (opt == "--rowdim")
                array.setRowDim(int(d));
            else
                array.setColDim(int(d));
        } else if (opt == "--roi" && i + 1 < argc) {
            long long d, lo, hi;
            const std::string roiText = argv[++i];
            const size_t a = roiText.find(':'),
                         b = roiText.find(':', a == std::string::npos ? a : a + 1);
            if (a == std::string::npos || b == std::string::npos ||
                !parseInt(roiText.substr(0, a).c_str(), d) ||
                !parseInt(roiText.substr(a + 1, b - a - 1).c_str(), lo) ||
                !parseInt(roiText.substr(b + 1).c_str(), hi) || d < 0 || d >= array.dimCount() ||
                lo < 0 || hi < lo) {
                std::fprintf(stderr, "agltool: bad --roi '%s' (want D:LO:HI, 0-based, LO <= HI)\n",
                             roiText.c_str());
                return 2;
            }
            // Checked in 64 bits before it narrows to an index: a bound
            // beyond the extent is refused, never wrapped into it.
            if (hi >= array.extent(int(d))) {
                std::fprintf(stderr,
                             "agltool: %s: --roi %s outside the array (dimension %lld has %d)\n",
                             name.c_str(), roiText.c_str(), d, array.extent(int(d)));
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
        // A file cut short while it is read reads as zeros from there on:
        // stop at the first row that may hold them.
        if (shrank(*array.segment())) return shrankFailure(name);
        line.clear();
        for (int64_t c = c0; c < int64_t(c0) + nc; ++c) {
            std::snprintf(buf, sizeof buf, "%.17g", array.value(c, r));
            if (c > c0) line += '\t';
            line += buf;
        }
        line += '\n';
        std::fputs(line.c_str(), stdout);
        // A reader that went away (agltool dump ... | head) or an interrupt
        // ends the dump here, through the normal exit that removes the block
        // an HDF object was read into.
        if (g_stop || std::ferror(stdout)) return stoppedFailure(name);
    }
    if (shrank(*array.segment())) return shrankFailure(name);
    if (std::fflush(stdout) != 0) return stoppedFailure(name);
    return 0;
}

int share(const std::string& name, const std::string& file, int argc, char** argv) {
    const std::string object = takeObjectOption(argc, argv);
    if (argc != 0) return usage();
    if (nameTooLong(name)) return failCode(name, AGL_E_OPEN);
    OpenedArray opened;
    int status = 0;
    if (!openInput(file, object, false, false, opened, status)) return status;
    const aglSegment& source = *opened.shown()->segment();
    int32_t ext[agl::kMaxDims] = {};
    for (int i = 0; i < source.dimCount(); ++i)
        ext[i] = source.extent(i);
    aglSegment block;
    if (!block.createShared(name, source.dimCount(), ext, source.typeCode(), source.language()))
        return failCode(name, block.takeError());
    for (int i = 0; i < source.dimCount(); ++i)
        block.setLowerBound(i, source.lowerBound(i));
    std::memcpy(block.elements(), source.elements(),
                size_t(source.elementCount()) * size_t(source.elementSize()));
    if (shrank(source)) return shrankFailure(file); // the block goes with `block`
    std::printf("agltool: sharing %s as %s until interrupted\n", file.c_str(),
                block.name().c_str());
    std::fflush(stdout);
    while (!g_stop)
        pause();
    return 0;
}

bool endsInTxt(const std::string& path) {
    if (path.size() < 3) return false;
    std::string tail = path.substr(path.size() - 3);
    for (char& c : tail)
        c = char(std::tolower((unsigned char)c));
    return tail == "txt";
}

int convert(const std::string& in, const std::string& out, int argc, char** argv) {
    const std::string objectChoice = takeObjectOption(argc, argv);
    AsciiNumberFormat format;
    for (int i = 0; i < argc; ++i) {
        const std::string opt = argv[i];
        long long p;
        if (opt == "--precision" && i + 1 < argc && parseInt(argv[i + 1], p) && p >= 0 && p <= 17) {
            format.precision = int(p);
            ++i;
        } else if (opt == "--exponent") {
            format.exponent = true;
        } else {
            return usage();
        }
    }

    OpenedArray opened;
    int status = 0;
    if (!openInput(in, objectChoice, false, true, opened, status)) return status;
    aglArray* array = opened.shown();
    // Only an agl file has a trailer to carry over.
    const bool binary = opened.format == ArrayFormat::Agl && array->segment()->isFileBacked();
    const aglArray* hdfPalette = opened.hdfPaletteArray();

    FormatError error;
    bool ok;
    if (endsInTxt(out)) {
        ok = writeAglAscii(*array, out, format, error);
    } else {
        // The trailer travels as it is: its parts are written from views
        // into the input's mapping.
        AglTrailerView view;
        AglTrailerParts parts;
        std::unique_ptr<aglSegment> palette;
        bool hasTrailer =
            binary && parseAglTrailer(*array->segment(), aglAttributes::blank(), view);
        if (hdfPalette || opened.palette) {
            // An HDF object's palette (256 entries of red, green, blue, 255),
            // or a bitmap's colours (the same bytes as 256 little-endian
            // words), become the trailer's palette.
            hasTrailer = true;
            parts.palette = hdfPalette ? hdfPalette->segment() : opened.palette.get();
        } else if (hasTrailer) {
            parts.attributes = view.attributes;
            parts.annotation = std::string(view.annotation);
            if (view.palette) {
                palette = makePaletteSegment(view.palette);
                if (!palette) return failCode(out, AGL_E_MAPPING);
                parts.palette = palette.get();
            }
            for (int d = 0; d < agl::kMaxDims; ++d)
                parts.axisScales[size_t(d)] = view.axisScales[size_t(d)].get();
        }
        ok = writeAglFile(*array->segment(), out, hasTrailer ? &parts : nullptr, nullptr, error);
    }
    if (!ok) {
        std::fprintf(stderr, "agltool: %s (%s)\n", error.message.c_str(), error.detail.c_str());
        return failCode(out, error.code);
    }
    return 0;
}

// Lists every shared-memory block of segments on this machine, held or
// abandoned (left behind by a process that was killed).
int listBlocks() {
    for (const platform::BlockInfo& b : platform::listBlocks()) {
        std::printf("%-9s %12lld  %s\n", b.held ? "held" : "abandoned", (long long)b.size,
                    b.segmentName.empty() ? b.object.c_str() : b.segmentName.c_str());
    }
    return 0;
}

// Removes the block of segment NAME (or of object "/agl-..." as ls shows a
// hashed one) when no process holds it.
int removeBlock(const std::string& name) {
    if (nameTooLong(name)) return failCode(name, AGL_E_OPEN);
    const std::string object =
        name.rfind("/agl-", 0) == 0 ? name : platform::shmObjectName(aglSlashed(name));
    switch (platform::removeAbandonedBlock(object)) {
    case platform::RemoveResult::Removed:
        return 0;
    case platform::RemoveResult::Held:
        std::fprintf(stderr, "agltool: %s: the block is held by a running process\n", name.c_str());
        return failCode(name, AGL_E_EXISTS);
    default:
        return failCode(name, AGL_E_OPEN);
    }
}

#ifdef AGLTOOL_RENDER
// render NAME... [options]: each NAME is opened as the other commands open
// it; a file read into a new segment (text, a bitmap, a converted NumPy
// file, an HDF object) is drawn from that segment, on the plane the opener
// chose for it, and an HDF object's own palette is shown unless one was
// asked for. The opened arrays live until the command ends.
int render(int argc, char** argv) {
    const std::string object = takeObjectOption(argc, argv);
    std::vector<std::unique_ptr<OpenedArray>> opened;
    const auto open = [&](const std::string& name, RenderInput& in, int& status) {
        auto o = std::make_unique<OpenedArray>();
        if (!openInput(name, object, false, true, *o, status)) return false;
        const aglArray& array = *o->shown();
        in.name = name;
        in.segment = array.segment()->name();
        if (in.segment != aglSlashed(name) && array.dimCount() > 1) {
            in.rowDim = array.rowDim();
            in.colDim = array.colDim();
        }
        if (const aglArray* palette = o->hdfPaletteArray()) in.palette = palette->segment()->name();
        opened.push_back(std::move(o));
        return true;
    };
    return renderCommand(argc, argv, open);
}
#endif

} // namespace

int main(int argc, char** argv) {
    // No exit path leaves a block behind: a reader that goes away makes
    // writes fail (not kill us), and an interrupt, a hang-up or a
    // termination is noted and ends the command through its normal exit.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
        return help();
    if (argc == 2 && std::strcmp(argv[1], "ls") == 0) return listBlocks();
    if (argc < 3) return usage();
    const std::string command = argv[1];
    if (command == "info") {
        const std::string object = takeObjectOption(argc, argv);
        if (argc < 3) return usage();
        const bool json = std::strcmp(argv[2], "--json") == 0;
        if (json && argc != 4) return usage();
        if (!json && argc != 3) return usage();
        g_name = argv[argc - 1];
        return info(g_name, object, json);
    }
    if (command == "dump") return dump(argv[2], argc - 3, argv + 3);
    if (command == "share" && argc >= 4) return share(argv[2], argv[3], argc - 4, argv + 4);
    if (command == "rm" && argc == 3) return removeBlock(argv[2]);
    if (command == "convert" && argc >= 4) return convert(argv[2], argv[3], argc - 4, argv + 4);
#ifdef AGLTOOL_RENDER
    if (command == "render") {
        // One picture or a series, then exit: the GL driver's and the
        // scene's tens of megabytes come faster from one heap of large pages.
        platform::useOneLargePageHeap(size_t(256) << 20);
        return render(argc - 2, argv + 2);
    }
#endif
    return usage();
}
