// The graph control's dispatch interface: the one way a host reaches the
// control. Every property and method has a fixed number (its dispatch
// identifier, DISPID); the host gets and sets properties and invokes methods
// by number with arguments and results carried in a small Variant. The
// numbering is part of the interface between the viewer and the control:
// members are numbered from 1 in table order; the stock members keep their
// standard negative numbers.
//
// Header only and free of Qt, GL and the control's code, so that the viewer
// includes it without linking the control, and the control library
// implements it. Host thread only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace plotrane {

// A value passed through the dispatch interface: empty, boolean, 32-bit
// integer (short, long and colour alike), single or double float, or text.
// Conversions between the numeric kinds follow the usual automation rules
// (floats truncate toward zero into integers; text converts to nothing).
class Variant {
public:
    enum class Type { Empty, Bool, Int, Float, Double, String };

    Variant() = default;
    Variant(bool v) : m_type(Type::Bool), m_int(v ? 1 : 0) {}
    Variant(int v) : m_type(Type::Int), m_int(v) {}
    Variant(int16_t v) : m_type(Type::Int), m_int(v) {}
    Variant(uint32_t v) : m_type(Type::Int), m_int(int32_t(v)) {}
    Variant(float v) : m_type(Type::Float), m_double(v) {}
    Variant(double v) : m_type(Type::Double), m_double(v) {}
    Variant(const char* v) : m_type(Type::String), m_string(v ? v : "") {}
    Variant(std::string v) : m_type(Type::String), m_string(std::move(v)) {}

    Type type() const { return m_type; }
    bool isEmpty() const { return m_type == Type::Empty; }

    bool toBool() const {
        return m_type == Type::Float || m_type == Type::Double ? m_double != 0.0 : m_int != 0;
    }
    int32_t toInt() const {
        if (m_type == Type::Float || m_type == Type::Double) {
            // Saturate rather than overflow: the value came from outside.
            if (!(m_double > -2147483648.0)) return m_double != m_double ? 0 : INT32_MIN;
            if (!(m_double < 2147483647.0)) return INT32_MAX;
            return int32_t(m_double);
        }
        return m_int;
    }
    double toDouble() const {
        return m_type == Type::Float || m_type == Type::Double ? m_double : double(m_int);
    }
    float toFloat() const { return float(toDouble()); }
    const std::string& toString() const { return m_string; }

    bool operator==(const Variant& o) const {
        return m_type == o.m_type && m_int == o.m_int && m_double == o.m_double &&
               m_string == o.m_string;
    }

private:
    Type m_type = Type::Empty;
    int32_t m_int = 0;
    double m_double = 0.0;
    std::string m_string;
};

// The outcome of a property write: code 0, or the control error 380 with
// the message of the control's string table ("Invalid Graph Style").
struct DispatchStatus {
    int code = 0;
    std::string message;
    bool ok() const { return code == 0; }
};

constexpr int kInvalidPropertyValue = 380;

// Dispatch identifiers, in the order of the control's dispatch table.
enum Dispid : int {
    DISPID_GraphStyle = 1,
    DISPID_CacheBehavior,
    DISPID_LineSmooth,
    DISPID_LineWidth,
    DISPID_Depthcue,
    DISPID_Shading,
    DISPID_XScale,
    DISPID_YScale,
    DISPID_ZScale,
    DISPID_BarChartArea, // 10
    DISPID_ShowGrid,
    DISPID_HiddenLine,
    DISPID_UseColorPalette,
    DISPID_ZBias,
    DISPID_Resolution,
    DISPID_ColumnStart,
    DISPID_RowStart,
    DISPID_DataElementSize,
    DISPID_NumColumns,
    DISPID_NumRows, // 20
    DISPID_DataCellSize,
    DISPID_DataOffset,
    DISPID_NumAntiAliasPasses,
    DISPID_ShowDataTip,
    DISPID_GridDensity,
    DISPID_ShowAxis,
    DISPID_AxisLabelColor,
    DISPID_AxisFontName,
    DISPID_AxisColor,
    DISPID_TextureMode, // 30
    DISPID_Lighting,
    DISPID_XAxisLabel,
    DISPID_YAxisLabel,
    DISPID_ZAxisLabel,
    DISPID_FileName,
    DISPID_AxisFont,
    DISPID_FontAutoScale,
    DISPID_AxisLabelFont,
    DISPID_CamXPos,
    DISPID_CamYPos, // 40
    DISPID_CamZPos,
    DISPID_CamXCoi,
    DISPID_CamYCoi,
    DISPID_CamZCoi,
    DISPID_DataType,
    DISPID_GLVersion,
    DISPID_GLRenderer,
    DISPID_GLVendor,
    DISPID_GLExtensions,
    DISPID_AxisAutoScale, // 50
    DISPID_ZMinClamp,
    DISPID_ZMaxClamp,
    DISPID_AxisStyle,
    DISPID_PaletteId,
    DISPID_PaletteAutoAdjust,
    DISPID_PaletteMinVal,
    DISPID_PaletteMaxVal,
    DISPID_OrthographicProj,
    DISPID_CamDistance,
    DISPID_CamElevation, // 60
    DISPID_CamAzimuth,
    DISPID_GraphType,
    DISPID_PointSize,
    DISPID_XMaxClamp,
    DISPID_XMinClamp,
    DISPID_YMaxClamp,
    DISPID_YMinClamp,
    DISPID_ViewerMode,
    DISPID_GridDensityAutoAdjust,
    DISPID_ShowPalette, // 70
    DISPID_ShowPaletteLabels,
    DISPID_ShowCursor,
    DISPID_Row,
    DISPID_Col,
    DISPID_CursorColor,
    DISPID_XComp,
    DISPID_YComp,
    DISPID_ZComp,
    DISPID_WComp,
    DISPID_XNumMajorTickmarks, // 80
    DISPID_YNumMajorTickmarks,
    DISPID_ZNumMajorTickmarks,
    DISPID_XNumMinorTickmarks,
    DISPID_YNumMinorTickmarks,
    DISPID_ZNumMinorTickmarks,
    DISPID_XAxisLabelStart,
    DISPID_XAxisLabelEnd,
    DISPID_YAxisLabelStart,
    DISPID_YAxisLabelEnd,
    DISPID_ZAxisLabelStart, // 90
    DISPID_ZAxisLabelEnd,
    DISPID_GraphColor,
    DISPID_CursorTransparency,
    DISPID_ResolutionAutoAdjust,
    DISPID_NumXGridLines,
    DISPID_NumYGridLines,
    DISPID_DataSelectEnable,
    DISPID_AxisAutoDetail,
    DISPID_AxisBackColor,
    DISPID_GridColor, // 100
    DISPID_CamViewType,
    DISPID_DataClamp,
    DISPID_RowSel,
    DISPID_ColSel,
    DISPID_FixedAspect,
    DISPID_ImageOrientation,
    DISPID_RowDim,
    DISPID_ColDim,
    DISPID_SelectionOutlineColor,
    DISPID_ImageFilter, // 110
    DISPID_HighLight,
    DISPID_MajorVersion,
    DISPID_MinorVersion,
    DISPID_UseAxisScales,
    DISPID_PaletteFileName,
    DISPID_Hold,
    DISPID_MetaFileStatus,
    DISPID_MetaFile, // 118

    DISPID_GetFrameRate = 119,
    DISPID_Spin,
    DISPID_Cycle,
    DISPID_Update,
    DISPID_SetHomePosition,
    DISPID_ToHomePosition,
    DISPID_SetRoiLb,
    DISPID_SetRoiUb,
    DISPID_GetRoiLb,
    DISPID_GetRoiUb,
    DISPID_Malloc,
    DISPID_Free,
    DISPID_Reshape,
    DISPID_SetIndexColor,
    DISPID_GetIndexColor,
    DISPID_SetLBound,
    DISPID_GetLBound,
    DISPID_SetAxisScale,
    DISPID_SetCustomPalette,
    DISPID_CreateMetaFile, // 138
    // Both ends of a range in one call, so that a range can move past where
    // it was without the two writes crossing: (axis 0..2 for X, Y, Z,
    // minimum, maximum) and (minimum, maximum). TRUE when applied; a pair
    // with maximum < minimum, or not finite, changes nothing.
    DISPID_SetAxisClamp,
    DISPID_SetPaletteRange, // 140
    // How the image map fills the graph area: SetImageAspect(mode), mode 0
    // stretches the image over the area (the start value), 1 keeps the
    // data's aspect (every cell square, the image as large as fits, centred).
    // TRUE when applied; other modes change nothing. GetImageAspect() reads
    // the mode. Not part of a saved property set.
    DISPID_SetImageAspect,
    DISPID_GetImageAspect, // 142

    DISPID_BackColor = -501,
    DISPID_hWnd = -515,
    DISPID_AboutBox = -552,
};

static_assert(DISPID_MetaFile == 118 && DISPID_CreateMetaFile == 138 &&
              DISPID_SetPaletteRange == 140 && DISPID_GetImageAspect == 142);

// The control's class identifier, shared by the control library and every
// host that creates it through the control factory.
inline constexpr const char* kPlotrane2DClassId = "{5b6c0e1e-8f0a-4c1b-9d3e-7a2f61c4d2b7}";

// The dispatch interface. The control implements it; hosts call it.
class ControlDispatch {
public:
    virtual ~ControlDispatch() = default;
    // Reads a property; empty for an unknown number.
    virtual Variant GetProperty(int dispid) = 0;
    // Writes a property; a refused value leaves the control as it was.
    virtual DispatchStatus SetProperty(int dispid, const Variant& value) = 0;
    // Calls a method with its arguments in order; the result is empty for
    // methods without one.
    virtual Variant Invoke(int dispid, const std::vector<Variant>& args) = 0;
};

} // namespace plotrane
