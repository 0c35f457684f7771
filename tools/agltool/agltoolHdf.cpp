#include "agltoolHdf.h"
#include "agltoolJson.h"

#include "HdfHelper.h"
#include "HdfObjects.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

struct Entry {
    const CHdfObject* object;
    int level;
};

// The objects in the tree's order: top-level ones with content that are not
// hidden, each followed by its children that are not hidden.
void collect(const CHdfObject& o, int level, std::vector<Entry>& out) {
    out.push_back({&o, level});
    for (const auto& c : o.children)
        if (!c->hidden) collect(*c, level + 1, out);
}

std::vector<Entry> treeOrder(const HdfObjectList& objects) {
    std::vector<Entry> out;
    for (const auto& o : objects)
        if (o->hasContent && !o->hidden) collect(*o, 0, out);
    return out;
}

std::string extentsText(const std::vector<int32_t>& extents) {
    std::string s;
    for (int32_t e : extents)
        s += "[" + std::to_string(e) + "]";
    return s;
}

// A name from the file, fit for one field of a tab-separated line: tabs,
// line breaks, backslashes and other control characters (NUL too) are
// written as C escapes, so a name can neither end its field or line nor cut
// the output short.
std::string escapedText(const std::string& s) {
    std::string out;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                out += hex;
            } else {
                out += ch;
            }
        }
    }
    return out;
}

std::string shapeOf(const CHdfObject& o) {
    switch (o.kind) {
    case HdfKindSds: {
        const auto& s = static_cast<const CHdfSds&>(o);
        const char* type = s.elementSize > 0 ? agl::typeInfo(s.typeCode).cName : "unsupported";
        return type + extentsText(s.extents);
    }
    case HdfKindRaster: {
        const auto& r = static_cast<const CHdfRasterImage&>(o);
        std::string s =
            std::string(agl::typeInfo(r.typeCode).cName) + extentsText({r.height, r.width});
        if (r.components != 1) s += " x " + std::to_string(r.components) + " components";
        return s;
    }
    case HdfKindPalette:
        return std::string(agl::typeInfo(AGL_UCHAR).cName) + "[256][4]";
    case HdfKindAttribute:
        return std::to_string(static_cast<const CHdfAttribute&>(o).count) + " values";
    case HdfKindAnnotation:
        return std::to_string(static_cast<const CHdfAnnotation&>(o).text.size()) + " characters";
    default:
        return "";
    }
}

bool listFile(const std::string& path, HdfObjectList& objects) {
    HdfHelper helper;
    std::string reason;
    if (helper.list(path, objects, reason)) return true;
    std::fprintf(stderr, "agltool: %s: %s\n", path.c_str(), reason.c_str());
    return false;
}

} // namespace

bool isHdfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char b[4] = {};
    return in.read(reinterpret_cast<char*>(b), 4) && b[0] == 0x0E && b[1] == 0x03 && b[2] == 0x13 &&
           b[3] == 0x01;
}

int hdfInfo(const std::string& path, bool asJson) {
    HdfObjectList objects;
    if (!listFile(path, objects)) return 2;
    const std::vector<Entry> entries = treeOrder(objects);
    if (asJson) std::printf("[\n");
    for (size_t i = 0; i < entries.size(); ++i) {
        const CHdfObject& o = *entries[i].object;
        if (asJson) {
            std::printf("  {\"index\": %zu, \"level\": %d, \"kind\": %s, \"name\": %s, "
                        "\"shape\": %s}%s\n",
                        i, entries[i].level, jsonString(o.kindName()).c_str(),
                        jsonString(o.shownName()).c_str(), jsonString(shapeOf(o)).c_str(),
                        i + 1 < entries.size() ? "," : "");
        } else {
            std::printf(
                "%zu\t%s%s\t%s\t%s\n", i, std::string(size_t(2 * entries[i].level), ' ').c_str(),
                o.kindName().c_str(), escapedText(o.shownName()).c_str(), shapeOf(o).c_str());
        }
    }
    if (asJson) std::printf("]\n");
    return 0;
}

std::unique_ptr<aglArray> hdfObjectArray(const std::string& path, const std::string& object,
                                         std::unique_ptr<aglArray>* palette) {
    HdfObjectList objects;
    if (!listFile(path, objects)) return nullptr;
    const std::vector<Entry> entries = treeOrder(objects);
    const CHdfObject* chosen = nullptr;
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(object.c_str(), &end, 10);
    if (!object.empty() && *end == '\0' && errno == 0) {
        if (n >= 0 && size_t(n) < entries.size()) chosen = entries[size_t(n)].object;
    } else {
        for (const Entry& e : entries)
            if (!chosen && e.object->shownName() == object) chosen = e.object;
    }
    if (!chosen) {
        std::fprintf(stderr, "agltool: %s: no object %s (see agltool info)\n", path.c_str(),
                     object.c_str());
        return nullptr;
    }
    HdfHelper helper;
    std::string reason;
    auto array = helper.makeArray(*chosen, reason);
    if (!array) {
        std::fprintf(stderr, "agltool: %s: object %s: %s\n", path.c_str(), object.c_str(),
                     reason.empty() ? "has no elements to show" : reason.c_str());
        return nullptr;
    }
    if (palette) {
        for (const auto& c : chosen->children) {
            if (c->kind != HdfKindPalette || !c->hasContent) continue;
            *palette = helper.makeArray(*c, reason);
            if (!*palette) {
                std::fprintf(stderr, "agltool: %s: palette: %s\n", path.c_str(), reason.c_str());
                return nullptr;
            }
            break;
        }
    }
    return array;
}
