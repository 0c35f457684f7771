#!/bin/sh
# Installs libagl from a build tree into a scratch prefix and checks what a
# client sees there: only the C API exported, the SONAME, a C program built
# with nothing but `pkg-config --cflags --libs agl`, and the same program
# built through find_package(agl), and the Fortran client through the
# installed module when gfortran is there. Usage: install_client.sh BUILD-DIR
set -eu
build=$1
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

cmake --install "$build" --prefix "$prefix" --component agl >"$scratch/install.log" ||
    { cat "$scratch/install.log"; exit 1; }
for f in include/agl.h include/agl.f90; do
    [ -f "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
lib=$(find "$prefix" -name 'libagl.so' | head -n 1)
[ -n "$lib" ] || { echo "libagl.so not installed"; exit 1; }
libdir=$(dirname "$lib")

soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libagl.so.1 ] || { echo "SONAME is '$soname', want libagl.so.1"; exit 1; }
[ -f "$libdir/$soname" ] || { echo "$soname not installed beside libagl.so"; exit 1; }

# Every exported definition is part of the C API.
stray=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -v '^agl_' || true)
[ -z "$stray" ] || { echo "libagl exports internal symbols:"; echo "$stray"; exit 1; }

export PKG_CONFIG_PATH="$libdir/pkgconfig"
mkdir "$scratch/run"
# shellcheck disable=SC2046 # the flags are meant to split
cc -std=c99 -Wall -Werror -o "$scratch/client" "$here/client.c" $(pkg-config --cflags --libs agl)
LD_LIBRARY_PATH="$libdir" "$scratch/client" "$scratch/run"

# A Fortran program finds the installed module through the same flags.
if command -v gfortran >/dev/null 2>&1; then
    [ -f "$prefix/include/agl.mod" ] || { echo "agl.mod not installed"; exit 1; }
    # shellcheck disable=SC2046
    gfortran -o "$scratch/fortran_client" "$here/../fortran/fortran_client.f90" \
        $(pkg-config --cflags --libs agl)
    LD_LIBRARY_PATH="$libdir" "$scratch/fortran_client"
fi

cmake -S "$here" -B "$scratch/cmake-client" -DCMAKE_PREFIX_PATH="$prefix" >"$scratch/cmake.log" &&
    cmake --build "$scratch/cmake-client" >>"$scratch/cmake.log" ||
    { cat "$scratch/cmake.log"; exit 1; }
LD_LIBRARY_PATH="$libdir" "$scratch/cmake-client/client" "$scratch/run"
echo "installed libagl: pkg-config, Fortran and CMake clients pass"
