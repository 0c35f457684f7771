// The objects of an HDF file as the viewer lists them: scientific data sets
// (with their dimension scales, palettes and attributes as children),
// general raster images (with their palettes and attributes), file
// attributes and file annotations.
//
// Listing a file reads no elements. The list is built by the HDF helper
// process (tavrix-hdf), which alone links the HDF library, and crosses to
// the viewer as text: one line per object, children after their parent with
// a deeper level. encodeHdfObjects writes that text and decodeHdfObjects
// reads it back, checking every field, so a confused or hostile helper can
// give the viewer a short list but never a bad one.
//
// Plain data; any thread. No Qt, no HDF library.
#pragma once

#include "aglAttributes.h"

#include "aglArray.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Kind codes, as kept in every object.
enum HdfKind : int32_t {
    HdfKindSds = 0,
    HdfKindRaster = 1,
    HdfKindPalette = 2,
    HdfKindAnnotation = 3,
    HdfKindAttribute = 4,
    // A group of an HDF5 file: a folder of data sets, groups and attributes.
    HdfKindGroup = 5,
    HdfKindBase = 7
};

// Where a palette comes from: a general raster lookup table (index = the
// image's index) or a palette of the single-file palette interface (index =
// its reference number).
enum HdfPaletteSource : int32_t { HdfPaletteLut = 0, HdfPaletteDfp = 2 };

// Which interface an attribute belongs to.
enum HdfAttributeOwner : int32_t { HdfAttributeSd = 0, HdfAttributeGr = 1 };

class CHdfObject {
public:
    explicit CHdfObject(int32_t kind);
    virtual ~CHdfObject();
    CHdfObject(const CHdfObject&) = delete;
    CHdfObject& operator=(const CHdfObject&) = delete;

    // "Scientific Data", "Raster Image", "8-bit Image Palette", "Annotation",
    // "Attribute" or "Group".
    std::string kindName() const;
    // The display name, or the kind name when it is empty.
    std::string shownName() const { return displayName.empty() ? kindName() : displayName; }

    int32_t kind;
    std::string displayName;
    std::string filePath;
    // Data set index, image index, attribute index or palette reference.
    int32_t index = 0;
    // Where an HDF5 file keeps the object ("/grp/temp", always from the
    // root), or a classic NetCDF variable's name (never with a slash); the
    // helper reads the object by it. Empty for HDF4 objects, which go by
    // index.
    std::string location;
    // Why a listed object cannot be shown ("compound data sets cannot be
    // shown"); empty when it can, or when it simply has nothing to show.
    std::string refusal;
    // 702 for scientific data sets, 0 otherwise.
    int32_t tag = 0;
    // Process-wide, from 1, one per object made; the tree keeps it.
    int32_t objectId;
    // The object was described completely and can be shown.
    bool hasContent = false;
    // Not shown at the top level of the tree.
    bool hidden = false;
    bool isChild = false;
    // The tree's item for this object (owned by the tree).
    void* treeItem = nullptr;
    // The array made when the object is first shown (owns its segment).
    std::unique_ptr<aglArray> array;
    // The graph settings in force when the object was last left.
    std::unique_ptr<aglAttributes> settings;
    std::vector<std::unique_ptr<CHdfObject>> children;
    CHdfObject* parent = nullptr;

    CHdfObject* addChild(std::unique_ptr<CHdfObject> child);
};

// One plane of a data set: its row and column dimensions (the same one for
// a line) whole, every other dimension at one index.
struct HdfPlane {
    int rowDim = 0;
    int colDim = 0;
    // 0-based, per dimension; the row and column dimensions' are 0.
    std::array<int32_t, agl::kMaxDims> index{};
    bool operator==(const HdfPlane&) const = default;
};

class CHdfSds : public CHdfObject {
public:
    CHdfSds() : CHdfObject(HdfKindSds) { tag = 702; }
    int32_t typeCode = AGL_UCHAR; // element type, or uchar with size 0
    int32_t rank = 0;
    int32_t elementSize = 0;
    std::vector<int32_t> extents; // rank entries, slowest first
    bool coordinateVariable = false;
    // For a dimension scale child: the dimension of its parent it scales.
    int32_t scaleOfDimension = -1;
    // The file holds 64-bit integers ("int64" or "uint64") that are read as
    // doubles (typeCode is then AGL_DOUBLE); empty when the file's own type
    // is the array's.
    std::string convertedFrom;
    // Once the array is made: the converted values that lost precision.
    int64_t impreciseValues = 0;
    // The user asked for the values of a packed data set (one with a
    // scale_factor or add_offset attribute) as value x scale_factor +
    // add_offset, in doubles.
    bool unpacked = false;
    // The array holds one plane of the data set (hdfReadsByPlane), the one
    // plane says; false while it holds the whole data set or nothing.
    bool byPlane = false;
    HdfPlane plane;
};

class CHdfRasterImage : public CHdfObject {
public:
    CHdfRasterImage() : CHdfObject(HdfKindRaster) {}
    int32_t width = 0;
    int32_t height = 0;
    int32_t components = 0;
    int32_t interlace = 0;
    int32_t typeCode = AGL_UCHAR;
    int32_t elementSize = 0;
};

class CHdfPalette : public CHdfObject {
public:
    CHdfPalette() : CHdfObject(HdfKindPalette) {}
    int32_t source = HdfPaletteLut;
    int32_t components = 3;
    int32_t entries = 256;
    int32_t numberType = 0;
};

class CHdfAttribute : public CHdfObject {
public:
    CHdfAttribute() : CHdfObject(HdfKindAttribute) {}
    std::string name;
    int32_t numberType = 0;
    int32_t count = 0;
    int32_t owner = HdfAttributeSd;
    std::string text; // the values, one per line
};

class CHdfAnnotation : public CHdfObject {
public:
    CHdfAnnotation() : CHdfObject(HdfKindAnnotation) {}
    std::string text;
};

using HdfObjectList = std::vector<std::unique_ptr<CHdfObject>>;

// HDF number types (the little-endian and native flags removed first) and
// the element type each becomes; 0 when none does.
int hdfBaseNumberType(int32_t numberType);
int hdfElementType(int32_t numberType);

// Attribute values as listed: one per line ("%f", "%lf", "%c", "%hd",
// "%hu", "%d", "%u", "%ld", "%lu"); character types as text up to the
// first NUL. bytes holds count values of the type's size.
std::string hdfFormatValues(int32_t numberType, const void* bytes, size_t byteCount, int32_t count);

// The text form of a list (and of one object's line).
std::string encodeHdfObjects(const HdfObjectList& objects);
// Reads the text form back. Fails (false, with a reason) on any malformed
// line; objects then holds nothing.
bool decodeHdfObjects(const std::string& text, const std::string& filePath, HdfObjectList& objects,
                      std::string& reason);

// The shape of an object as the tree and agltool show it: "float[3][4]",
// "ushort[480][640]", "2 values", "5 characters"; empty for a group.
std::string hdfShapeText(const CHdfObject& object);

// What the status bar says about a data set read as a converted copy ("a
// double copy of int64 data; 3 values beyond 2^53 lost precision"); empty
// for any other object.
std::string hdfConversionNote(const CHdfObject& object);

// True for an HDF5 data set or NetCDF variable with a scale_factor or an
// add_offset attribute: the values can be unpacked (CHdfSds::unpacked).
bool hdfIsPacked(const CHdfObject& object);

// What the status bar says a data set holds: its long_name attribute and
// its units in brackets ("sea surface temperature [degC]"); empty when it
// has neither.
std::string hdfQuantityText(const CHdfObject& object);

// Depth-first search of a list (parent before children) for an object id.
CHdfObject* findHdfObject(const HdfObjectList& objects, int32_t objectId);

// The element count of a data set's array: the product of its extents in
// 64 bits, or 0 when it cannot be shown (rank 0 or above 7, a product below
// 2 or above the array limit, no element type).
int64_t hdfShownElementCount(const CHdfSds& sds);
// Whether the viewer can show the data set: as a whole array, or for one
// read plane by plane (whatever its size) its first plane.
bool hdfCanShow(const CHdfSds& sds);

// True for a data set the viewer reads one plane at a time: an HDF4 or HDF5
// data set or NetCDF variable of three to seven dimensions. Only the plane
// shown is read (a hyperslab), so such a data set may be larger than an
// array.
bool hdfReadsByPlane(const CHdfObject& object);
// The plane first shown: the last two dimensions (rows, columns) of an HDF5
// data set or NetCDF variable, dimensions 1 and 0 (rows, columns) of an HDF4
// one (a Fortran array, as it was shown whole), every other one at index 0.
HdfPlane hdfFirstPlane(const CHdfSds& sds);
// The array of a plane: its extents (the data set's for the row and column
// dimensions, 1 for the others) and where it starts in the data set. False
// when the plane does not fit the data set or its array would have fewer
// than 2 or more than 2^30 elements.
bool hdfPlaneShape(const CHdfSds& sds, const HdfPlane& plane, int32_t* extents, int32_t* start);

// True when head (a file's first bytes) carries the HDF5 signature, at the
// start or after a user block of 512, 1024 or 2048 bytes.
bool isHdf5Signature(const uint8_t* head, size_t size);

// True when head carries the signature of a classic NetCDF file ("CDF" and
// the form byte 1, 2 or 5).
bool isNetcdfClassicSignature(const uint8_t* head, size_t size);
