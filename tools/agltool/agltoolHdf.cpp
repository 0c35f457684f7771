#include "agltoolHdf.h"
#include "agltoolJson.h"

#include "ArrayFileOpener.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

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
    return hdfShapeText(o);
}

// The values of an attribute or the text of an annotation; empty otherwise.
std::string textOf(const CHdfObject& o) {
    if (o.kind == HdfKindAttribute) return static_cast<const CHdfAttribute&>(o).text;
    if (o.kind == HdfKindAnnotation) return static_cast<const CHdfAnnotation&>(o).text;
    return {};
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

void printHdfObject(const CHdfObject& o, bool asJson) {
    const std::string text = textOf(o);
    const int scaleOf = o.kind == HdfKindSds ? static_cast<const CHdfSds&>(o).scaleOfDimension : -1;
    std::vector<const CHdfAttribute*> attributes;
    for (const auto& c : o.children)
        if (c->kind == HdfKindAttribute) attributes.push_back(static_cast<CHdfAttribute*>(c.get()));
    if (asJson) {
        std::printf("{\n  \"kind\": %s,\n  \"name\": %s,\n  \"location\": %s,\n"
                    "  \"shape\": %s,\n  \"refusal\": %s,\n  \"scale_of_dimension\": %d,\n"
                    "  \"text\": %s,\n  \"attributes\": {",
                    jsonString(o.kindName()).c_str(), jsonString(o.shownName()).c_str(),
                    jsonString(o.location).c_str(), jsonString(shapeOf(o)).c_str(),
                    o.refusal.empty() ? "null" : jsonString(o.refusal).c_str(), scaleOf,
                    jsonString(text).c_str());
        for (size_t i = 0; i < attributes.size(); ++i)
            std::printf("%s\n    %s: %s", i ? "," : "", jsonString(attributes[i]->name).c_str(),
                        jsonString(attributes[i]->text).c_str());
        std::printf("%s}\n}\n", attributes.empty() ? "" : "\n  ");
        return;
    }
    std::printf("kind\t%s\nname\t%s\n", o.kindName().c_str(), escapedText(o.shownName()).c_str());
    if (!o.location.empty()) std::printf("location\t%s\n", escapedText(o.location).c_str());
    const std::string shape = shapeOf(o);
    if (!shape.empty()) std::printf("shape\t%s\n", shape.c_str());
    if (!o.refusal.empty()) std::printf("refused\t%s\n", o.refusal.c_str());
    if (scaleOf >= 0) std::printf("scale of dimension\t%d\n", scaleOf);
    // Values one per line, as the Annotation view shows them.
    if (!text.empty()) std::printf("%s%s", text.c_str(), text.back() == '\n' ? "" : "\n");
    for (const CHdfAttribute* a : attributes) {
        std::string values = a->text;
        while (!values.empty() && values.back() == '\n')
            values.pop_back();
        std::printf("attribute\t%s\t%s\n", escapedText(a->name).c_str(),
                    escapedText(values).c_str());
    }
}
