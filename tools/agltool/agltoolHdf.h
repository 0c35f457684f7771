// agltool's HDF commands: HDF files are listed and read through the HDF
// helper process (tavrix-hdf), like the viewer does.
#pragma once

#include "aglArray.h"

#include <memory>
#include <string>

// True when the file starts with the HDF signature.
bool isHdfFile(const std::string& path);
// info: the objects as the viewer's tree lists them, numbered from 0, one
// per line (number, kind, name, shape; children indented), or as a JSON list.
int hdfInfo(const std::string& path, bool json);
// The array of the object named by object (its number in info's list, or its name); on
// failure prints why and returns nullptr. palette receives the object's
// palette array, when it has one and palette is not null.
std::unique_ptr<aglArray> hdfObjectArray(const std::string& path, const std::string& object,
                                         std::unique_ptr<aglArray>* palette);
