// CPlotrane2D: the viewer's thin wrapper over the graph control's dispatch
// interface. Each accessor is one dispatch call by the member's number; the
// wrapper adds nothing but types. It does not own the control: the graph
// view that hosts the control does. Host (user-interface) thread only.
#pragma once

#include "plotrane/ControlDispatch.h"
#include "plotrane/ControlValues.h"

#include <cstdint>
#include <string>
#include <type_traits>

class CPlotrane2D {
public:
    explicit CPlotrane2D(plotrane::ControlDispatch* dispatch) : m_dispatch(dispatch) {}

    plotrane::ControlDispatch* dispatch() const { return m_dispatch; }

    // Generic access, for members without an accessor of their own.
    plotrane::Variant get(int dispid) const { return m_dispatch->GetProperty(dispid); }
    plotrane::DispatchStatus set(int dispid, const plotrane::Variant& v) const {
        return m_dispatch->SetProperty(dispid, v);
    }

    int getInt(int dispid) const { return get(dispid).toInt(); }
    bool getBool(int dispid) const { return get(dispid).toBool(); }
    double getDouble(int dispid) const { return get(dispid).toDouble(); }
    float getFloat(int dispid) const { return get(dispid).toFloat(); }
    // Short-typed members travel as 16-bit integers.
    void setShort(int dispid, int v) const { set(dispid, plotrane::Variant(int16_t(v))); }
    void setLong(int dispid, int32_t v) const { set(dispid, plotrane::Variant(int(v))); }
    void setBool(int dispid, bool v) const { set(dispid, plotrane::Variant(v)); }
    void setFloat(int dispid, float v) const { set(dispid, plotrane::Variant(v)); }
    void setDouble(int dispid, double v) const { set(dispid, plotrane::Variant(v)); }
    void setColor(int dispid, uint32_t rgb) const { set(dispid, plotrane::Variant(rgb)); }
    void setString(int dispid, const std::string& v) const { set(dispid, plotrane::Variant(v)); }
    // Enumerated members take and give their named values
    // (plotrane/ControlValues.h); they travel as 16-bit integers.
    template <typename E, typename = std::enable_if_t<std::is_enum_v<E>>>
    void setShort(int dispid, E v) const {
        setShort(dispid, int(plotrane::value(v)));
    }
    template <typename E> E getEnum(int dispid) const { return E(getInt(dispid)); }

    // Methods.
    void Update() const { m_dispatch->Invoke(plotrane::DISPID_Update, {}); }
    void SetRoiLb(int dim, int32_t index) const {
        m_dispatch->Invoke(plotrane::DISPID_SetRoiLb,
                           {plotrane::Variant(int16_t(dim)), plotrane::Variant(int(index))});
    }
    void SetRoiUb(int dim, int32_t index) const {
        m_dispatch->Invoke(plotrane::DISPID_SetRoiUb,
                           {plotrane::Variant(int16_t(dim)), plotrane::Variant(int(index))});
    }
    int32_t GetRoiLb(int dim) const {
        return m_dispatch->Invoke(plotrane::DISPID_GetRoiLb, {plotrane::Variant(int16_t(dim))})
            .toInt();
    }
    int32_t GetRoiUb(int dim) const {
        return m_dispatch->Invoke(plotrane::DISPID_GetRoiUb, {plotrane::Variant(int16_t(dim))})
            .toInt();
    }
    bool SetAxisScale(int dim, const std::string& name) const {
        return m_dispatch
            ->Invoke(plotrane::DISPID_SetAxisScale,
                     {plotrane::Variant(int16_t(dim)), plotrane::Variant(name)})
            .toBool();
    }
    void SetLBound(int dim, int32_t bound) const {
        m_dispatch->Invoke(plotrane::DISPID_SetLBound,
                           {plotrane::Variant(int16_t(dim)), plotrane::Variant(int(bound))});
    }

    // Both ends of a range at once; false when the control refused the pair.
    bool SetAxisClamp(int axis, double minimum, double maximum) const {
        return m_dispatch
            ->Invoke(plotrane::DISPID_SetAxisClamp,
                     {plotrane::Variant(int16_t(axis)), plotrane::Variant(minimum),
                      plotrane::Variant(maximum)})
            .toBool();
    }
    bool SetPaletteRange(double minimum, double maximum) const {
        return m_dispatch
            ->Invoke(plotrane::DISPID_SetPaletteRange,
                     {plotrane::Variant(minimum), plotrane::Variant(maximum)})
            .toBool();
    }

    // The image map stretched over the graph area (0) or with square cells (1).
    bool SetImageAspect(int mode) const {
        return m_dispatch->Invoke(plotrane::DISPID_SetImageAspect, {plotrane::Variant(mode)})
            .toBool();
    }
    int GetImageAspect() const {
        return m_dispatch->Invoke(plotrane::DISPID_GetImageAspect, {}).toInt();
    }

private:
    plotrane::ControlDispatch* m_dispatch;
};

// Host colours cross the dispatch interface as OLE colours; the settings
// store and the agl trailer keep RGB words (red in the low byte). System
// colour references (high byte 0x80) have no system palette here: they
// become the colour of that index in a fixed light scheme (window white,
// text black), everything else keeps its low three bytes.
uint32_t translateOleColor(uint32_t oleColor);
