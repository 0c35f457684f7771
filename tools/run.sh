#!/bin/sh
# Sets everything up, then shows the bundled example array in the viewer.
# With no display to show a window on, the viewer runs under Xvfb and saves a
# picture of its window instead (a window on a virtual screen helps nobody).
set -eu
cd "$(dirname "$0")/.."
# Only the viewer and its HDF helper are built (the tests and benchmarks are
# tools/test.sh's).
SETUP_FOR=viewer SETUP_TARGETS="tavrix tavrix-hdf" tools/setup.sh dev
example=examples/wave.agl
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec build/dev/bin/tavrix "$example"
fi
out=build/wave.png
# A session without a runtime folder (root on a bare machine) gets one for
# this run, so that Qt has where it wants to keep its sockets.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
echo "tavrix: no display: running the viewer under Xvfb and saving its window as a picture"
xvfb-run -a -s "-screen 0 1280x1024x24" build/dev/bin/tavrix --screenshot "$out" "$example"
echo "tavrix: $example shown in $(pwd)/$out"
