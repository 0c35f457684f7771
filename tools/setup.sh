#!/bin/sh
# Sets up everything Tavrix needs on a Debian machine and builds it.
#   tools/setup.sh [PRESET...]   (default preset: dev)
# Installs missing Debian packages (as root, or through sudo), then configures
# and builds each preset. Safe to run again: it does only what is missing.
#   SETUP_FOR=viewer    only what building and running the viewer needs (the
#                       packages of the build; tools/run.sh), not the tools
#                       the tests drive
#   SETUP_TARGETS="..." build only these targets
#   tools/setup.sh bench [PRESET...]  also the packages the benchmarks
#                       compare with (bench is no preset: nothing is built
#                       for it)
set -eu
cd "$(dirname "$0")/.."

# What the build needs (the test framework too: the dev build configures its
# tests even when it builds only the viewer), and what the viewer needs to
# run without a display. Both Liberation releases: with the two installed,
# the bold "Times New Roman" of the axis texts comes from the 1.x files,
# whose hinted glyphs the reference pictures hold; with only 2.x the texts
# are drawn a pixel apart.
VIEWER_PACKAGES="cmake ninja-build g++ pkg-config python3 libgtest-dev libgmock-dev
  qt6-base-dev libqt6opengl6-dev qt6-svg-dev libgl-dev libegl-dev libglu1-mesa-dev
  libgl1-mesa-dri fonts-liberation fonts-liberation2 xvfb xauth dbus libdbus-1-dev libhdf4-dev
  libhdf5-dev libnetcdf-dev zlib1g-dev libxcb1-dev"
# What the tests drive or check with: the linker of the sanitizer builds
# (lld links their many test programs in a fifth of the time), the formatter,
# the Fortran and clang clients and sanitizer runtimes, the X clipboard and pointer tools, picture,
# PDF, HDF and NetCDF and packaging tools, NumPy for the Python module's test
# and h5py and netCDF4-python to write HDF5 and NetCDF files as scientists'
# programs do.
TEST_PACKAGES="lld clang-format gfortran xclip xdotool imagemagick dbus-bin hdf4-tools hdf5-tools
  netcdf-bin python3-h5py python3-netcdf4 python3-numpy desktop-file-utils shared-mime-info
  libxml2-utils libglib2.0-bin man-db dpkg-dev librsvg2-bin poppler-utils"
# The fuzz preset builds with clang and its sanitizer runtimes.
FUZZ_PACKAGES="clang libclang-rt-14-dev"
# What the benchmarks compare with (tools/bench/*.py): gnuplot, matplotlib
# and NumPy, which also make the real example arrays and the docs' pictures
# (tools/make_real_examples.py, tools/make_picture_docs.py); never needed to
# build, run or test.
BENCH_PACKAGES="gnuplot-nox python3-matplotlib python3-numpy"

PACKAGES=$VIEWER_PACKAGES
[ "${SETUP_FOR:-}" = viewer ] || PACKAGES="$PACKAGES $TEST_PACKAGES"
case " $* " in *" fuzz "*) PACKAGES="$PACKAGES $FUZZ_PACKAGES" ;; esac
case " $* " in *" bench "*) PACKAGES="$PACKAGES $BENCH_PACKAGES" ;; esac

missing="" installed=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
    installed=yes
fi

[ $# -gt 0 ] || set -- dev
for preset in "$@"; do
    [ "$preset" != bench ] || continue
    # Configured again after new packages came: the tests that need a
    # program the build looks for are added only once it is there.
    if [ ! -f "build/$preset/build.ninja" ] || [ -n "$installed" ]; then
        cmake --preset "$preset" >/dev/null
    fi
    # shellcheck disable=SC2086
    cmake --build --preset "$preset" ${SETUP_TARGETS:+--target $SETUP_TARGETS}
done
