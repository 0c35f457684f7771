#!/bin/sh
# Sets up everything Tavrix needs on a Debian machine and builds it.
#   tools/setup.sh [PRESET...]   (default preset: dev)
# Installs missing Debian packages (as root, or through sudo), then configures
# and builds each preset. Safe to run again: it does only what is missing.
set -eu
cd "$(dirname "$0")/.."

PACKAGES="cmake ninja-build g++ pkg-config python3 libgtest-dev libgmock-dev
  qt6-base-dev libqt6opengl6-dev qt6-svg-dev libgl-dev libegl-dev libglu1-mesa-dev
  libgl1-mesa-dri clang-format gfortran fonts-liberation2 xvfb xauth xclip dbus dbus-bin
  libdbus-1-dev clang libclang-rt-14-dev libhdf4-dev hdf4-tools
  desktop-file-utils shared-mime-info libxml2-utils libglib2.0-bin man-db dpkg-dev
  librsvg2-bin poppler-utils"

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi

[ $# -gt 0 ] || set -- dev
for preset in "$@"; do
    if [ ! -f "build/$preset/build.ninja" ]; then
        cmake --preset "$preset" >/dev/null
    fi
    cmake --build --preset "$preset" ${SETUP_TARGETS:+--target $SETUP_TARGETS}
done
