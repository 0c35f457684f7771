// GraphPresenter: how an array is shown on the graph control, one graph kind
// at a time. It keeps each kind's display settings, the free 3-D camera
// remembered while a flat view shows, the kind the user prefers and whether
// the palette bar shows, and it holds the rules that choose a kind for the
// shown plane and set the control up for it. It speaks only the control's
// dispatch interface (through CPlotrane2D), so the viewer's graph pane and
// `agltool render` show every kind the same way. Host thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "CPlotrane2D.h"
#include "GraphSettings.h"
#include "GraphSync.h"

class GraphPresenter {
public:
    // The viewer's graph kinds, numbered as its menu, `tavrix --graph-type`
    // and `agltool render --graph-type` number them. The plane view is a
    // height plot under a fixed camera.
    enum GraphKind { NoGraph = 0, HeightPlot = 1, ImageMap = 2, VectorGraph = 3, PlaneView = 4 };
    // "Choose the kind yourself".
    static constexpr int kAutoGraphKind = -1;

    // The plane the control shows: its lengths, and how to turn it (its rows
    // become its columns) when the vector graph wants its components, the
    // columns, along the short side. Without `turn` the plane stays as it is.
    struct Plane {
        int32_t rows = 0;
        int32_t columns = 0;
        std::function<void()> turn;
    };

    GraphPresenter() { setBuiltInDefaults(); }

    // The settings every kind starts with: what a user who never changed a
    // setting sees.
    void setBuiltInDefaults();

    GraphSettings& settings(int kind);
    const GraphSettings& settings(int kind) const;
    GraphCamera& camera() { return m_camera; }
    const GraphCamera& camera() const { return m_camera; }
    int preferredKind() const { return m_preferredKind; }
    // Kinds outside 1..4 are ignored.
    void setPreferredKind(int kind);
    bool paletteShown() const { return m_paletteShown; }
    void setPaletteShown(bool shown) { m_paletteShown = shown; }
    // The image map with square cells (the data's aspect), or stretched over
    // the graph area. A choice of the host's, not one of the kinds' settings:
    // the built-in defaults leave it as it is.
    bool squareCells() const { return m_squareCells; }
    void setSquareCells(bool on) { m_squareCells = on; }

    // Whether kind suits a plane of rows x columns: the plane view wants one
    // short side (at most 10), every other kind two elements each way.
    // NoGraph always suits.
    static bool suits(int kind, int32_t rows, int32_t columns);
    // The kind to show for requested (kAutoGraphKind: any) while shown is on
    // the control: the request when it suits, else the kind shown, the
    // preferred kind, the plane view, the height plot, or NoGraph.
    int choose(int requested, int shown, int32_t rows, int32_t columns) const;

    // Shows requested (or the kind choose() gives) on c in place of shown:
    // the shown kind's settings are taken back from the control first, so a
    // user's changes are kept for the next time. Returns the kind shown.
    int select(CPlotrane2D& c, int requested, int shown, const Plane& plane);
    // Sets c up for kind (view, axis style, palette bar, and the camera for
    // the 3-D kinds) without writing the kind's settings; camera3D tells
    // whether the free camera is on now (its values are then remembered).
    void showKind(CPlotrane2D& c, int kind, bool camera3D, const Plane& plane);

    // A kind's settings from or to the control, and the free camera.
    void storeSettings(const CPlotrane2D& c, int kind);
    void applySettings(const CPlotrane2D& c, int kind) const;
    void saveCamera(const CPlotrane2D& c) { controlsync::readCamera(c, m_camera); }
    void restoreCamera(const CPlotrane2D& c) const { controlsync::writeCamera(c, m_camera); }

private:
    void showVectorGraph(CPlotrane2D& c, bool camera3D, const Plane& plane);
    void showPlaneView(CPlotrane2D& c, bool camera3D, const Plane& plane);

    std::array<GraphSettings, 5> m_settings;
    GraphCamera m_camera;
    int m_preferredKind = PlaneView;
    bool m_paletteShown = false;
    bool m_squareCells = true;
};
