#include "TavrixObj.h"

#include "ArrayFileOpener.h"
#include "CArrayDoc.h"
#include "CPlotrane2D.h"
#include "DocView.h"
#include "MessageSink.h"

#include "aglArray.h"
#include "aglSegment.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <memory>

namespace automation {

using namespace plotrane;

namespace {

Result fail(uint32_t code, const char* error, const Member& m, const std::string& text) {
    Result r;
    r.code = code;
    r.error = error;
    r.message = m.name + ": " + text;
    return r;
}
Result invalid(const Member& m, const std::string& text) {
    return fail(kInvalidArg, kErrorInvalidArg, m, text);
}
Result ok(Values out = {}) {
    Result r;
    r.out = std::move(out);
    return r;
}
// A property write the control refused.
Result written(const Member& m, const DispatchStatus& status) {
    if (status.ok()) return ok();
    return fail(kInvalidPropertyValue, kErrorInvalidPropertyValue, m,
                status.message.empty() ? "Invalid property value" : status.message);
}

// A value of the member's kind k from what the control or document holds.
Value typed(char k, const Value& v) {
    switch (k) {
    case 'n':
        return Value(int16_t(v.toInt()));
    case 'u':
        return Value(uint32_t(v.toInt()));
    case 'd':
        return Value(v.toDouble());
    case 'f':
        return Value(v.toFloat());
    case 's':
        return Value(v.toString());
    default:
        return Value(int(v.toInt()));
    }
}

// The control: every member that needs it runs only while an array is
// loaded (the table says so), so it is there.
CPlotrane2D& ctl(TavrixObj& o) {
    return *o.control();
}
aglArray& array(TavrixObj& o) {
    return *o.document().currentArray();
}

// The HDF object at location ("/grp/temp"), anywhere in the list.
const CHdfObject* hdfObjectAt(const HdfObjectList& list, const std::string& location) {
    if (location.empty()) return nullptr;
    for (const auto& o : list) {
        if (o->location == location) return o.get();
        if (const CHdfObject* inner = hdfObjectAt(o->children, location)) return inner;
    }
    return nullptr;
}

// Checks a dimension index from a client against 0..6 and the array.
bool dimOk(TavrixObj& o, int dim) {
    return dim >= 0 && dim < 7 && dim < array(o).dimCount();
}
std::string dimText(TavrixObj& o, int dim) {
    return "dimension " + std::to_string(dim) + " is outside 0.." +
           std::to_string(array(o).dimCount() - 1);
}

// Every value is a finite number a float can hold (1e300 is finite as a
// double, but the control's float would be infinite and refuse it).
bool allFloats(const Values& a) {
    for (const Value& v : a) {
        const double d = v.toDouble();
        if (!std::isfinite(d) || std::fabs(d) > double(FLT_MAX)) return false;
    }
    return true;
}

bool nameOk(const std::string& s, size_t limit) {
    return s.size() <= limit;
}

// ---- Control properties of the same name ---------------------------------

Result getProp(TavrixObj& o, const Member& m, const Values&) {
    return ok({typed(*m.out, ctl(o).get(m.dispid))});
}
Result putProp(TavrixObj& o, const Member& m, const Values& a) {
    const Result r = written(m, ctl(o).set(m.dispid, typed(*m.in, a[0])));
    if (r.ok() && m.dispid == DISPID_DataClamp) ctl(o).Update();
    return r;
}

// ---- Pairs of bounds -------------------------------------------------------

// Writes minval..maxval so that no single write crosses the other bound
// already there (a control that checks each write against the other end
// would otherwise keep half of the pair).
Result setPair(TavrixObj& o, const Member& m, int minId, int maxId, double lo, double hi) {
    if (!std::isfinite(lo) || !std::isfinite(hi))
        return invalid(m, "the bounds must be finite numbers");
    if (lo > hi) return invalid(m, "the lower bound is above the upper bound");
    CPlotrane2D& c = ctl(o);
    const bool maxFirst = lo > c.getDouble(maxId);
    DispatchStatus s1 = maxFirst ? c.set(maxId, Value(hi)) : c.set(minId, Value(lo));
    if (!s1.ok()) return written(m, s1);
    return written(m, maxFirst ? c.set(minId, Value(lo)) : c.set(maxId, Value(hi)));
}
Result getPair(TavrixObj& o, int minId, int maxId) {
    return ok({Value(ctl(o).getDouble(minId)), Value(ctl(o).getDouble(maxId))});
}

#define MEMBER(...)                                                                                \
    []([[maybe_unused]] TavrixObj & o, [[maybe_unused]] const Member& m,                           \
       [[maybe_unused]] const Values& a) -> Result __VA_ARGS__

// Every member's row; each body sees the object o, its row m and the arguments a.
std::vector<Member> buildTable() {
    const auto A = Member::Anything;
    const auto R = Member::AnArray;
    std::vector<Member> t;
    auto add = [&](int id, std::string name, const char* in, const char* out, Member::Needs needs,
                   int dispid, Result (*run)(TavrixObj&, const Member&, const Values&)) {
        t.push_back(Member{id, std::move(name), in, out, needs, dispid, run});
    };
    // A get/put pair forwarded to the control property of the same name.
    auto prop = [&](int id, const char* name, const char* type, int dispid) {
        add(id, std::string("Get") + name, "", type, R, dispid, getProp);
        add(id, std::string("Put") + name, type, "", R, dispid, putProp);
    };

    add(1, "GetFileName", "", "s", A, 0, MEMBER({
            CArrayDoc& d = o.document();
            const aglSegment* seg = d.hasData() ? d.currentArray()->segment() : nullptr;
            return ok({Value(seg ? seg->name() : std::string())});
        }));
    add(1, "PutFileName", "s", "", A, 0, MEMBER({
            const std::string& name = a[0].toString();
            if (!nameOk(name, kMaxNameBytes))
                return invalid(m, "the name is longer than 4096 bytes");
            // A failed load keeps the array and leaves its code for ErrorNo;
            // the caller hears why (what the viewer would have shown).
            if (o.document().loadClientSegment(name)) return ok();
            std::string why = o.document().lastReason();
            for (const std::string& said : o.said())
                why += (why.empty() ? "" : "; ") + said;
            if (why.empty()) why = "the array could not be read";
            return fail(kLoadFailed, kErrorLoadFailed, m,
                        why + " (error " + std::to_string(o.document().lastError()) + ")");
        }));
    prop(2, "ZMinClamp", "d", DISPID_ZMinClamp);
    prop(3, "ZMaxClamp", "d", DISPID_ZMaxClamp);
    prop(4, "AxisAutoScale", "i", DISPID_AxisAutoScale);
    add(5, "GetArrayName", "", "s", A, 0, MEMBER({ return ok({Value(o.document().title())}); }));
    add(5, "PutArrayName", "s", "", A, 0, MEMBER({
            if (!nameOk(a[0].toString(), kMaxNameBytes))
                return invalid(m, "the name is longer than 4096 bytes");
            o.document().setTitle(a[0].toString());
            return ok();
        }));
    add(6, "GetErrorNo", "", "i", A, 0, MEMBER({ return ok({Value(o.document().lastError())}); }));
    add(6, "PutErrorNo", "i", "", A, 0, MEMBER({ return ok(); }));
    add(7, "GetCloseOnRelease", "", "i", A, 0,
        MEMBER({ return ok({Value(int(o.document().closeOnRelease()))}); }));
    add(7, "PutCloseOnRelease", "i", "", A, 0, MEMBER({
            o.document().setCloseOnRelease(a[0].toInt());
            return ok();
        }));
    add(8, "ShowWindow", "i", "", A, 0, MEMBER({
            CArrayDoc& d = o.document();
            if (a[0].toInt() != 0) {
                d.setHiddenByClose(false);
                o.showFrame(true);
                d.setTitle(d.title());
            } else {
                o.showFrame(false);
            }
            return ok();
        }));
    add(9, "Update", "", "i", R, 0, MEMBER({
            // Nothing while the client has turned data refresh off.
            if (o.document().dataRefreshEnable() != 0) o.document().refresh();
            return ok({Value(0)});
        }));
    add(10, "SetRoi", "nii", "", R, 0, MEMBER({
            const int dim = a[0].toInt();
            if (!dimOk(o, dim)) return invalid(m, dimText(o, dim));
            CArrayDoc& doc = o.document();
            const CArrayDoc::RegionChoice region = doc.regionChoice();
            const int32_t last = region.extent[size_t(dim)] - 1;
            const int32_t lb = std::max(a[1].toInt(), 0);
            const int32_t ub = std::min(a[2].toInt(), last);
            if (ub < lb) return ok();
            if (doc.shownPlaneDataSet() && dim != region.rowDim && dim != region.colDim) {
                // A data set read plane by plane: the plane at lb is read.
                CArrayDoc::RegionChoice choice = region;
                choice.start[size_t(dim)] = lb;
                choice.length[size_t(dim)] = 1;
                doc.applyRegion(choice);
                return ok();
            }
            CPlotrane2D& c = ctl(o);
            c.SetRoiUb(dim, last);
            c.SetRoiLb(dim, lb);
            c.SetRoiUb(dim, ub);
            array(o).setRoi(dim, lb, ub);
            return ok();
        }));
    add(11, "GetRoiLb", "n", "i", R, 0, MEMBER({
            const int dim = a[0].toInt();
            if (!dimOk(o, dim)) return invalid(m, dimText(o, dim));
            const CArrayDoc::RegionChoice region = o.document().regionChoice();
            return ok({Value(int(region.start[size_t(dim)]))});
        }));
    add(12, "GetRoiUb", "n", "i", R, 0, MEMBER({
            const int dim = a[0].toInt();
            if (!dimOk(o, dim)) return invalid(m, dimText(o, dim));
            const CArrayDoc::RegionChoice region = o.document().regionChoice();
            return ok({Value(int(region.start[size_t(dim)] + region.length[size_t(dim)] - 1))});
        }));
    add(13, "GetPrecision", "", "i", A, 0,
        MEMBER({ return ok({Value(o.document().gridPrecision())}); }));
    add(13, "PutPrecision", "i", "", A, 0, MEMBER({
            const int p = a[0].toInt();
            if (p < 3 || p > 15)
                return invalid(m, "precision " + std::to_string(p) + " is outside 3..15");
            CArrayDoc& d = o.document();
            d.setGridFormat(p, d.gridUseExponent());
            return ok();
        }));
    add(14, "GetGraphType", "", "i", A, 0,
        MEMBER({ return ok({Value(o.document().currentGraphType())}); }));
    add(14, "PutGraphType", "i", "", R, 0, MEMBER({
            const int kind = a[0].toInt();
            if (kind < 1 || kind > 4)
                return invalid(m, "graph type " + std::to_string(kind) + " is outside 1..4");
            o.document().selectGraphType(kind);
            return ok();
        }));
    prop(15, "GraphStyle", "i", DISPID_GraphStyle);
    prop(16, "GridDensity", "f", DISPID_GridDensity);
    prop(17, "ImageOrientation", "i", DISPID_ImageOrientation);
    add(18, "SetCameraPosition", "fff", "", R, 0, MEMBER({
            if (!allFloats(a))
                return invalid(m, "coordinates must be finite single-precision numbers");
            CPlotrane2D& c = ctl(o);
            c.setFloat(DISPID_CamXPos, a[0].toFloat());
            c.setFloat(DISPID_CamYPos, a[1].toFloat());
            c.setFloat(DISPID_CamZPos, a[2].toFloat());
            return ok();
        }));
    add(19, "GetCameraPosition", "", "fff", R, 0, MEMBER({
            CPlotrane2D& c = ctl(o);
            return ok({Value(c.getFloat(DISPID_CamXPos)), Value(c.getFloat(DISPID_CamYPos)),
                       Value(c.getFloat(DISPID_CamZPos))});
        }));
    add(20, "SetCameraCoi", "fff", "", R, 0, MEMBER({
            if (!allFloats(a))
                return invalid(m, "coordinates must be finite single-precision numbers");
            CPlotrane2D& c = ctl(o);
            c.setFloat(DISPID_CamXCoi, a[0].toFloat());
            c.setFloat(DISPID_CamYCoi, a[1].toFloat());
            c.setFloat(DISPID_CamZCoi, a[2].toFloat());
            return ok();
        }));
    add(21, "GetCameraCoi", "", "fff", R, 0, MEMBER({
            CPlotrane2D& c = ctl(o);
            return ok({Value(c.getFloat(DISPID_CamXCoi)), Value(c.getFloat(DISPID_CamYCoi)),
                       Value(c.getFloat(DISPID_CamZCoi))});
        }));
    add(22, "SetRowCol", "ii", "", R, 0, MEMBER({
            o.document().setCursor(a[0].toInt(), a[1].toInt(), nullptr);
            return ok();
        }));
    add(23, "GetRowCol", "", "ii", A, 0, MEMBER({
            return ok({Value(o.document().cursorRow()), Value(o.document().cursorColumn())});
        }));
    add(24, "SetRowColDim", "nn", "", R, 0, MEMBER({
            const int rowDim = a[0].toInt(), colDim = a[1].toInt();
            if (!dimOk(o, rowDim)) return invalid(m, "row " + dimText(o, rowDim));
            if (!dimOk(o, colDim)) return invalid(m, "column " + dimText(o, colDim));
            if (o.document().shownPlaneDataSet()) {
                // A data set read plane by plane: the plane of these
                // dimensions is read.
                CArrayDoc::RegionChoice choice = o.document().regionChoice();
                choice.rowDim = rowDim;
                choice.colDim = colDim;
                o.document().applyRegion(choice);
                return ok();
            }
            aglArray& arr = array(o);
            arr.setRowDim(rowDim);
            arr.setColDim(colDim);
            CPlotrane2D& c = ctl(o);
            c.setLong(DISPID_RowDim, arr.rowDim());
            c.setLong(DISPID_ColDim, arr.colDim());
            if (GridHostView* g = o.document().gridView()) g->reload();
            c.Update();
            return ok();
        }));
    add(25, "GetRowColDim", "", "nn", R, 0, MEMBER({
            return ok({Value(int16_t(array(o).rowDim())), Value(int16_t(array(o).colDim()))});
        }));
    add(26, "GetDataClamp", "", "i", R, DISPID_DataClamp, getProp);
    add(26, "PutDataClamp", "i", "", R, DISPID_DataClamp, putProp);
    prop(27, "DataSelectEnable", "i", DISPID_DataSelectEnable);
    prop(28, "Depthcue", "i", DISPID_Depthcue);
    prop(29, "FixedAspect", "i", DISPID_FixedAspect);
    add(30, "SetRoi2D", "iiii", "", R, 0, MEMBER({
            aglArray& arr = array(o);
            const int colDim = arr.colDim(), rowDim = arr.rowDim();
            // Bounds as SetRoi takes them: clamped into the dimension, in 64
            // bits so that start + count cannot wrap; an empty range changes
            // nothing.
            struct Range {
                int dim;
                int64_t lb, ub;
            };
            auto range = [&](int dim, int64_t start, int64_t count) {
                const int64_t last = int64_t(arr.extent(dim)) - 1;
                return Range{dim, std::max<int64_t>(start, 0),
                             std::min<int64_t>(start + count - 1, last)};
            };
            std::vector<Range> ranges{range(colDim, a[0].toInt(), a[2].toInt())};
            // A one-dimensional plane has one dimension for rows and columns:
            // only the column pair applies.
            if (rowDim != colDim) ranges.push_back(range(rowDim, a[1].toInt(), a[3].toInt()));
            for (const Range& r : ranges)
                if (r.ub < r.lb) return ok();
            CPlotrane2D& c = ctl(o);
            for (const Range& r : ranges) {
                c.SetRoiLb(r.dim, int32_t(r.lb));
                c.SetRoiUb(r.dim, int32_t(r.ub));
                arr.setRoi(r.dim, int32_t(r.lb), int32_t(r.ub));
            }
            if (GridHostView* g = o.document().gridView()) g->reload();
            c.Update();
            return ok();
        }));
    add(31, "GetRoi2D", "", "iiii", R, 0, MEMBER({
            int32_t cs = 0, rs = 0, cc = 0, rc = 0;
            array(o).planeRoi(cs, rs, cc, rc);
            return ok({Value(int(cs)), Value(int(rs)), Value(int(cc)), Value(int(rc))});
        }));
    prop(32, "GraphColor", "u", DISPID_GraphColor);
    prop(33, "GridColor", "u", DISPID_GridColor);
    prop(34, "HiddenLine", "i", DISPID_HiddenLine);
    prop(35, "HighLight", "i", DISPID_HighLight);
    prop(36, "ImageFilter", "i", DISPID_ImageFilter);
    prop(37, "Lighting", "i", DISPID_Lighting);
    prop(38, "LineSmooth", "i", DISPID_LineSmooth);
    prop(39, "PaletteAutoAdjust", "i", DISPID_PaletteAutoAdjust);
    prop(40, "PaletteId", "n", DISPID_PaletteId);
    add(41, "SetPaletteRange", "dd", "", R, 0, MEMBER({
            return setPair(o, m, DISPID_PaletteMinVal, DISPID_PaletteMaxVal, a[0].toDouble(),
                           a[1].toDouble());
        }));
    add(42, "GetPaletteRange", "", "dd", R, 0,
        MEMBER({ return getPair(o, DISPID_PaletteMinVal, DISPID_PaletteMaxVal); }));
    prop(43, "Resolution", "i", DISPID_Resolution);
    prop(44, "ResolutionAutoAdjust", "i", DISPID_ResolutionAutoAdjust);
    add(45, "SetHomePosition", "", "", R, 0, MEMBER({
            ctl(o).dispatch()->Invoke(DISPID_SetHomePosition, {});
            return ok();
        }));
    prop(46, "Shading", "i", DISPID_Shading);
    prop(47, "ShowAxis", "i", DISPID_ShowAxis);
    prop(48, "ShowCursor", "i", DISPID_ShowCursor);
    prop(49, "ShowDataTip", "i", DISPID_ShowDataTip);
    prop(50, "ShowGrid", "i", DISPID_ShowGrid);
    prop(51, "ShowPalette", "i", DISPID_ShowPalette);
    prop(52, "TextureMode", "n", DISPID_TextureMode);
    add(53, "ToHomePosition", "", "", R, 0, MEMBER({
            ctl(o).dispatch()->Invoke(DISPID_ToHomePosition, {});
            return ok();
        }));
    add(54, "GetUseAxisScales", "", "i", A, 0,
        MEMBER({ return ok({Value(o.document().options().displayDimScales ? 1 : 0)}); }));
    add(54, "PutUseAxisScales", "i", "", A, 0, MEMBER({
            o.document().setDisplayDimScales(a[0].toInt() != 0);
            return ok();
        }));
    prop(55, "UseColorPalette", "i", DISPID_UseColorPalette);
    add(56, "SetCompIndex", "iiii", "", R, 0, MEMBER({
            CPlotrane2D& c = ctl(o);
            const int ids[4] = {DISPID_XComp, DISPID_YComp, DISPID_ZComp, DISPID_WComp};
            for (int i = 0; i < 4; ++i) {
                const DispatchStatus s = c.set(ids[i], Value(int(a[size_t(i)].toInt())));
                if (!s.ok()) return written(m, s);
            }
            c.Update();
            return ok();
        }));
    add(57, "GetCompIndex", "", "iiii", R, 0, MEMBER({
            CPlotrane2D& c = ctl(o);
            return ok({Value(c.getInt(DISPID_XComp)), Value(c.getInt(DISPID_YComp)),
                       Value(c.getInt(DISPID_ZComp)), Value(c.getInt(DISPID_WComp))});
        }));
    add(58, "SetXClamp", "dd", "", R, 0, MEMBER({
            return setPair(o, m, DISPID_XMinClamp, DISPID_XMaxClamp, a[0].toDouble(),
                           a[1].toDouble());
        }));
    add(59, "GetXClamp", "", "dd", R, 0,
        MEMBER({ return getPair(o, DISPID_XMinClamp, DISPID_XMaxClamp); }));
    add(60, "SetYClamp", "dd", "", R, 0, MEMBER({
            return setPair(o, m, DISPID_YMinClamp, DISPID_YMaxClamp, a[0].toDouble(),
                           a[1].toDouble());
        }));
    add(61, "GetYClamp", "", "dd", R, 0,
        MEMBER({ return getPair(o, DISPID_YMinClamp, DISPID_YMaxClamp); }));
    add(62, "SetZClamp", "dd", "", R, 0, MEMBER({
            return setPair(o, m, DISPID_ZMinClamp, DISPID_ZMaxClamp, a[0].toDouble(),
                           a[1].toDouble());
        }));
    add(63, "GetZClamp", "", "dd", R, 0,
        MEMBER({ return getPair(o, DISPID_ZMinClamp, DISPID_ZMaxClamp); }));
    prop(64, "ZScale", "f", DISPID_ZScale);
    add(65, "GetDataRefreshEnable", "", "i", A, 0,
        MEMBER({ return ok({Value(int(o.document().dataRefreshEnable()))}); }));
    add(65, "PutDataRefreshEnable", "i", "", A, 0, MEMBER({
            o.document().setDataRefreshEnable(a[0].toInt());
            return ok();
        }));
    add(66, "GetAnnotation", "", "s", A, 0,
        MEMBER({ return ok({Value(o.document().annotation())}); }));
    add(66, "PutAnnotation", "s", "", A, 0, MEMBER({
            if (!nameOk(a[0].toString(), kMaxTextBytes))
                return invalid(m, "the text is longer than 1 MiB");
            o.document().setAnnotation(a[0].toString());
            return ok();
        }));
    add(67, "GetPaletteFileName", "", "s", A, 0, MEMBER({
            const aglSegment* p = o.document().paletteSegment();
            return ok({Value(p ? p->name() : std::string())});
        }));
    add(67, "PutPaletteFileName", "s", "", A, 0, MEMBER({
            const std::string& name = a[0].toString();
            if (!nameOk(name, kMaxNameBytes))
                return invalid(m, "the name is longer than 4096 bytes");
            if (name.empty()) {
                o.document().setPaletteSegment(nullptr);
                return ok();
            }
            // Refused with the reason; the palette in use stays.
            auto seg = std::make_unique<aglSegment>();
            if (!seg->open(name, true) && !seg->open(name, false))
                return invalid(m, name + " cannot be opened as a segment");
            // 256 entries of red, green, blue and a fourth byte, or nothing.
            const int64_t bytes = seg->elementCount() * seg->elementSize();
            if (bytes != 1024)
                return invalid(m, name + " holds " + std::to_string(bytes) +
                                      " bytes, not the 1024 of a palette (256 entries of red, "
                                      "green, blue and alpha)");
            o.document().setPaletteSegment(std::move(seg));
            return ok();
        }));
    add(68, "SetDimScale", "ns", "", A, 0, MEMBER({
            const int dim = a[0].toInt();
            const std::string& name = a[1].toString();
            if (dim < 0 || dim > 6) return ok(); // ignored, as documented
            if (!nameOk(name, kMaxNameBytes))
                return invalid(m, "the name is longer than 4096 bytes");
            CArrayDoc& d = o.document();
            std::unique_ptr<aglSegment> seg;
            if (!name.empty()) {
                seg = std::make_unique<aglSegment>();
                if (!seg->open(name, true)) seg.reset();
            }
            d.setAxisScaleSegment(dim, std::move(seg));
            if (CPlotrane2D* c = d.control(true)) c->SetAxisScale(dim, name);
            return ok();
        }));
    add(69, "GetDimScale", "n", "s", A, 0, MEMBER({
            const int dim = a[0].toInt();
            if (dim < 0 || dim > 6)
                return invalid(m, "dimension " + std::to_string(dim) + " is outside 0..6");
            const aglSegment* s = o.document().axisScale(dim);
            return ok({Value(s ? s->name() : std::string())});
        }));
    // Beyond the class's own members: shows an object of the HDF, HDF5 or
    // NetCDF file the viewer has open (PutFileName opens one), named by its
    // location ("/grp/temp"), its number in the tree's order (as agltool
    // info numbers it) or its shown name. Data sets, images and palettes
    // only; anything else, or an object that cannot be read, is refused
    // with the reason and the array shown stays.
    add(70, "ShowObject", "s", "", A, 0, MEMBER({
            const std::string& which = a[0].toString();
            CArrayDoc& d = o.document();
            if (!d.hdfTreeAvailable()) return invalid(m, "no HDF file is open");
            const CHdfObject* found = hdfObjectAt(d.hdfObjects(), which);
            if (!found) found = findHdfObject(d.hdfObjects(), which);
            if (!found) return invalid(m, "no object " + which + " in " + d.path());
            if (found->kind != HdfKindSds && found->kind != HdfKindRaster &&
                found->kind != HdfKindPalette)
                return invalid(m, found->shownName() + " is not a data set, an image or a palette");
            if (!found->hasContent)
                return invalid(
                    m, found->shownName() + ": " +
                           (found->refusal.empty() ? "it has nothing to show" : found->refusal));
            if (d.hdfCurrent() == found) return ok();
            d.showHdfObjectById(found->objectId);
            if (d.hdfCurrent() == found) return ok();
            std::string why = d.lastReason();
            for (const std::string& said : o.said())
                why += (why.empty() ? "" : "; ") + said;
            return fail(kLoadFailed, kErrorLoadFailed, m,
                        found->shownName() + " cannot be shown" +
                            (why.empty() ? std::string() : ": " + why));
        }));
    return t;
}

#undef MEMBER

} // namespace

const std::vector<Member>& members() {
    static const std::vector<Member> table = buildTable();
    return table;
}

const Member* findMember(std::string_view name) {
    for (const Member& m : members())
        if (m.name == name) return &m;
    return nullptr;
}

std::string busSignature(const char* signature) {
    std::string s(signature);
    std::replace(s.begin(), s.end(), 'f', 'd');
    return s;
}

TavrixObj::TavrixObj(CArrayDoc& document, std::function<void(bool)> showFrame)
    : m_doc(document), m_showFrame(std::move(showFrame)) {}

CPlotrane2D* TavrixObj::control() const {
    return m_doc.control();
}

Result TavrixObj::call(std::string_view name, const Values& args) {
    const Member* m = findMember(name);
    if (!m) {
        Result r;
        r.code = kUnknownMember;
        r.error = kErrorUnknownMethod;
        r.message = std::string(name) + ": no such member";
        return r;
    }
    const std::string in = m->in;
    bool kinds = args.size() == in.size();
    for (size_t i = 0; kinds && i < in.size(); ++i) {
        const Value::Type t = args[i].type();
        switch (in[i]) {
        case 's':
            kinds = t == Value::Type::String;
            break;
        case 'd':
        case 'f':
            kinds = t == Value::Type::Double || t == Value::Type::Float;
            break;
        default:
            kinds = t == Value::Type::Int || t == Value::Type::Bool;
            break;
        }
    }
    if (!kinds) return fail(kTypeMismatch, kErrorInvalidArgs, *m, "wrong arguments");
    if (m->needs == Member::AnArray && !control())
        return fail(kNoArray, kErrorNoArray, *m, "no array is loaded");
    // Nothing a member does may wait for a user: what the document would
    // have shown in a box is kept for the member's answer.
    m_said.clear();
    MessageCapture capture(m_doc.messages(), m_said);
    const Result r = m->run(*this, *m, args);
    // A member may change what the menus show, also without touching a
    // control property (the region, data refresh, a dimension scale).
    if (m->name.rfind("Get", 0) != 0) m_doc.noteClientChange();
    return r;
}

} // namespace automation
