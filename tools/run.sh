#!/bin/sh
# Sets everything up, then shows the bundled example array.
set -eu
cd "$(dirname "$0")/.."
tools/setup.sh dev
example=examples/wave.agl
echo "tavrix: the viewer is not built yet; showing $example with agltool"
build/dev/bin/agltool info "$example"
build/dev/bin/agltool dump "$example"
