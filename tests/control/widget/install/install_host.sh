#!/bin/sh
# Installs libplotrane2d from a build tree into a scratch prefix and checks
# what a host sees there: the SONAME, only the factory and the control class
# exported, and a Qt host built with nothing but
# `pkg-config --cflags --libs plotrane2d` that creates the control by class id.
# Usage: install_host.sh BUILD-DIR ARRAY.agl
set -eu
build=$1
array=$2
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

cmake --install "$build" --prefix "$prefix" --component plotrane2d >"$scratch/install.log" ||
    { cat "$scratch/install.log"; exit 1; }
for f in ControlDispatch.h ControlFactory.h ControlValues.h PropertyTable.h; do
    [ -f "$prefix/include/plotrane/$f" ] || { echo "not installed: plotrane/$f"; exit 1; }
done
lib=$(find "$prefix" -name 'libplotrane2d.so' | head -n 1)
[ -n "$lib" ] || { echo "libplotrane2d.so not installed"; exit 1; }
libdir=$(dirname "$lib")
soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libplotrane2d.so.1 ] || { echo "SONAME is '$soname'"; exit 1; }

# Exported code: the factory, the property-set functions, the property pages'
# entry, the control class and its property sheet; nothing of the engine.
stray=$(nm -DC --defined-only "$lib" | grep ' T ' | grep -v 'CPlotrane2DCtrl\|CPlotrane2DPropertySheet\|plotrane::createControl\|plotrane::saveProperties\|plotrane::loadProperties\|plotrane::showPropertyPages' || true)
[ -z "$stray" ] || { echo "libplotrane2d exports engine symbols:"; echo "$stray"; exit 1; }

export PKG_CONFIG_PATH="$libdir/pkgconfig"
# shellcheck disable=SC2046 # the flags are meant to split
c++ -std=c++20 -Wall -Werror -o "$scratch/host" "$here/host.cpp" $(pkg-config --cflags --libs plotrane2d)
LD_LIBRARY_PATH="$libdir" "$scratch/host" "$array"
