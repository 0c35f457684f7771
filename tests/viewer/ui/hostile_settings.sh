#!/bin/sh
# A test program run with a user settings file full of hostile values in
# both places the settings store could look (~/.config and $XDG_CONFIG_HOME)
# passes, and leaves both files exactly as they were: every test executable
# keeps its settings in a private folder of its own.
#   hostile_settings.sh PROGRAM TEST...
# Runs PROGRAM (a gtest executable) once for each TEST, as ctest does.
set -u
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tavrix-hostile-XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
for dir in "$scratch/home/.config/Veradyne" "$scratch/xdg/Veradyne"; do
    mkdir -p "$dir"
    cat >"$dir/Plotrane.ini" <<'INI'
[Tavrix]
AppWidth=-2147483648
AppHeight=nan
GridViewHeight=99999999999999999999
GraphViewHeight=-1
Precision=1e308
UseExp=maybe
ShowPalette=\0
ShowMarker=
GraphType=77
PaletteId=-5
ZScale=inf
FillValue=not a number
SurfaceDistance=-0
SurfaceStyle=@Invalid()
RecentFiles=/nonexistent/a.agl, /dev/zero, /proc/self/mem, ../../../../etc/shadow
LastDirectory=/nonexistent/folder
[General]
toolbarState=@ByteArray(\xff\xff\xff\xff)
INI
done
before=$(cat "$scratch/home/.config/Veradyne/Plotrane.ini" "$scratch/xdg/Veradyne/Plotrane.ini" | cksum)
program=$1
shift
status=0
for test in "$@"; do
    HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/xdg" "$program" --gtest_filter="$test" || status=1
done
after=$(cat "$scratch/home/.config/Veradyne/Plotrane.ini" "$scratch/xdg/Veradyne/Plotrane.ini" | cksum)
if [ "$before" != "$after" ]; then
    echo "hostile_settings: the user's settings file was changed" >&2
    exit 1
fi
if [ -n "$(find "$scratch/home" "$scratch/xdg" -newer "$scratch/xdg/Veradyne/Plotrane.ini" ! -type d)" ]; then
    echo "hostile_settings: files appeared in the user's folders:" >&2
    find "$scratch/home" "$scratch/xdg" -newer "$scratch/xdg/Veradyne/Plotrane.ini" ! -type d >&2
    exit 1
fi
exit $status
