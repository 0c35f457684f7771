// CArrayDoc's HDF branch: an HDF file's object list (read by HdfBrowser
// through the helper process) becomes the document's, and one object at a
// time is shown on the control and the spreadsheet (see CArrayDoc.h).
#include "CArrayDoc.h"

#include "ArrayFileOpener.h"
#include "CPlotrane2D.h"
#include "DocView.h"
#include "MessageSink.h"

using namespace plotrane;

namespace {

bool isTextObject(const CHdfObject& o) {
    return o.kind == HdfKindAttribute || o.kind == HdfKindAnnotation;
}

CHdfPalette* paletteChild(const CHdfObject& o) {
    for (const auto& c : o.children)
        if (c->kind == HdfKindPalette && c->hasContent) return static_cast<CHdfPalette*>(c.get());
    return nullptr;
}

// Whether b, of a file listed again, is the object a was: of the same kind,
// name and place in the file (a scale: of the same dimension).
bool sameObject(const CHdfObject& a, const CHdfObject& b) {
    if (a.kind != b.kind || a.index != b.index || a.location != b.location ||
        a.displayName != b.displayName || a.isChild != b.isChild)
        return false;
    return a.kind != HdfKindSds || static_cast<const CHdfSds&>(a).scaleOfDimension ==
                                       static_cast<const CHdfSds&>(b).scaleOfDimension;
}

// The object of list that is old, when it can be shown; depth-first.
CHdfObject* findSame(const HdfObjectList& list, const CHdfObject& old) {
    for (const auto& o : list) {
        if (o->hasContent && sameObject(old, *o)) return o.get();
        if (CHdfObject* inner = findSame(o->children, old)) return inner;
    }
    return nullptr;
}

// The region kept shown before a reload, for the reloaded array whose
// region is now (of the same plane): the same row and column dimensions; a
// dimension that was whole stays whole at its new extent, any other keeps
// its part when that part still lies inside. False when the region no
// longer fits (another rank, a part beyond the new extent).
bool keptRegion(const CArrayDoc::RegionChoice& before, const CArrayDoc::RegionChoice& now,
                CArrayDoc::RegionChoice& kept) {
    kept = now;
    kept.rowDim = before.rowDim;
    kept.colDim = before.colDim;
    for (size_t d = 0; d < size_t(agl::kMaxDims); ++d) {
        if ((before.extent[d] > 0) != (now.extent[d] > 0)) return false;
        if (now.extent[d] <= 0) continue;
        kept.lower[d] = before.lower[d];
        if (before.start[d] == now.start[d] && before.length[d] == now.length[d]) continue;
        if (before.start[d] == 0 && before.length[d] == before.extent[d]) continue; // whole
        if (before.start[d] + before.length[d] > now.extent[d]) return false;
        kept.start[d] = before.start[d];
        kept.length[d] = before.length[d];
    }
    return true;
}

} // namespace

std::string CArrayDoc::cancelledText(const std::string& what) const {
    if (!m_hasData) return "Reading " + what + " was cancelled.";
    return "Reading " + what + " was cancelled; the array shown is unchanged.";
}

bool CArrayDoc::loadHdf(const std::string& path, OpenedArray& opened) {
    if (opened.cancelled) {
        // The helper was killed on the user's word: the array shown stays.
        m_cancelled = true;
        m_lastError = AGL_E_OPEN;
        m_lastReason = cancelledText(path);
        return false;
    }
    if (!opened.ok()) {
        if (opened.hdfObjects.empty()) {
            // The listing failed. The library's own verdicts are shown as
            // it words them; a helper that crashed or hung is reported by
            // the caller ("Unable to read file").
            if (opened.reason == "Couldn't read file!" ||
                opened.reason == "No viewable objects in file!")
                m_sink.message(opened.reason, MessageIcon::Error);
            else
                m_lastReason = opened.reason;
        } else if (opened.hdfObject && !opened.hdfObject->hasContent) {
            // The file lists, but the object to show cannot be read: the
            // array on screen stays as it was, as any failed open keeps it.
            m_sink.message("Unable to read file: " + opened.hdfObject->filePath,
                           MessageIcon::Exclamation);
        }
        m_lastError = AGL_E_FORMAT;
        return false;
    }
    CHdfObject* chosen = opened.hdfObject;
    // A reload of the file shown (listed only): the object shown before,
    // at its plane, when the file still has them.
    const bool reload = reloadsShownHdf(path);
    std::string reloadNote;
    bool keepRegion = false;
    const RegionChoice regionBefore = reload ? regionChoice() : RegionChoice{};
    if (reload) {
        const CHdfObject& before = *m_hdf.current();
        chosen = findSame(opened.hdfObjects, before);
        keepRegion = chosen != nullptr;
        if (!chosen) {
            chosen = hdfDefaultObject(opened.hdfObjects);
            reloadNote = "Reloaded: " + before.shownName() + " is no longer in the file";
        } else if (chosen->kind == HdfKindSds) {
            auto& now = static_cast<CHdfSds&>(*chosen);
            const auto& was = static_cast<const CHdfSds&>(before);
            if (hdfIsPacked(now)) now.unpacked = was.unpacked;
            if (shownPlaneDataSet() == &was) {
                int32_t extents[agl::kMaxDims] = {}, start[agl::kMaxDims] = {};
                if (hdfReadsByPlane(now) && now.rank == was.rank &&
                    hdfPlaneShape(now, was.plane, extents, start)) {
                    // makeParts reads the plane the object says.
                    now.byPlane = true;
                    now.plane = was.plane;
                } else {
                    keepRegion = false;
                    reloadNote = "Reloaded: the plane shown is no longer in " + now.shownName() +
                                 "; its first plane is shown";
                }
            }
        }
    }
    // The shown object's scales and palette too, while the array shown is
    // still the previous one: a Cancel here keeps it.
    m_cancelled = false;
    if (chosen && !isTextObject(*chosen) && !m_hdf.makeParts(*chosen)) {
        if (m_hdf.cancelled()) {
            m_cancelled = true;
            m_lastError = AGL_E_OPEN;
            m_lastReason = cancelledText(path);
            return false;
        }
        if (!chosen->array) {
            // A reload whose object could not be read (the user was told):
            // what is shown stays, as for any failed open.
            m_lastError = AGL_E_FORMAT;
            return false;
        }
    }
    m_lastError = 0;
    m_lastReason.clear();
    m_statusNote.clear();
    HdfObjectList objects = std::move(opened.hdfObjects);
    int dataSets = 0;
    hdfDefaultObject(objects, &dataSets);

    // The previous file's objects go; what is on screen stays until the
    // chosen object replaces it.
    HdfObjectList previous = m_hdf.adopt(std::move(objects), dataSets);
    m_fileKind = KindHdf;
    m_path = path;
    m_loadedIdentity = AglFileIdentity{};
    m_annotation.clear();
    releaseAxisScales(true);
    clearZoom();
    if (!m_hasData) {
        m_hasData = true;
        applyGraphDefaults();
    }
    m_arrayName = path;
    m_title = path;
    m_modified = false;
    emit modifiedChanged(false);
    emit hdfTreeFilled(m_options.showHdfTree);

    bool shown = false;
    if (chosen) shown = showHdfObject(chosen);
    if (shown && reload) {
        RegionChoice kept;
        if (keepRegion && !keptRegion(regionBefore, regionChoice(), kept)) {
            reloadNote = "Reloaded: the region shown is no longer in " + chosen->shownName() +
                         "; the whole plane is shown";
        } else if (keepRegion) {
            applyRegion(kept);
        }
        if (!reloadNote.empty()) {
            // First, where a narrow status bar still shows it.
            m_statusNote = m_statusNote.empty() ? reloadNote : reloadNote + "; " + m_statusNote;
            refreshShapeText();
        }
    }
    if (!shown) {
        // Nothing shown: no array of the old file stays behind the new list.
        m_current = m_main.get();
        m_main->release();
        if (CPlotrane2D* c = control(true)) {
            c->setString(DISPID_FileName, std::string());
            c->Update();
        }
        if (GridHostView* g = gridView()) g->reload();
        emitTitle();
        refreshShapeText();
    }
    previous.clear();
    emit arrayChanged();
    return true;
}

bool CArrayDoc::readHdfPlane(CHdfSds& sds, const HdfPlane& plane) {
    // Named now: a release of the list while the plane is read takes sds.
    const std::string what = "a plane of " + sds.shownName();
    const HdfBrowser::PlaneRead read = m_hdf.readPlane(sds, plane, [this, &sds] {
        m_current = sds.array.get();
        CPlotrane2D* c = control();
        if (!c) return;
        // A new name resets the control's regions: the plane's whole.
        c->setString(DISPID_FileName, m_current->segment()->name());
        c->setLong(DISPID_RowDim, m_current->rowDim());
        c->setLong(DISPID_ColDim, m_current->colDim());
        for (int d = 0; d < sds.rank; ++d) {
            c->SetLBound(d, m_current->lowerBound(d));
            c->SetRoiLb(d, 0);
            c->SetRoiUb(d, m_current->extent(d) - 1);
        }
        // The scales again: a dimension newly shown has its scale's length.
        for (const auto& child : sds.children) {
            if (child->kind != HdfKindSds || !child->array) continue;
            const int d = static_cast<const CHdfSds&>(*child).scaleOfDimension;
            if (d >= 0 && d < 7 && (m_hdfScaleDims & (1u << d)))
                c->SetAxisScale(d, child->array->segment()->name());
        }
    });
    if (read == HdfBrowser::PlaneRead::Cancelled) {
        m_lastReason = cancelledText(what);
        m_sink.message(m_lastReason, MessageIcon::Information);
    }
    return read == HdfBrowser::PlaneRead::Done;
}

void CArrayDoc::releaseHdf() {
    if (m_hdfScaleDims != 0) {
        if (CPlotrane2D* c = control(true))
            for (int d = 0; d < 7; ++d)
                if (m_hdfScaleDims & (1u << d)) c->SetAxisScale(d, std::string());
        m_hdfScaleDims = 0;
    }
    m_hdfPaletteShown = false;
    m_hdf.release();
}

void CArrayDoc::leaveHdfObject() {
    CHdfObject* shown = m_hdf.current();
    if (!shown || !control()) return;
    if (!shown->settings) shown->settings = std::make_unique<aglAttributes>();
    *shown->settings = aglAttributes::blank();
    captureAttributes(*shown->settings, true);
}

void CArrayDoc::enterHdfObject(CHdfObject& object) {
    if (object.settings) {
        applyAttributes(*object.settings);
        return;
    }
    applyGraphDefaults();
    if (CPlotrane2D* c = control()) {
        c->setBool(DISPID_AxisAutoScale, true);
        c->setBool(DISPID_PaletteAutoAdjust, true);
    }
}

bool CArrayDoc::showHdfObject(CHdfObject* object) {
    if (!object || !object->hasContent) return false;
    if (isTextObject(*object)) {
        // While the text is up the "SaveAglAttr" option counts as off.
        const bool saved = m_options.saveAglAttr;
        m_options.saveAglAttr = false;
        m_sink.showAnnotation(object->kind == HdfKindAttribute
                                  ? static_cast<CHdfAttribute*>(object)->text
                                  : static_cast<CHdfAnnotation*>(object)->text);
        m_options.saveAglAttr = saved;
        return true;
    }
    if (object == m_hdf.current() || m_hdf.isWaiting()) return false;

    // The new object's array first: when it cannot be made, the object on
    // screen stays as it is. (Named now: a release of the list while the
    // arrays are read takes the object.)
    const std::string name = object->shownName();
    m_cancelled = false;
    if (!m_hdf.makeParts(*object)) {
        if (m_hdf.cancelled()) {
            m_cancelled = true;
            m_lastReason = cancelledText(name);
            m_sink.message(m_lastReason, MessageIcon::Information);
        }
        return false;
    }
    CHdfPalette* palette = object->kind == HdfKindSds || object->kind == HdfKindRaster
                               ? paletteChild(*object)
                               : nullptr;
    std::vector<std::pair<int, CHdfObject*>> scales;
    if (object->kind == HdfKindSds) {
        for (const auto& c : object->children) {
            if (c->kind != HdfKindSds || !c->array) continue;
            const int d = static_cast<const CHdfSds&>(*c).scaleOfDimension;
            if (d >= 0 && d < object->array->dimCount() && d < 7) scales.emplace_back(d, c.get());
        }
    }
    const bool paletteMade = palette && palette->array;

    leaveHdfObject();
    // The plane session belongs to the data set shown.
    if (object != m_hdf.current()) m_hdf.endPlanes();
    m_current = object->array.get();
    m_hdf.setCurrent(object);
    m_hasData = true;
    clearZoom();
    CPlotrane2D* c = control();
    if (c) {
        const aglSegment* seg = m_current->segment();
        c->setString(DISPID_FileName, seg ? seg->name() : std::string());
        c->setLong(DISPID_RowDim, m_current->rowDim());
        c->setLong(DISPID_ColDim, m_current->colDim());
    }
    enterHdfObject(*object);
    setCursor(m_cursorRow, m_cursorColumn);
    // What the values are ("sea surface temperature [degC]"), and how
    // they were read when they are a converted copy.
    const std::string quantity = hdfQuantityText(*object);
    const std::string conversion = hdfConversionNote(*object);
    m_statusNote = quantity.empty() || conversion.empty() ? quantity + conversion
                                                          : quantity + "; " + conversion;
    refreshShapeText();

    if (c) {
        for (int d = 0; d < 7; ++d)
            if (m_hdfScaleDims & (1u << d)) c->SetAxisScale(d, std::string());
        m_hdfScaleDims = 0;
        switch (object->kind) {
        case HdfKindRaster:
            selectGraphType(ImageMap);
            c->setShort(DISPID_ImageOrientation, 2);
            c->setDouble(DISPID_PaletteMinVal, 0.0);
            c->setDouble(DISPID_PaletteMaxVal, 255.0);
            c->setBool(DISPID_PaletteAutoAdjust, false);
            break;
        case HdfKindPalette:
            selectGraphType(PlaneView);
            break;
        default:
            selectGraphType(kAutoGraphKind);
            for (const auto& [d, scale] : scales) {
                c->SetAxisScale(d, scale->array->segment()->name());
                m_hdfScaleDims |= 1u << d;
            }
            break;
        }
        m_hdfPaletteShown = paletteMade;
        if (paletteMade) {
            c->setString(DISPID_PaletteFileName, palette->array->segment()->name());
            c->setShort(DISPID_PaletteId, 0);
        } else {
            c->setString(DISPID_PaletteFileName, std::string());
            if (c->getInt(DISPID_PaletteId) == 0) c->setShort(DISPID_PaletteId, 4);
        }
        c->Update();
    }
    if (GridHostView* g = gridView()) g->reload();
    m_arrayName = m_path + ":" + object->shownName();
    m_title = m_arrayName;
    emitTitle();
    emit hdfObjectShown(object->objectId);
    emit arrayChanged();
    return true;
}

bool CArrayDoc::showHdfObjectById(int32_t objectId) {
    // A listed object that cannot be shown says why; the array shown stays.
    return showHdfObject(m_hdf.showable(objectId));
}

bool CArrayDoc::setHdfUnpacked(int32_t objectId, bool unpacked) {
    CHdfObject* found = findHdfObject(m_hdf.objects(), objectId);
    if (!found || !hdfIsPacked(*found) || !found->hasContent || m_hdf.isWaiting()) return false;
    auto& object = static_cast<CHdfSds&>(*found);
    if (object.unpacked == unpacked) return false;
    const bool shown = m_hdf.current() == &object;
    // The array as it was stays until the new one replaces it on screen:
    // the control and the grid read it until then, and a failed read keeps
    // it.
    std::unique_ptr<aglArray> previous = std::move(object.array);
    object.unpacked = unpacked;
    // A new document while the values were read took the list, and the
    // object with it: nothing is left to restore.
    const unsigned list = m_hdf.listVersion();
    if (shown) {
        leaveHdfObject(); // its graph settings come back with the new array
        m_hdf.setCurrent(nullptr);
        if (showHdfObject(&object)) return true;
        if (m_hdf.listVersion() != list) return false;
        m_hdf.setCurrent(&object);
    } else {
        if (m_hdf.makeArray(object)) return true;
        if (m_hdf.listVersion() != list) return false;
    }
    object.unpacked = !unpacked;
    object.array = std::move(previous);
    object.hasContent = true; // the stored values read before
    return false;
}
