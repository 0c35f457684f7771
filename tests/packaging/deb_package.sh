#!/bin/sh
# Builds the Debian package from a build tree with cpack and checks it as
# dpkg sees it: its name and dependencies, every file under /usr where the
# system looks for it, and the packaged programs running from an unpacked
# copy on their own RUNPATH.
#   deb_package.sh BUILD-DIR
set -eu
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; exit 1; }
deb=$(find "$scratch/out" -maxdepth 1 -name 'tavrix_*.deb')
[ -n "$deb" ] || { echo "no tavrix_*.deb made"; cat "$scratch/cpack.log"; exit 1; }

[ "$(dpkg-deb -f "$deb" Package)" = tavrix ] || fail "the package is not called tavrix"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] ||
    fail "the package is for $(dpkg-deb -f "$deb" Architecture)"
depends=$(dpkg-deb -f "$deb" Depends)
# What the programs link (found by dpkg-shlibdeps) and what they load.
for d in libqt6widgets6 libqt6dbus6 libdbus-1-3 libhdf4 libhdf5 libnetcdf libegl1 libc6 libgl1-mesa-dri; do
    echo "$depends" | grep -q "$d" || fail "Depends lacks $d: $depends"
done
# Our own libraries come with the package: it depends on nothing of ours.
if echo "$depends" | grep -qE 'libagl|libplotrane2d|libtavrixclient|tavrix'; then
    fail "the package depends on its own libraries: $depends"
fi

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\./#/#' >"$scratch/files"
if grep -v -e '^/usr/' -e '^/$' "$scratch/files"; then fail "files outside /usr"; fi
for f in /usr/bin/tavrix /usr/bin/tavrix-hdf /usr/bin/tavrix-netcdf /usr/bin/agltool /usr/bin/tavrixctl \
    /usr/share/applications/tavrix.desktop /usr/share/icons/hicolor/scalable/apps/tavrix.svg \
    /usr/share/mime/packages/tavrix.xml /usr/share/man/man1/tavrix.1.gz \
    /usr/share/man/man1/agltool.1.gz /usr/share/man/man1/tavrixctl.1.gz \
    /usr/lib/python3/dist-packages/tavrix.py; do
    grep -qx "$f" "$scratch/files" || fail "not in the package: $f"
done
for lib in libagl.so.1 libplotrane2d.so.1 libtavrixclient.so.1 agl.pc agl.h agl.mod; do
    grep -q "/$lib\$" "$scratch/files" || fail "not in the package: $lib"
done
# The system's caches are the system's: the package brings none of its own.
if grep -E '^/usr/share/mime/(mime\.cache|globs2|magic)$|mimeinfo\.cache|icon-theme\.cache' \
    "$scratch/files"; then
    fail "the package holds a cache file"
fi

# The library folder dpkg-deb put in place, and the programs running from it.
mkdir "$scratch/root"
dpkg-deb -x "$deb" "$scratch/root"
for p in tavrix agltool tavrixctl; do
    env -u LD_LIBRARY_PATH "$scratch/root/usr/bin/$p" --help >/dev/null 2>"$scratch/err" ||
        fail "packaged $p --help failed: $(cat "$scratch/err")"
done

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "Debian package $(basename "$deb"): name, dependencies, files and programs pass"
