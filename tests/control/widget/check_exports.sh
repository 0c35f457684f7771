#!/bin/sh
# Lists what libplotrane2d.so exports and fails on anything but the host
# interface: the factory, save/load of the property set and the property
# pages, all in namespace plotrane. An engine (agl*), model or widget class
# showing up means the library leaks its insides to hosts.
#   check_exports.sh LIBRARY
lib="$1"
symbols=$(nm -D --defined-only -C "$lib" | awk '{ $1 = ""; $2 = ""; sub(/^  /, ""); print }') || exit 1
echo "$symbols"
count=$(printf '%s\n' "$symbols" | grep -c .)
echo "check_exports: $count exported symbols"
leaks=$(printf '%s\n' "$symbols" | grep -Ev '^plotrane::(createControl|saveProperties|loadProperties|showPropertyPages)\(')
if [ -n "$leaks" ]; then
    echo "check_exports: exported beyond the host interface:"
    printf '%s\n' "$leaks"
    exit 1
fi
for name in createControl saveProperties loadProperties showPropertyPages; do
    printf '%s\n' "$symbols" | grep -q "^plotrane::$name(" || { echo "check_exports: $name missing"; exit 1; }
done
