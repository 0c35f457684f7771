#!/bin/sh
# Installs libtavrixclient (with libagl) from a build tree into a scratch
# prefix and checks what a client sees there: only the tavrix_* API
# exported, the SONAME, a C program built with nothing but
# `pkg-config --cflags --libs tavrixclient agl`, the Fortran client through
# the installed modules when gfortran is there, and the C program through
# find_package; each drives a
# viewer on the session bus (run under dbus-run-session with TAVRIX_VIEWER).
#   install_client.sh BUILD-DIR
set -eu
build=$1
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

for component in agl tavrixclient; do
    cmake --install "$build" --prefix "$prefix" --component $component >"$scratch/install.log" ||
        { cat "$scratch/install.log"; exit 1; }
done
for f in include/tavrixclient.h include/tavrix.f90 bin/tavrixctl; do
    [ -f "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
lib=$(find "$prefix" -name 'libtavrixclient.so' | head -n 1)
[ -n "$lib" ] || { echo "libtavrixclient.so not installed"; exit 1; }
libdir=$(dirname "$lib")
soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libtavrixclient.so.1 ] || { echo "SONAME is '$soname'"; exit 1; }
stray=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -v '^tavrix_' || true)
[ -z "$stray" ] || { echo "libtavrixclient exports internal symbols:"; echo "$stray"; exit 1; }

# Only the prefix's own .pc files: a client needs no D-Bus development files.
export PKG_CONFIG_LIBDIR="$libdir/pkgconfig"
export PKG_CONFIG_PATH=
pkg-config --cflags --libs tavrixclient agl >/dev/null ||
    { echo "pkg-config cannot describe tavrixclient from the prefix alone"; exit 1; }
# The README's recipe: a run path to the prefix's libraries from pkg-config's
# libdir variable, so the client runs without LD_LIBRARY_PATH.
# shellcheck disable=SC2046 # the flags are meant to split
cc -std=c99 -Wall -Werror -o "$scratch/client" "$here/client.c" \
    $(pkg-config --cflags --libs tavrixclient agl) \
    -Wl,-rpath,"$(pkg-config --variable=libdir tavrixclient)"
(unset LD_LIBRARY_PATH; "$scratch/client")

# tavrix.py finds its libraries beside the prefix's lib folder, also where
# they are in a multiarch lib/x86_64-linux-gnu (the layout of a /usr build).
if command -v python3 >/dev/null 2>&1; then
    multi=$scratch/multiarch
    arch=$(python3 -c 'import sysconfig; print(sysconfig.get_config_var("MULTIARCH") or "x86_64-linux-gnu")')
    mkdir -p "$multi/lib/$arch" "$multi/lib/python3/dist-packages"
    cp -P "$libdir"/libagl.so* "$libdir"/libtavrixclient.so* "$multi/lib/$arch/"
    cp "$(find "$prefix" -name tavrix.py | head -n 1)" "$multi/lib/python3/dist-packages/"
    (unset LD_LIBRARY_PATH TAVRIX_CLIENT_LIBRARY AGL_LIBRARY
     cd "$scratch" && PYTHONPATH="$multi/lib/python3/dist-packages" python3 -c 'import tavrix; tavrix._libs()') ||
        { echo "tavrix.py does not find its libraries in lib/$arch"; exit 1; }
fi

if command -v gfortran >/dev/null 2>&1; then
    [ -f "$prefix/include/tavrix.mod" ] || { echo "tavrix.mod not installed"; exit 1; }
    # shellcheck disable=SC2046
    gfortran -o "$scratch/fortran_client" "$here/fortran_client.f90" \
        $(pkg-config --cflags --libs tavrixclient agl)
    LD_LIBRARY_PATH="$libdir" "$scratch/fortran_client"
fi
cmake -S "$here" -B "$scratch/cmake-client" -DCMAKE_PREFIX_PATH="$prefix" >"$scratch/cmake.log" &&
    cmake --build "$scratch/cmake-client" >>"$scratch/cmake.log" ||
    { cat "$scratch/cmake.log"; exit 1; }
LD_LIBRARY_PATH="$libdir" "$scratch/cmake-client/client"
echo "installed libtavrixclient: C, Fortran and CMake clients pass"
