// agltool render: an array drawn headless through the graph engine and
// saved as a PNG. argv[0] is NAME, argv[1] OUT.png, then the options.
// Returns the process exit status (0, or 2 with a message on stderr).
#pragma once

int renderCommand(int argc, char** argv);
