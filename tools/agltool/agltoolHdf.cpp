#include "agltoolHdf.h"
#include "agltoolJson.h"

#include "ArrayFileOpener.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

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

} // namespace

void printHdfObjects(const HdfObjectList& objects, bool asJson) {
    const std::vector<HdfTreeEntry> entries = hdfTreeOrder(objects);
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
}
