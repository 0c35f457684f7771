// agltool's HDF listing: an HDF file's objects as the viewer's tree lists
// them. Files are listed and read through the array file opener, which runs
// the HDF helper process (tavrix-hdf) as the viewer does.
#pragma once

#include "HdfObjects.h"

// info: the objects in the tree's order, numbered from 0, one per line
// (number, kind, name, shape; children indented), or as a JSON list.
void printHdfObjects(const HdfObjectList& objects, bool json);

// info --object: one object: its kind, name, path in an HDF5 file, shape,
// why it cannot be shown, the scaled dimension of a scale, an attribute's
// values or an annotation's text, and its attributes with their values; or
// the same as one JSON object.
void printHdfObject(const CHdfObject& object, bool json);
