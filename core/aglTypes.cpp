#include "aglTypes.h"

namespace agl {
namespace {

const TypeInfo kTypes[8] = {
    {AGL_UCHAR, "AGL_UCHAR", 1, AGL_CLASS_UNSIGNED, "uchar", "uint*1", "uchar", 255.0, 0.0},
    {AGL_CHAR, "AGL_CHAR", 1, AGL_CLASS_SIGNED, "char", "int*1", "char", 127.0, -128.0},
    {AGL_USHORT, "AGL_USHORT", 2, AGL_CLASS_UNSIGNED, "ushort", "uint*2", "ushort", 65535.0, 0.0},
    {AGL_SHORT, "AGL_SHORT", 2, AGL_CLASS_SIGNED, "short", "int*2", "short", 32767.0, -32768.0},
    {AGL_ULONG, "AGL_ULONG", 4, AGL_CLASS_UNSIGNED, "ulong", "uint*4", "ulong", 4294967295.0, 0.0},
    {AGL_LONG, "AGL_LONG", 4, AGL_CLASS_SIGNED, "long", "int*4", "long", 2147483647.0,
     -2147483648.0},
    {AGL_FLOAT, "AGL_FLOAT", 4, AGL_CLASS_FLOAT, "float", "real*4", "float", kFloatLimit,
     -kFloatLimit},
    {AGL_DOUBLE, "AGL_DOUBLE", 8, AGL_CLASS_FLOAT, "double", "real*8", "double", kDoubleLimit,
     -kDoubleLimit},
};

} // namespace

int normalizeType(int code) {
    if (code < AGL_UCHAR) code += AGL_UCHAR;
    return isTypeCode(code) ? code : AGL_UCHAR;
}

const TypeInfo& typeInfo(int code) {
    return kTypes[normalizeType(code) - AGL_UCHAR];
}

const char* errorName(int code) {
    switch (code) {
    case AGL_OK:
        return "AGL_OK";
    case AGL_E_MAPPING:
        return "AGL_E_MAPPING";
    case AGL_E_EXISTS:
        return "AGL_E_EXISTS";
    case AGL_E_MAPVIEW:
        return "AGL_E_MAPVIEW";
    case AGL_E_OPEN:
        return "AGL_E_OPEN";
    case AGL_E_FORMAT:
        return "AGL_E_FORMAT";
    case AGL_E_EXTENT:
        return "AGL_E_EXTENT";
    case AGL_E_TOO_LARGE:
        return "AGL_E_TOO_LARGE";
    case AGL_E_RANK:
        return "AGL_E_RANK";
    case AGL_E_SIZE:
        return "AGL_E_SIZE";
    case AGL_E_READONLY:
        return "AGL_E_READONLY";
    default:
        return "AGL_E_UNKNOWN";
    }
}

} // namespace agl
