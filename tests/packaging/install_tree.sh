#!/bin/sh
# Installs the whole build into a scratch prefix and checks it as a desktop
# would see it: every program, library, header, pkg-config file, module and
# data file in place; the installed programs run with nothing but their own
# RUNPATH (no LD_LIBRARY_PATH), find each other (agltool starts the installed
# HDF helper, the viewer draws a picture through the installed graph
# control); the desktop entry validates; the file type is recognised by its
# magic bytes and opens with the viewer; the manual pages render and name
# exactly the options each program's --help names; python3 imports the
# installed module and it loads the installed library.
#   install_tree.sh BUILD-DIR SOURCE-DIR [MAKE_HDF_SAMPLES]
set -eu
build=$1
source=$2
make_hdf=${3:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log"; exit 1; }

# --- The tree ----------------------------------------------------------------
pc=$(find "$prefix" -name agl.pc | head -n 1)
[ -n "$pc" ] || { echo "agl.pc not installed"; exit 1; }
libdir=$(dirname "$(dirname "$pc")")
for f in bin/tavrix bin/tavrix-hdf bin/tavrix-netcdf bin/agltool bin/tavrixctl; do
    if ! { [ -f "$prefix/$f" ] && [ -x "$prefix/$f" ]; }; then fail "not installed as a program: $f"; fi
done
for lib in libagl libplotrane2d libtavrixclient; do
    for f in "$lib.so" "$lib.so.1"; do
        [ -e "$libdir/$f" ] || fail "not installed: ${libdir#"$prefix"/}/$f"
    done
    name=${lib#lib}
    [ -f "$libdir/pkgconfig/$name.pc" ] || fail "no pkg-config file $name.pc"
done
for f in include/agl.h include/agl.f90 include/tavrixclient.h include/tavrix.f90 \
    include/plotrane/ControlFactory.h include/plotrane/ControlDispatch.h \
    include/plotrane/PropertyTable.h include/plotrane/ControlValues.h \
    share/applications/tavrix.desktop share/icons/hicolor/scalable/apps/tavrix.svg \
    share/mime/packages/tavrix.xml share/man/man1/tavrix.1.gz share/man/man1/agltool.1.gz \
    share/man/man1/tavrixctl.1.gz lib/python3/dist-packages/tavrix.py; do
    [ -f "$prefix/$f" ] || fail "not installed: $f"
done
if command -v gfortran >/dev/null 2>&1; then
    for f in include/agl.mod include/tavrix.mod; do
        [ -f "$prefix/$f" ] || fail "Fortran module not installed: $f"
    done
fi

# --- Installed programs run on their own RUNPATH -------------------------------
for p in tavrix tavrix-hdf tavrix-netcdf agltool tavrixctl; do
    exe=$prefix/bin/$p
    # shellcheck disable=SC2016 # $ORIGIN is the loader's, not the shell's
    readelf -d "$exe" | grep -q 'RUNPATH.*\$ORIGIN' || fail "$p has no \$ORIGIN RUNPATH"
    env -u LD_LIBRARY_PATH ldd "$exe" >"$scratch/ldd" 2>&1 || true
    if grep -q 'not found' "$scratch/ldd"; then
        fail "$p: libraries not found"
        grep 'not found' "$scratch/ldd"
    fi
    # Our own libraries come from the prefix, never from the build tree.
    if grep -E 'lib(agl|plotrane2d|tavrixclient)\.so' "$scratch/ldd" |
        grep -v -e "=> $prefix/" -e 'not found'; then
        fail "$p loads one of our libraries from outside the prefix"
    fi
done
# --- No program or library looks for libraries in the current directory ------
# The dynamic loader reads an empty RUNPATH entry as the current directory:
# a library named as one of ours, in whatever folder the program is started
# from, would be loaded. Installed, and in the build tree that tests and
# tools/run.sh start.
for f in "$prefix"/bin/* "$libdir"/lib*.so* "$build"/bin/* "$build"/lib/lib*.so*; do
    if [ -L "$f" ] || [ ! -f "$f" ]; then continue; fi
    runpath=$(readelf -d "$f" 2>/dev/null | sed -n 's/.*R[UN]*PATH.*\[\(.*\)\]$/\1/p')
    [ -n "$runpath" ] || continue
    case ":$runpath:" in
    *::*) fail "${f#"$prefix"/}: RUNPATH [$runpath] has an empty entry (the current directory)" ;;
    esac
done

for p in tavrix agltool tavrixctl; do
    if env -u LD_LIBRARY_PATH "$prefix/bin/$p" --help >"$scratch/$p.help" 2>"$scratch/err"; then
        grep -q "^usage: $p" "$scratch/$p.help" || fail "$p --help prints no usage"
    else
        fail "$p --help failed: $(cat "$scratch/err")"
    fi
done
# agltool render's options belong to its manual page too (they go to stderr,
# with status 2, as every usage message of agltool).
env -u LD_LIBRARY_PATH "$prefix/bin/agltool" render --help >>"$scratch/agltool.help" 2>&1 || true
grep -q -- '--size' "$scratch/agltool.help" || fail "agltool render --help lists no options"

# The helper is found beside the installed program, as the viewer finds it.
if [ -n "$make_hdf" ]; then
    mkdir "$scratch/hdf"
    "$make_hdf" "$scratch/hdf" >/dev/null
    if env -u LD_LIBRARY_PATH -u TAVRIX_HDF_HELPER \
        "$prefix/bin/agltool" dump "$scratch/hdf/scales.hdf" --object temperature \
        >"$scratch/dump" 2>"$scratch/err"; then
        "$build/bin/agltool" dump "$scratch/hdf/scales.hdf" --object temperature >"$scratch/want"
        if ! { [ -s "$scratch/dump" ] && cmp -s "$scratch/dump" "$scratch/want"; }; then
            fail "the installed helper read other values than the built one"
        fi
    else
        fail "installed agltool cannot read an HDF file: $(cat "$scratch/err")"
    fi
fi

# The installed viewer draws the example through the installed control.
mkdir -m 700 "$scratch/run"
if env -u LD_LIBRARY_PATH -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$scratch/config" \
    XDG_RUNTIME_DIR="$scratch/run" "$prefix/bin/tavrix" --screenshot "$scratch/wave.png" \
    "$source/examples/wave.agl" >"$scratch/err" 2>&1; then
    [ -s "$scratch/wave.png" ] || fail "the installed viewer saved no picture"
else
    fail "the installed viewer failed: $(cat "$scratch/err")"
fi

# --- Desktop entry, icon, file type ---------------------------------------------
desktop=$prefix/share/applications/tavrix.desktop
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate failed"
[ -z "$out" ] || fail "desktop-file-validate: $out"
grep -qx 'Exec=tavrix %f' "$desktop" || fail "the desktop entry does not run tavrix on a file"
grep -q '^MimeType=.*application/x-agl;' "$desktop" || fail "the desktop entry does not open agl files"
for t in application/x-hdf application/x-hdf5 application/x-netcdf; do
    grep -q "^MimeType=.*$t;" "$desktop" || fail "the desktop entry does not open $t files"
done
grep -qx 'Icon=tavrix' "$desktop" || fail "the desktop entry names another icon"
xmllint --noout "$prefix/share/icons/hicolor/scalable/apps/tavrix.svg" || fail "the icon is not well-formed"
xmllint --noout "$prefix/share/mime/packages/tavrix.xml" || fail "the MIME entry is not well-formed"

# What the system's triggers do after a package is installed, on a copy.
data=$scratch/data
mkdir -p "$data"
cp -R "$prefix/share/mime" "$prefix/share/applications" "$data/"
update-mime-database "$data/mime" >/dev/null 2>"$scratch/err" || fail "update-mime-database failed"
# Anything but the note that the scratch folder is not searched is a complaint.
if grep -v -e 'not in the search path' -e 'XDG_DATA' -e 'environment variables' \
    -e 'applications may not' -e 'be able to find' -e 'directories currently searched' -e '^- ' \
    -e '^ *$' -e 'them. The' "$scratch/err"; then
    fail "update-mime-database complains about the entry"
fi
grep -q '^application/x-agl$' "$data/mime/types" || fail "application/x-agl is not registered"
update-desktop-database "$data/applications" || fail "update-desktop-database failed"

export XDG_DATA_HOME="$data" XDG_DATA_DIRS="$data" XDG_CONFIG_HOME="$scratch/config" \
    XDG_CONFIG_DIRS="$scratch/config"
type_of() {
    gio info -a standard::content-type "$1" 2>/dev/null | sed -n 's/.*standard::content-type: //p'
}
# Recognised by its name, and by either form of the header's magic word
# (little-endian) whatever the name; the bytes the other way round are not.
printf '\023\011\026\001\001\006\001\000\000\000\000\000' >"$scratch/plain.dat"
printf '\204\130\205\370\001\006\007\000\000\000\000\000' >"$scratch/fixed.dat"
printf '\001\026\011\023\001\006\001\000\000\000\000\000' >"$scratch/swapped.dat"
cp "$source/examples/wave.agl" "$scratch/wave.agl"
for f in plain.dat fixed.dat wave.agl; do
    t=$(type_of "$scratch/$f")
    [ "$t" = application/x-agl ] || fail "$f is seen as '$t', want application/x-agl"
done
t=$(type_of "$scratch/swapped.dat")
[ "$t" != application/x-agl ] || fail "a byte-swapped magic word is taken for an agl file"
# HDF5 by its signature, also behind a user block and under another name.
printf '\211HDF\r\n\032\n\000\000\000\000' >"$scratch/run.h5"
{ head -c 512 /dev/zero; printf '\211HDF\r\n\032\n\000\000\000\000'; } >"$scratch/block.dat"
for f in run.h5 block.dat; do
    t=$(type_of "$scratch/$f")
    [ "$t" = application/x-hdf5 ] || fail "$f is seen as '$t', want application/x-hdf5"
done
printf 'CDF\001\000\000\000\000' >"$scratch/ocean.dat"
t=$(type_of "$scratch/ocean.dat")
[ "$t" = application/x-netcdf ] || fail "a classic NetCDF file is seen as '$t'"
PATH="$prefix/bin:$PATH" gio mime application/x-hdf5 >"$scratch/apps" 2>&1 || true
grep -q 'Default application.*tavrix.desktop' "$scratch/apps" ||
    fail "HDF5 files do not open with the viewer: $(cat "$scratch/apps")"
PATH="$prefix/bin:$PATH" gio mime application/x-agl >"$scratch/apps" 2>&1 || true
grep -q 'Default application.*tavrix.desktop' "$scratch/apps" ||
    fail "agl files do not open with the viewer: $(cat "$scratch/apps")"

# --- Manual pages -----------------------------------------------------------------
# The options a text names: --long ones, -Word ones and -h.
options() {
    sed 's/\\-/-/g' "$1" | grep -oE '(^|[][ (|,/"])-{1,2}[A-Za-z][A-Za-z-]*' |
        sed 's/^[^-]//' | grep -E '^(--[a-z]|-[A-Z][a-z]+$|-h$)' | sort -u
}
for p in tavrix agltool tavrixctl; do
    page=$prefix/share/man/man1/$p.1.gz
    zcat "$page" >"$scratch/$p.1"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$scratch/$p.1" 2>&1 >/dev/null) ||
        fail "man cannot show $p.1"
    [ -z "$warnings" ] || fail "$p.1: $warnings"
    options "$scratch/$p.1" >"$scratch/$p.man-options"
    options "$scratch/$p.help" >"$scratch/$p.help-options"
    if ! diff "$scratch/$p.help-options" "$scratch/$p.man-options" >"$scratch/diff"; then
        fail "$p: options of --help (<) and of the manual page (>) differ"
        cat "$scratch/diff"
    fi
done

# --- Python ---------------------------------------------------------------------------
# The installed module imports from the folder python3 searches, and loads
# the installed client library beside it (lib/python3/dist-packages/../..).
loaded=$(env -u LD_LIBRARY_PATH -u TAVRIX_CLIENT_LIBRARY -u AGL_LIBRARY \
    PYTHONPATH="$prefix/lib/python3/dist-packages" python3 -c \
    'import os, tavrix; tavrix._libs(); print(os.path.realpath(tavrix._client._name))' \
    2>"$scratch/err") || fail "python3 cannot use the installed module: $(cat "$scratch/err")"
if [ "$libdir" = "$prefix/lib" ]; then
    case $loaded in
    "$(realpath "$prefix")"/lib/libtavrixclient.so*) ;;
    *) fail "the Python module loaded '$loaded', not the installed library" ;;
    esac
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "installed tree: programs, libraries, desktop entry, file type, manual pages and Python module pass"
