// agltool render: arrays drawn headless through the graph control
// (ControlModel, no widget) and saved as pictures.
#pragma once

#include <functional>
#include <string>

// One input as the command opened it.
struct RenderInput {
    std::string name;    // as named on the command line (for messages and --out-dir)
    std::string segment; // the segment the control binds
    // The plane the opener chose for an array it read into a new segment
    // (-1: the array's own choice).
    int rowDim = -1, colDim = -1;
    std::string palette; // the input's own palette segment (an HDF object's), or ""
};

// Opens a named input; false with the exit status (the opener printed why).
using RenderInputOpener =
    std::function<bool(const std::string& name, RenderInput& in, int& status)>;

// argv: the inputs and outputs, then the options (argv[0] is the first
// argument after "render"). Returns the process exit status (0, or 2 with
// a message on stderr).
int renderCommand(int argc, char** argv, const RenderInputOpener& open);
