// Named values of the graph control's enumerated properties. Hosts write
// these instead of bare numbers: `setShort(DISPID_AxisStyle,
// value(AxisStyle::FilledWalls))`. The numbers are part of the control's
// interface and never change.
//
// Header only, free of Qt and GL.
#pragma once

#include <cstdint>
#include <type_traits>

namespace plotrane {

// `GraphType`: which graph object draws the data.
enum class GraphType : int16_t {
    Plain = 0,       // draws nothing, no palette bar
    HeightPlot = 1,  // height field over the x-y plane
    ImageMap = 2,    // one coloured cell per element
    VectorGraph = 3, // components from columns of the plane
};

// `GraphStyle`: how a height plot draws its grid.
enum class GraphStyle : int16_t {
    MeshStyle = 0, // "Wireframe"
    SurfaceStyle = 1,
    BarchartStyle = 2,
    LineStyle = 3,
    PointStyle = 4,
};

// `Shading`.
enum class Shading : int16_t { Flat = 0, Smooth = 1 };

// `TextureMode`: when the height plot takes its colours from a texture.
enum class TextureMode : int16_t { Never = 0, Always = 1, Auto = 2 };

// `CacheBehavior`: when the graph object keeps its display list.
enum class CacheBehavior : int16_t { Always = 0, Never = 1, Auto = 2 };

// `ImageOrientation`: how an image map flips its cells.
enum class ImageOrientation : int16_t { Identity = 0, XFlip = 1, YFlip = 2, XYFlip = 3 };

// `ViewerMode`: what mouse drags do to the camera.
enum class ViewerMode : int16_t {
    NoDrag = 0, // the camera does not follow the mouse
    Rotate = 1, // left rotates, Shift+left zooms, Shift+right pans
    Pan = 2,    // left pans
};

// `CamViewType`: the free 3-D camera, or one of three fixed flat views.
enum class CamViewType : int16_t {
    Free = 0,    // perspective or orthographic, from the camera's position
    FrontXZ = 1, // the x-z plane faces the viewer, z up (y dropped)
    TopXY = 2,   // the x-y plane seen from above (z dropped)
    SideYZ = 3,  // the y-z plane faces the viewer (x dropped)
};

// `AxisStyle`: styles 1..10 draw the three walls of the box that meet the
// axes (filled for 1..5) with grid lines on some of them; 11..20 use the
// switches of 1..10; 21 draws no axes. Only the styles hosts use are named;
// any value 1..21 is accepted.
enum class AxisStyle : int16_t {
    FilledWallsGrid = 1, // filled walls, grid lines on all three
    FilledWalls = 5,     // filled walls, no grid lines
    OpenWallsGrid = 6,   // walls not filled, grid lines on all three
    NoAxes = 21,
};
inline constexpr int16_t kAxisStyleFirst = 1;
inline constexpr int16_t kAxisStyleLast = 21;

// `PaletteId`: 0 the custom palette (loaded through `PaletteFileName`),
// 1..6 built-in tables; 4, the rainbow, is the default.
inline constexpr int16_t kPaletteCustom = 0;
inline constexpr int16_t kPaletteRainbow = 4;
inline constexpr int16_t kPaletteIdLast = 6;

// `MetaFileStatus` (read-only): where the last capture stands.
enum class MetaFileStatus : int16_t {
    NeverRequested = 0, // no picture has been asked for
    Idle = 1,
    Requested = 2, // asked for, the capture frame not yet drawn
    Capturing = 3, // the capture frame is being drawn (again after an overflow)
    Writing = 4,   // the writer thread is writing the file
    Failed = 5,    // no file: `MetaFile` reads empty
    Complete = 6,  // `MetaFile` names the finished file
};
// `CreateMetaFile` sizes: (0, 0) copies the picture to the clipboard;
// otherwise each side 1 .. kMaxMetaFileSize hundredths of a millimetre.
inline constexpr int32_t kMaxMetaFileSize = 1000000;

// `DataOffset` reads the level of detail now drawn; this when none is.
inline constexpr int32_t kNoLevel = -1;

// The highest dimension index an array has (arrays have 1..7 dimensions).
inline constexpr int kMaxDimIndex = 6;

// The number an enumerated value carries through the dispatch interface.
template <typename E> constexpr std::underlying_type_t<E> value(E e) {
    return static_cast<std::underlying_type_t<E>>(e);
}

} // namespace plotrane
