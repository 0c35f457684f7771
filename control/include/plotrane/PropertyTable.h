// The one table of the graph control's properties: for each dispatch
// identifier its name, type, default, the rule a written value must pass,
// the string-table message of a refusal, and how it persists. The control's
// dispatch, its typed accessors and its property bag, the command-line
// options of `agltool render` and the settings keys all read this table, so
// a property is described once.
//
// Header only, constexpr, free of Qt and GL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "plotrane/ControlDispatch.h"
#include "plotrane/ControlValues.h"

namespace plotrane {

// The type a property has at the dispatch interface.
enum class PropType : uint8_t {
    Bool,
    Short,  // 16-bit integer
    Long,   // 32-bit integer
    Float,  // single precision
    Double, // double precision
    Color,  // OLE colour 0x00BBGGRR as a long
    String,
    Font, // face, size and weight
};

// The rule a written value must pass. Non-finite values never pass a float
// or double property, whatever the rule.
enum class Check : uint8_t {
    Any,          // every value of the type
    Closed,       // low <= v <= high
    OpenOpen,     // low < v < high
    OpenClosed,   // low < v <= high
    AtLeast,      // v >= low
    ElementSize,  // 1, 2, 4 or 8
    SilentClosed, // low..high applied; anything else dropped without an error
};

// What a write does besides storing the value, and how the value persists.
enum PropFlag : uint32_t {
    kReadOnly = 1u << 0,           // writes are refused (error 383)
    kDiscarded = 1u << 1,          // a valid write is accepted and the value dropped
    kIgnored = 1u << 2,            // writes are ignored entirely, not even marked modified
    kMarksWhenDiscarded = 1u << 3, // a discarded write still marks modified and redraws
    kLive = 1u << 4,               // the value is read from the engine, not from the store
    kNoRedraw = 1u << 5,           // a change marks modified but does not redraw
    kNotPersisted = 1u << 6,       // left out of a saved property set
    kDroppedOnLoad = 1u << 7,      // written to a set, the value read back is dropped
    kLoadUnchecked = 1u << 8,      // read-only in effect: loading never validates or aborts
    kEngineDefault = 1u << 9,      // the default is the engine object's own start value
};

// A property's default once the control's window exists. Numbers (booleans
// as 0/1, colours as 0x00BBGGRR) use `number`; strings and fonts `text`
// (a font's default is its face; size and weight are kDefaultFont*).
struct PropDefault {
    double number = 0.0;
    const char* text = nullptr;
};

struct PropertyInfo {
    int dispid;
    const char* name;
    PropType type;
    PropDefault def;
    Check check;
    double low, high;       // bounds of the check, where it has them
    int messageId;          // string-table id of a refusal; 0 when none
    const char* persistKey; // key in a saved property set; nullptr when not persisted
    uint32_t flags;

    constexpr bool has(PropFlag f) const { return (flags & f) != 0; }
    constexpr bool isNumeric() const { return type != PropType::String && type != PropType::Font; }
    constexpr bool isFloating() const {
        return type == PropType::Float || type == PropType::Double;
    }
};

// Axis fonts start as Times New Roman, 12 pt, bold.
inline constexpr const char* kDefaultFontFace = "Times New Roman";
inline constexpr int kDefaultFontPoints = 12;
inline constexpr bool kDefaultFontBold = true;

// The control's version, reported by `MajorVersion` and `MinorVersion`.
inline constexpr int kControlMajorVersion = 1;
inline constexpr int kControlMinorVersion = 7;

// Colour words as the control reports them (red in the low byte).
constexpr double rgb(int r, int g, int b) {
    return double(r | (g << 8) | (b << 16));
}

// The control's string table: the messages its property setters raise with
// error 380.
struct ControlMessage {
    int id;
    const char* text;
};
inline constexpr ControlMessage kControlMessages[] = {
    {201, "LineWidth must be a  number in the range (0, 100)"},
    {202, "GridDensity must be a  number in the range: (0, 100)"},
    {203, "BarChartArea must be a number in the range: (0, 1]"},
    {206, "Invalid Graph Style"},
    {207, "Invalid Shading value"},
    {208, "Invalid TextureMode"},
    {210, "Invalid CachBehavior value"},
    {211, "Invalid Resolution value"},
    {222, "Value must be non-negative"},
    {223, "Value must be positive"},
    {224, "DataElementSize must be one of the following values: 1, 2, 4, or 8"},
    {225, "Value must be a finite number"},
    {57346, "Invalid GraphType value"},
    {57347, "Invalid PointSize"},
    {57348, "Invalid ViewerMode value"},
    {57349, "Invalid Palette Id"},
    {57351, "Invalid CamViewType value"},
    {57352, "Invalide Image Orientation value"},
    {57353, "Picture size must be 0 x 0, or 1 to 1000000 each way"},
    {57354, "The graph window is empty"},
};
// CreateMetaFile refusals.
inline constexpr int kMsgMetaFileSize = 57353;
inline constexpr int kMsgEmptyWindow = 57354;
// Raised for a non-finite value written to a float property that has no
// message of its own.
inline constexpr int kMsgNotFinite = 225;
// The largest finite single-precision value.
inline constexpr double kFloatMax = 3.4028234663852886e38;
// Automation error for a write to a read-only property.
inline constexpr int kSetNotSupported = 383;

constexpr const char* controlMessage(int id) {
    for (const ControlMessage& m : kControlMessages)
        if (m.id == id) return m.text;
    return "";
}

constexpr PropDefault dnum(double v) {
    return {v, nullptr};
}
constexpr PropDefault dtext(const char* t) {
    return {0.0, t};
}

namespace detail {
using T = PropType;
using C = Check;
} // namespace detail

// One row per property: P(Name, type, default, check, low, high, message,
// flags), or PK(Name, "persistence key", ...) where the key differs. The macro spells the dispatch
// identifier from the name, so a row's number and name cannot disagree; kPropertiesInOrder below
// keeps the rows in dispatch order.
// clang-format off
#define PLOTRANE_P(name, type, def, check, lo, hi, msg, flags) \
    PLOTRANE_PK(name, #name, type, def, check, lo, hi, msg, flags)
#define PLOTRANE_PK(name, key, type, def, check, lo, hi, msg, flags) \
    PropertyInfo{DISPID_##name, #name, detail::T::type, def, detail::C::check, lo, hi, msg, key, flags}

inline constexpr PropertyInfo kProperties[] = {
    PLOTRANE_P(GraphStyle,                Short,  dnum(1),                   Closed,       0,  4,   206,   0),
    PLOTRANE_P(CacheBehavior,             Short,  dnum(1),                   Closed,       0,  2,   210,   0),
    PLOTRANE_P(LineSmooth,                Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(LineWidth,                 Float,  dnum(1.0),                 OpenOpen,     0,  100, 201,   0),
    PLOTRANE_P(Depthcue,                  Bool,   dnum(0),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(Shading,                   Short,  dnum(1),                   Closed,       0,  1,   207,   0),
    PLOTRANE_P(XScale,                    Float,  dnum(1.0),                 Any,          0,  0,   0,     0),
    PLOTRANE_P(YScale,                    Float,  dnum(1.0),                 Any,          0,  0,   0,     0),
    PLOTRANE_P(ZScale,                    Float,  dnum(0.8),                 Any,          0,  0,   0,     0),
    PLOTRANE_P(BarChartArea,              Float,  dnum(0.7),                 OpenClosed,   0,  1,   203,   0),
    PLOTRANE_P(ShowGrid,                  Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_PK(HiddenLine, "ShowHiddenLine", Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(UseColorPalette,           Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(ZBias,                     Float,  dnum(0.0),                 Any,          0,  0,   0,     kDiscarded | kMarksWhenDiscarded | kLoadUnchecked),
    PLOTRANE_P(Resolution,                Long,   dnum(1),                   AtLeast,      1,  0,   211,   kLive),
    PLOTRANE_P(ColumnStart,               Long,   dnum(0),                   AtLeast,      0,  0,   222,   kLive),
    PLOTRANE_P(RowStart,                  Long,   dnum(0),                   AtLeast,      0,  0,   222,   kLive | kNoRedraw),
    PLOTRANE_P(DataElementSize,           Short,  dnum(0),                   ElementSize,  0,  0,   224,   kDiscarded | kLive | kLoadUnchecked),
    PLOTRANE_P(NumColumns,                Long,   dnum(0),                   AtLeast,      1,  0,   223,   kLive | kNoRedraw),
    PLOTRANE_P(NumRows,                   Long,   dnum(0),                   AtLeast,      1,  0,   223,   kLive | kNoRedraw),
    PLOTRANE_P(DataCellSize,              Long,   dnum(0),                   Any,          0,  0,   0,     kDiscarded | kLive | kLoadUnchecked),
    PLOTRANE_P(DataOffset,                Long,   dnum(-1),                  AtLeast,      0,  0,   222,   kDiscarded | kLive | kLoadUnchecked),
    PLOTRANE_P(NumAntiAliasPasses,        Long,   dnum(0),                   Closed,       0,  32,  0,     kIgnored),
    PLOTRANE_P(ShowDataTip,               Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(GridDensity,               Float,  dnum(40.0),                OpenOpen,     0,  100, 202,   0),
    PLOTRANE_P(ShowAxis,                  Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(AxisLabelColor,            Color,  dnum(rgb(77, 77, 77)),     Any,          0,  0,   0,     kEngineDefault),
    PLOTRANE_P(AxisFontName,              String, dtext("Times New Roman"),  Any,          0,  0,   0,     0),
    PLOTRANE_P(AxisColor,                 Color,  dnum(rgb(153, 153, 153)),  Any,          0,  0,   0,     0),
    PLOTRANE_P(TextureMode,               Short,  dnum(0),                   Closed,       0,  2,   208,   0),
    PLOTRANE_P(Lighting,                  Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(XAxisLabel,                String, dtext("X"),                Any,          0,  0,   0,     kEngineDefault),
    PLOTRANE_P(YAxisLabel,                String, dtext("Y"),                Any,          0,  0,   0,     kEngineDefault),
    PLOTRANE_P(ZAxisLabel,                String, dtext("Z"),                Any,          0,  0,   0,     kEngineDefault),
    PLOTRANE_P(FileName,                  String, dtext(""),                 Any,          0,  0,   0,     0),
    PLOTRANE_P(AxisFont,                  Font,   dtext("Times New Roman"),  Any,          0,  0,   0,     0),
    PLOTRANE_P(FontAutoScale,             Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(AxisLabelFont,             Font,   dtext("Times New Roman"),  Any,          0,  0,   0,     0),
    PLOTRANE_P(CamXPos,                   Float,  dnum(0.0),                 Any,          0,  0,   0,     kLive | kEngineDefault),
    PLOTRANE_P(CamYPos,                   Float,  dnum(0.0),                 Any,          0,  0,   0,     kLive | kEngineDefault),
    PLOTRANE_P(CamZPos,                   Float,  dnum(0.0),                 Any,          0,  0,   0,     kLive | kEngineDefault),
    PLOTRANE_P(CamXCoi,                   Float,  dnum(0.5),                 Any,          0,  0,   0,     kLive),
    PLOTRANE_P(CamYCoi,                   Float,  dnum(0.5),                 Any,          0,  0,   0,     kLive),
    PLOTRANE_P(CamZCoi,                   Float,  dnum(0.3),                 Any,          0,  0,   0,     kLive),
    PLOTRANE_P(DataType,                  Short,  dnum(0),                   Any,          0,  0,   0,     kDiscarded | kLoadUnchecked),
    PLOTRANE_P(GLVersion,                 String, dtext(""),                 Any,          0,  0,   0,     kReadOnly | kLive | kNotPersisted),
    PLOTRANE_P(GLRenderer,                String, dtext(""),                 Any,          0,  0,   0,     kReadOnly | kLive | kNotPersisted),
    PLOTRANE_P(GLVendor,                  String, dtext(""),                 Any,          0,  0,   0,     kReadOnly | kLive | kNotPersisted),
    PLOTRANE_P(GLExtensions,              String, dtext(""),                 Any,          0,  0,   0,     kReadOnly | kLive | kNotPersisted),
    PLOTRANE_P(AxisAutoScale,             Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(ZMinClamp,                 Double, dnum(-1.0),                Any,          0,  0,   0,     kLive | kNoRedraw),
    PLOTRANE_P(ZMaxClamp,                 Double, dnum(1.0),                 Any,          0,  0,   0,     kLive | kNoRedraw),
    PLOTRANE_P(AxisStyle,                 Short,  dnum(5),                   SilentClosed, 1,  21,  0,     0),
    PLOTRANE_P(PaletteId,                 Short,  dnum(4),                   Closed,       0,  6,   57349, 0),
    PLOTRANE_P(PaletteAutoAdjust,         Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(PaletteMinVal,             Double, dnum(-1.0),                Any,          0,  0,   0,     kLive),
    PLOTRANE_P(PaletteMaxVal,             Double, dnum(1.0),                 Any,          0,  0,   0,     kLive),
    PLOTRANE_P(OrthographicProj,          Bool,   dnum(0),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(CamDistance,               Float,  dnum(3.0),                 Any,          0,  0,   0,     kLive),
    PLOTRANE_P(CamElevation,              Float,  dnum(26.0),                Any,          0,  0,   0,     kLive),
    PLOTRANE_PK(CamAzimuth, "CamAximuth", Float,  dnum(-108.5),              Any,          0,  0,   0,     kLive),
    PLOTRANE_P(GraphType,                 Short,  dnum(1),                   Closed,       0,  3,   57346, 0),
    PLOTRANE_P(PointSize,                 Float,  dnum(2.0),                 OpenOpen,     0,  100, 57347, 0),
    PLOTRANE_P(XMaxClamp,                 Double, dnum(1.0),                 Any,          0,  0,   0,     kLive | kNoRedraw),
    PLOTRANE_P(XMinClamp,                 Double, dnum(-1.0),                Any,          0,  0,   0,     kLive | kNoRedraw),
    PLOTRANE_P(YMaxClamp,                 Double, dnum(1.0),                 Any,          0,  0,   0,     kLive | kNoRedraw),
    PLOTRANE_P(YMinClamp,                 Double, dnum(-1.0),                Any,          0,  0,   0,     kLive | kNoRedraw),
    PLOTRANE_P(ViewerMode,                Short,  dnum(1),                   Closed,       0,  2,   57348, 0),
    PLOTRANE_P(GridDensityAutoAdjust,     Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(ShowPalette,               Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(ShowPaletteLabels,         Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(ShowCursor,                Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(Row,                       Long,   dnum(0),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(Col,                       Long,   dnum(0),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(CursorColor,               Color,  dnum(rgb(204, 0, 0)),      Any,          0,  0,   0,     0),
    PLOTRANE_P(XComp,                     Long,   dnum(0),                   Any,          0,  0,   0,     kNoRedraw),
    PLOTRANE_P(YComp,                     Long,   dnum(1),                   Any,          0,  0,   0,     kNoRedraw),
    PLOTRANE_P(ZComp,                     Long,   dnum(2),                   Any,          0,  0,   0,     kNoRedraw),
    PLOTRANE_P(WComp,                     Long,   dnum(3),                   Any,          0,  0,   0,     kNoRedraw),
    PLOTRANE_P(XNumMajorTickmarks,        Short,  dnum(5),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(YNumMajorTickmarks,        Short,  dnum(5),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(ZNumMajorTickmarks,        Short,  dnum(5),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(XNumMinorTickmarks,        Short,  dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(YNumMinorTickmarks,        Short,  dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(ZNumMinorTickmarks,        Short,  dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(XAxisLabelStart,           String, dtext(""),                 Any,          0,  0,   0,     kDiscarded),
    PLOTRANE_P(XAxisLabelEnd,             String, dtext(""),                 Any,          0,  0,   0,     kDiscarded),
    PLOTRANE_P(YAxisLabelStart,           String, dtext(""),                 Any,          0,  0,   0,     kDiscarded),
    PLOTRANE_P(YAxisLabelEnd,             String, dtext(""),                 Any,          0,  0,   0,     kDiscarded),
    PLOTRANE_P(ZAxisLabelStart,           String, dtext(""),                 Any,          0,  0,   0,     kDiscarded),
    PLOTRANE_P(ZAxisLabelEnd,             String, dtext(""),                 Any,          0,  0,   0,     kDiscarded),
    PLOTRANE_P(GraphColor,                Color,  dnum(rgb(0, 0, 255)),      Any,          0,  0,   0,     0),
    PLOTRANE_P(CursorTransparency,        Float,  dnum(0.7),                 Any,          0,  0,   0,     0),
    PLOTRANE_P(ResolutionAutoAdjust,      Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(NumXGridLines,             Long,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(NumYGridLines,             Long,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(DataSelectEnable,          Bool,   dnum(1),                   Any,          0,  0,   0,     kNoRedraw),
    PLOTRANE_P(AxisAutoDetail,            Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(AxisBackColor,             Color,  dnum(rgb(204, 204, 204)),  Any,          0,  0,   0,     kEngineDefault),
    PLOTRANE_P(GridColor,                 Color,  dnum(rgb(51, 51, 51)),     Any,          0,  0,   0,     0),
    PLOTRANE_P(CamViewType,               Short,  dnum(0),                   Closed,       0,  3,   57351, 0),
    PLOTRANE_P(DataClamp,                 Bool,   dnum(0),                   Any,          0,  0,   0,     kNoRedraw),
    PLOTRANE_P(RowSel,                    Long,   dnum(0),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(ColSel,                    Long,   dnum(0),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(FixedAspect,               Bool,   dnum(0),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(ImageOrientation,          Short,  dnum(0),                   Closed,       0,  3,   57352, 0),
    PLOTRANE_P(RowDim,                    Long,   dnum(0),                   SilentClosed, 0,  6,   0,     kLive | kNoRedraw),
    PLOTRANE_P(ColDim,                    Long,   dnum(0),                   SilentClosed, 0,  6,   0,     kLive | kNoRedraw),
    PLOTRANE_P(SelectionOutlineColor,     Color,  dnum(0),                   Any,          0,  0,   0,     kDiscarded),
    PLOTRANE_P(ImageFilter,               Bool,   dnum(0),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(HighLight,                 Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(MajorVersion,              Long,   dnum(kControlMajorVersion), Any,          0,  0,   0,     kReadOnly | kNotPersisted),
    PLOTRANE_P(MinorVersion,              Long,   dnum(kControlMinorVersion), Any,          0,  0,   0,     kReadOnly | kNotPersisted),
    PLOTRANE_P(UseAxisScales,             Bool,   dnum(1),                   Any,          0,  0,   0,     0),
    PLOTRANE_P(PaletteFileName,           String, dtext(""),                 Any,          0,  0,   0,     kLive),
    PLOTRANE_P(Hold,                      Bool,   dnum(1),                   Any,          0,  0,   0,     kDiscarded | kLoadUnchecked),
    PLOTRANE_P(MetaFileStatus,            Short,  dnum(0),                   Any,          0,  0,   0,     kReadOnly | kLive | kDroppedOnLoad),
    PLOTRANE_P(MetaFile,                  String, dtext(""),                 Any,          0,  0,   0,     kReadOnly | kLive | kDroppedOnLoad),
};
// clang-format on
#undef PLOTRANE_P
#undef PLOTRANE_PK

inline constexpr int kPropertyCount = int(sizeof(kProperties) / sizeof(kProperties[0]));

constexpr bool kPropertiesInOrder = [] {
    for (int i = 0; i < kPropertyCount; ++i)
        if (kProperties[i].dispid != i + 1) return false;
    return true;
}();
static_assert(kPropertyCount == DISPID_MetaFile, "one row per property");
static_assert(kPropertiesInOrder, "rows in dispatch order, from 1");
static_assert(kPropertyCount + 1 == DISPID_GetFrameRate, "methods follow the properties");

constexpr bool kEveryMessageExists = [] {
    for (const PropertyInfo& p : kProperties)
        if (p.messageId != 0 && controlMessage(p.messageId)[0] == 0) return false;
    return true;
}();
static_assert(kEveryMessageExists, "every refusal has its string");

// The row of a property, or nullptr when dispid is no property of the table
// (methods and stock members included).
constexpr const PropertyInfo* propertyInfo(int dispid) {
    return dispid >= 1 && dispid <= kPropertyCount ? &kProperties[dispid - 1] : nullptr;
}

// The row of a property by its name (exact spelling), or nullptr.
constexpr const PropertyInfo* findProperty(std::string_view name) {
    for (const PropertyInfo& p : kProperties)
        if (name == p.name) return &p;
    return nullptr;
}

// The stock properties the control implements besides the table.
inline constexpr PropertyInfo kStockProperties[] = {
    {DISPID_BackColor,
     "BackColor",
     PropType::Color,
     {rgb(255, 255, 255)},
     Check::Any,
     0,
     0,
     0,
     "BackColor",
     0},
    {DISPID_hWnd,
     "hWnd",
     PropType::Long,
     {0},
     Check::Any,
     0,
     0,
     0,
     nullptr,
     kReadOnly | kLive | kNotPersisted},
};

// Any property the control answers to by number: the table's or a stock one.
constexpr const PropertyInfo* anyPropertyInfo(int dispid) {
    if (const PropertyInfo* p = propertyInfo(dispid)) return p;
    for (const PropertyInfo& p : kStockProperties)
        if (p.dispid == dispid) return &p;
    return nullptr;
}
constexpr const PropertyInfo* findAnyProperty(std::string_view name) {
    if (const PropertyInfo* p = findProperty(name)) return p;
    for (const PropertyInfo& p : kStockProperties)
        if (name == p.name) return &p;
    return nullptr;
}

// The C++ type that carries a property of each dispatch type.
template <PropType T> struct PropValue;
template <> struct PropValue<PropType::Bool> { using type = bool; };
template <> struct PropValue<PropType::Short> { using type = int16_t; };
template <> struct PropValue<PropType::Long> { using type = int32_t; };
template <> struct PropValue<PropType::Float> { using type = float; };
template <> struct PropValue<PropType::Double> { using type = double; };
template <> struct PropValue<PropType::Color> { using type = uint32_t; };
template <> struct PropValue<PropType::String> { using type = std::string; };
template <> struct PropValue<PropType::Font> { using type = std::string; }; // the face
// The C++ type of the property with that dispatch identifier.
// (By index, not through a pointer: a sanitizer build does not take pointer
// dereferences as constant expressions.)
constexpr PropType propTypeOf(int dispid) {
    if (dispid >= 1 && dispid <= kPropertyCount) return kProperties[dispid - 1].type;
    for (size_t i = 0; i < sizeof(kStockProperties) / sizeof(kStockProperties[0]); ++i)
        if (kStockProperties[i].dispid == dispid) return kStockProperties[i].type;
    return PropType::String;
}
template <int Dispid> using PropValueOf = typename PropValue<propTypeOf(Dispid)>::type;

// The order in which a property set is saved and loaded: the table's, with
// each X and Y clamp minimum before its maximum.
constexpr int persistedDispid(int index) {
    const int d = kProperties[index].dispid;
    switch (d) {
    case DISPID_XMaxClamp:
        return DISPID_XMinClamp;
    case DISPID_XMinClamp:
        return DISPID_XMaxClamp;
    case DISPID_YMaxClamp:
        return DISPID_YMinClamp;
    case DISPID_YMinClamp:
        return DISPID_YMaxClamp;
    default:
        return d;
    }
}

// The outcome of checking a value against a row's rule, without the
// control's state: 0 when the value passes (or, for SilentClosed, when it
// is merely not applied), else the message id to raise with error 380.
// `applies` tells whether a passing value is to be applied.
struct CheckResult {
    int messageId = 0;
    bool applies = true;
};
constexpr CheckResult checkValue(const PropertyInfo& p, double v) {
    // NaN, an infinity, or beyond what a single-precision property holds
    // (it would become an infinity).
    const bool beyondFloat = p.type == PropType::Float && (v > kFloatMax || v < -kFloatMax);
    if (p.isFloating() && (!(v - v == 0.0) || beyondFloat))
        return {p.messageId != 0 ? p.messageId : kMsgNotFinite, false};
    const auto fail = [&]() { return CheckResult{p.messageId, false}; };
    switch (p.check) {
    case Check::Any:
        return {};
    case Check::Closed:
        return v >= p.low && v <= p.high ? CheckResult{} : fail();
    case Check::OpenOpen:
        return v > p.low && v < p.high ? CheckResult{} : fail();
    case Check::OpenClosed:
        return v > p.low && v <= p.high ? CheckResult{} : fail();
    case Check::AtLeast:
        return v >= p.low ? CheckResult{} : fail();
    case Check::ElementSize:
        return v == 1 || v == 2 || v == 4 || v == 8 ? CheckResult{} : fail();
    case Check::SilentClosed:
        return v >= p.low && v <= p.high ? CheckResult{} : CheckResult{0, false};
    }
    return {};
}

// Methods, in dispatch order: name and the number of arguments.
struct MethodInfo {
    int dispid;
    const char* name;
    int argCount;
};
inline constexpr MethodInfo kMethods[] = {
    {DISPID_GetFrameRate, "GetFrameRate", 0},
    {DISPID_Spin, "Spin", 0},
    {DISPID_Cycle, "Cycle", 1},
    {DISPID_Update, "Update", 0},
    {DISPID_SetHomePosition, "SetHomePosition", 0},
    {DISPID_ToHomePosition, "ToHomePosition", 0},
    {DISPID_SetRoiLb, "SetRoiLb", 2},
    {DISPID_SetRoiUb, "SetRoiUb", 2},
    {DISPID_GetRoiLb, "GetRoiLb", 1},
    {DISPID_GetRoiUb, "GetRoiUb", 1},
    {DISPID_Malloc, "Malloc", 1},
    {DISPID_Free, "Free", 0},
    {DISPID_Reshape, "Reshape", 3},
    {DISPID_SetIndexColor, "SetIndexColor", 2},
    {DISPID_GetIndexColor, "GetIndexColor", 1},
    {DISPID_SetLBound, "SetLBound", 2},
    {DISPID_GetLBound, "GetLBound", 1},
    {DISPID_SetAxisScale, "SetAxisScale", 2},
    {DISPID_SetCustomPalette, "SetCustomPalette", 1},
    {DISPID_CreateMetaFile, "CreateMetaFile", 2},
    {DISPID_SetAxisClamp, "SetAxisClamp", 3},
    {DISPID_SetPaletteRange, "SetPaletteRange", 2},
    {DISPID_SetImageAspect, "SetImageAspect", 1},
    {DISPID_GetImageAspect, "GetImageAspect", 0},
};
constexpr bool kMethodsInOrder = [] {
    int i = 0;
    for (const MethodInfo& m : kMethods)
        if (m.dispid != DISPID_GetFrameRate + i++) return false;
    return i == DISPID_GetImageAspect - DISPID_GetFrameRate + 1;
}();
static_assert(kMethodsInOrder, "methods in dispatch order");

} // namespace plotrane
