#!/bin/sh
# Runs the window and thread tests of a built tree again and again with a
# CPU hog beside them, and prints every test that ever failed: a test that
# waits for a fixed time instead of for its condition shows up here.
#   tools/stress_tests.sh [-n RUNS] [-j JOBS] [BUILD]
# BUILD is a folder under build/ (dev, asan, tsan, release-tests; default
# asan). Builds nothing: run tools/test.sh (or tools/setup.sh PRESET) first.
# Installs stress-ng, the hog, when it is missing. STRESS_LOAD sets how busy
# each hog is, in per cent (default 50).
set -eu
cd "$(dirname "$0")/.."
root=$PWD
runs=10 jobs=$(nproc)
while getopts n:j: option; do
    case $option in
    n) runs=$OPTARG ;;
    j) jobs=$OPTARG ;;
    *) echo "usage: $0 [-n RUNS] [-j JOBS] [BUILD]" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
build=build/${1:-asan}
if [ ! -f "$build/CTestTestfile.cmake" ]; then
    echo "stress_tests: $build is not a built tree with tests" >&2
    exit 2
fi
if ! command -v stress-ng >/dev/null 2>&1; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends stress-ng
fi
. tools/sanitizer_env.sh
scratch=$(mktemp -d)
hog=""
trap '[ -z "$hog" ] || kill "$hog" 2>/dev/null; rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY

# One hog per core, for the whole run, busy half of the time: a machine
# that never idles starves the render threads (they run at the lowest
# priority) so long that every run takes many minutes, and an ordinary
# busy machine is what the tests must stand.
stress-ng --cpu "$(nproc)" --cpu-load "${STRESS_LOAD:-50}" --quiet >/dev/null 2>&1 &
hog=$!

: >"$scratch/failures"
i=1
while [ "$i" -le "$runs" ]; do
    start=$(date +%s)
    dbus-run-session -- ctest --test-dir "$build" -j "$jobs" --timeout 300 -L 'gui|threads' \
        --output-on-failure \
        >"$scratch/run.log" 2>&1 || true
    # ctest's closing list: "<tab>205 - Suite.Name (Failed)".
    sed -n '/The following tests FAILED:/,$s/^[[:space:]]*[0-9]* - \(.*\)$/\1/p' \
        "$scratch/run.log" >"$scratch/this"
    cat "$scratch/this" >>"$scratch/failures"
    count=$(wc -l <"$scratch/this")
    # The whole output of a run with failures is kept for reading.
    [ "$count" -eq 0 ] || cp "$scratch/run.log" "${TMPDIR:-/tmp}/stress_tests_run$i.log"
    total=$(sed -n 's/.*tests passed, [0-9]* tests failed out of \([0-9]*\).*/\1/p' "$scratch/run.log")
    echo "run $i: ${total:-?} tests, $count failed, $(($(date +%s) - start)) s"
    i=$((i + 1))
done
if [ -s "$scratch/failures" ]; then
    echo "stress_tests: tests that failed (times):"
    sort "$scratch/failures" | uniq -c | sort -rn
    exit 1
fi
echo "stress_tests: no test failed in $runs runs of $build"
