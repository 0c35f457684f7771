// CArrayDoc's HDF branch: reading an HDF file's object list through the
// helper process, and showing one object at a time (see CArrayDoc.h).
#include "CArrayDoc.h"

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

// The first object with that id that has content: each top-level object
// itself, else its subtree depth-first, parent before children.
CHdfObject* findShowable(const CHdfObject& o, int32_t id) {
    for (const auto& c : o.children) {
        if (c->objectId == id) return c->hasContent ? c.get() : nullptr;
        if (CHdfObject* inner = findShowable(*c, id)) return inner;
    }
    return nullptr;
}

} // namespace

bool CArrayDoc::loadHdf(const std::string& path) {
    HdfObjectList objects;
    std::string reason;
    if (!m_hdfHelper.list(path, objects, reason)) {
        // The library's own verdicts are shown as it words them; a helper
        // that crashed or hung is reported by the caller ("Unable to read
        // file").
        if (reason == "Couldn't read file!" || reason == "No viewable objects in file!")
            m_sink.message(reason, MessageIcon::Error);
        m_lastError = AGL_E_FORMAT;
        return false;
    }
    m_lastError = 0;

    // The object to show: the first data set with content that is not a
    // dimension scale, else the first image with content that is not hidden.
    CHdfObject* chosen = nullptr;
    int dataSets = 0;
    for (const auto& o : objects) {
        if (o->kind != HdfKindSds) continue;
        ++dataSets;
        const auto& s = static_cast<const CHdfSds&>(*o);
        if (!chosen && s.hasContent && !s.coordinateVariable && hdfShownElementCount(s) > 0)
            chosen = o.get();
    }
    for (const auto& o : objects)
        if (!chosen && o->kind == HdfKindRaster && o->hasContent && !o->hidden) chosen = o.get();

    // The chosen object's elements are read before anything changes: a file
    // whose listing works but whose data cannot be read leaves the array on
    // screen as it was, as any failed open does.
    if (chosen && !makeHdfArray(*chosen)) {
        m_lastError = AGL_E_FORMAT;
        return false;
    }

    // The previous file's objects go; what is on screen stays until the
    // chosen object replaces it.
    HdfObjectList previous = std::move(m_hdfObjects);
    m_hdfObjects = std::move(objects);
    m_hdfCurrent = nullptr;
    m_hdfDataSets = dataSets;
    m_hdfTreeAvailable = true;
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

void CArrayDoc::releaseHdf() {
    if (m_hdfScaleDims != 0) {
        if (CPlotrane2D* c = control(true))
            for (int d = 0; d < 7; ++d)
                if (m_hdfScaleDims & (1u << d)) c->SetAxisScale(d, std::string());
        m_hdfScaleDims = 0;
    }
    m_hdfCurrent = nullptr;
    m_hdfObjects.clear();
    m_hdfTreeAvailable = false;
    m_hdfDataSets = 0;
}

bool CArrayDoc::makeHdfArray(CHdfObject& object) {
    if (object.array) return true;
    std::string reason;
    object.array = m_hdfHelper.makeArray(object, reason);
    if (!object.array && !reason.empty()) {
        // A failed read is not data: the object has no content from now on.
        object.hasContent = false;
        m_sink.message("Unable to read file: " + object.filePath, MessageIcon::Exclamation);
    }
    return object.array != nullptr;
}

void CArrayDoc::leaveHdfObject() {
    if (!m_hdfCurrent || !control()) return;
    if (!m_hdfCurrent->settings) m_hdfCurrent->settings = std::make_unique<aglAttributes>();
    *m_hdfCurrent->settings = aglAttributes::blank();
    captureAttributes(*m_hdfCurrent->settings, true);
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
    if (object == m_hdfCurrent) return false;

    // The new object's array first: when it cannot be made, the object on
    // screen stays as it is.
    if (!makeHdfArray(*object)) return false;
    CHdfPalette* palette = nullptr;
    std::vector<std::pair<int, CHdfObject*>> scales;
    if (object->kind == HdfKindRaster) {
        palette = paletteChild(*object);
    } else if (object->kind == HdfKindSds) {
        palette = paletteChild(*object);
        for (const auto& c : object->children) {
            if (c->kind != HdfKindSds) continue;
            const int d = static_cast<const CHdfSds&>(*c).scaleOfDimension;
            if (d >= 0 && d < object->array->dimCount() && d < 7 && makeHdfArray(*c))
                scales.emplace_back(d, c.get());
        }
    }
    const bool paletteMade = palette && makeHdfArray(*palette);

    leaveHdfObject();
    m_current = object->array.get();
    m_hdfCurrent = object;
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
    if (objectId == 0) return false;
    for (const auto& o : m_hdfObjects) {
        CHdfObject* found = nullptr;
        if (o->objectId == objectId)
            found = o->hasContent ? o.get() : nullptr;
        else
            found = findShowable(*o, objectId);
        if (found) return showHdfObject(found);
        if (o->objectId == objectId) return false;
    }
    return false;
}
