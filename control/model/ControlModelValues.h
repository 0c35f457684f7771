// Small conversions of the control model's sources: values as the property
// table types them, the ends of range pairs, the property bag's QVariants,
// host colours for the engine. Private to control/model.
#pragma once

#include <QVariant>
#include <climits>
#include <cstdint>

#include "plotrane/PropertyTable.h"

namespace plotrane_model {

using plotrane::PropertyInfo;
using plotrane::PropType;
using plotrane::Variant;

// Host colours (0x00BBGGRR) as the engine's 0..1 triples.
inline void colour(uint32_t c, float rgb[3]) {
    for (int k = 0; k < 3; ++k)
        rgb[k] = float((c >> (8 * k)) & 0xFF) / 255.0f;
}

// A number as the typed Variant of the property's type.
inline Variant typed(const PropertyInfo& p, double v) {
    switch (p.type) {
    case PropType::Bool:
        return Variant(v != 0.0);
    case PropType::Short:
        return Variant(int16_t(v));
    case PropType::Float:
        return Variant(float(v));
    case PropType::Double:
        return Variant(v);
    default:
        return Variant(int(int64_t(v)));
    }
}

inline Variant defaultValue(const PropertyInfo& p) {
    if (!p.isNumeric()) return Variant(std::string(p.def.text ? p.def.text : ""));
    return typed(p, p.def.number);
}

inline plotrane::DispatchStatus refuse(int messageId) {
    return {plotrane::kInvalidPropertyValue, plotrane::controlMessage(messageId)};
}

// The axis (0..2) of a clamp property, or -1.
inline int clampAxisOf(int dispid) {
    using namespace plotrane;
    switch (dispid) {
    case DISPID_XMinClamp:
    case DISPID_XMaxClamp:
        return 0;
    case DISPID_YMinClamp:
    case DISPID_YMaxClamp:
        return 1;
    case DISPID_ZMinClamp:
    case DISPID_ZMaxClamp:
        return 2;
    default:
        return -1;
    }
}
inline bool isMinimumEnd(int dispid) {
    using namespace plotrane;
    return dispid == DISPID_XMinClamp || dispid == DISPID_YMinClamp || dispid == DISPID_ZMinClamp ||
           dispid == DISPID_PaletteMinVal;
}
// The other end of a clamp or palette range property, or 0.
inline int otherEnd(int dispid) {
    using namespace plotrane;
    switch (dispid) {
    case DISPID_XMinClamp:
        return DISPID_XMaxClamp;
    case DISPID_XMaxClamp:
        return DISPID_XMinClamp;
    case DISPID_YMinClamp:
        return DISPID_YMaxClamp;
    case DISPID_YMaxClamp:
        return DISPID_YMinClamp;
    case DISPID_ZMinClamp:
        return DISPID_ZMaxClamp;
    case DISPID_ZMaxClamp:
        return DISPID_ZMinClamp;
    case DISPID_PaletteMinVal:
        return DISPID_PaletteMaxVal;
    case DISPID_PaletteMaxVal:
        return DISPID_PaletteMinVal;
    default:
        return 0;
    }
}

inline QVariant toQVariant(const PropertyInfo& p, const Variant& v) {
    switch (p.type) {
    case PropType::Bool:
        return v.toBool();
    case PropType::Float:
        return double(v.toFloat());
    case PropType::Double:
        return v.toDouble();
    case PropType::String:
    case PropType::Font:
        return QString::fromStdString(v.toString());
    default:
        return v.toInt();
    }
}

// A stored value back as the property's type; empty when it is not one.
inline Variant fromQVariant(const PropertyInfo& p, const QVariant& q) {
    bool ok = true;
    switch (p.type) {
    case PropType::String:
    case PropType::Font:
        return Variant(q.toString().toStdString());
    case PropType::Bool: {
        const QString t = q.toString().toLower();
        if (q.typeId() == QMetaType::Bool || t == "true" || t == "false")
            return Variant(q.toBool());
        const int n = q.toInt(&ok);
        return ok ? Variant(n != 0) : Variant();
    }
    case PropType::Float:
    case PropType::Double: {
        const double d = q.toDouble(&ok);
        return ok ? typed(p, d) : Variant();
    }
    default: {
        const qlonglong n = q.toLongLong(&ok);
        if (!ok || n < INT32_MIN || n > UINT32_MAX) return Variant();
        return Variant(int(int32_t(uint32_t(n))));
    }
    }
}

} // namespace plotrane_model
