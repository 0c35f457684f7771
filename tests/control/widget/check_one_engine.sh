#!/bin/sh
# Fails when a program that loads libplotrane2d.so also holds the control's
# engine itself. The library keeps its own copy of the engine, model and
# widget inside; a program that links the static libraries too runs with two
# copies of every engine global (caches, counters, the render thread's
# state), one used by its own code and one by the control, and they drift
# apart. Programs link one or the other: hosts the shared library, the
# control's own tests and benchmarks the static ones.
#   check_one_engine.sh BIN_DIR ARCHIVE...
# BIN_DIR: where the build puts its programs; ARCHIVE: the engine's static
# libraries, whose strong definitions (code and data) must not appear in a
# program that needs libplotrane2d.so.
bindir="$1"
shift
scratch=$(mktemp -d) || exit 1
trap 'rm -rf "$scratch"' EXIT

# Strong definitions only: inline functions and templates (weak) are
# emitted by everyone who uses them and say nothing about who holds what.
strong() {
    nm --defined-only "$@" 2>/dev/null | awk 'NF == 3 && $2 ~ /^[TDBR]$/ { print $3 }' | sort -u
}

strong "$@" >"$scratch/engine"
if [ ! -s "$scratch/engine" ]; then
    echo "check_one_engine: no definitions in $*"
    exit 1
fi

checked=0
status=0
for exe in "$bindir"/*; do
    [ -f "$exe" ] && [ -x "$exe" ] || continue
    readelf -d "$exe" 2>/dev/null | grep -q 'NEEDED.*\[libplotrane2d\.so' || continue
    checked=$((checked + 1))
    strong "$exe" >"$scratch/exe"
    comm -12 "$scratch/engine" "$scratch/exe" >"$scratch/twice"
    if [ -s "$scratch/twice" ]; then
        echo "check_one_engine: $exe loads libplotrane2d.so and holds" \
            "$(wc -l <"$scratch/twice") of the engine's definitions itself, e.g.:"
        head -n 5 "$scratch/twice" | c++filt
        status=1
    fi
done
echo "check_one_engine: $checked programs load libplotrane2d.so"
# The host tests always load it; none found means the scan looked in the
# wrong place.
[ "$checked" -gt 0 ] || status=1
exit $status
