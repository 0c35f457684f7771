#!/bin/sh
# Sets everything up, then runs all tests:
#   1. a fast gate (seconds on a built tree): format, layers, and the tests
#      that need no display and no GL; a failure here stops the run at once;
#   2. every test, under AddressSanitizer/UBSan (tests that show windows each
#      on an X server of their own, bus tests on a private session bus); the
#      build treats warnings as errors;
#   3. the thread tests again under ThreadSanitizer.
# One build runs every test: a separate unsanitized build would compile the
# same code a third time for no test that the sanitizers cannot run.
# The suites all run even when one fails; the script then lists every
# failing test and exits non-zero. No test is retried: a test that fails once
# is a bug to fix.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
tools/setup.sh asan
. tools/sanitizer_env.sh

# Tests never see the user's settings or runtime folder (each test
# executable also makes private ones of its own).
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# Each test that needs a display starts its own; nothing else may use one.
unset DISPLAY WAYLAND_DISPLAY

# Tests that wait (for a window, a frame, a timer's tick, a child process)
# run two to a core. The thread tests keep to one per core: they are busy,
# and a viewer started under a sanitizer on an overloaded machine may not
# reach its finest level within its own time limit.
jobs=$(nproc)
waitjobs=$(($(nproc) * 2))
# suite NAME BUILD JOBS [CTEST ARGS...]: runs one suite on a private session
# bus; its failing tests go to $scratch/failed.
suite() {
    name=$1 build=$2 parallel=$3
    shift 3
    echo "test: $name suite"
    # The pipeline's status is tee's: the log below tells what failed.
    dbus-run-session -- ctest --test-dir "build/$build" --output-on-failure -j "$parallel" \
        --timeout 300 --no-tests=error "$@" 2>&1 | tee "$scratch/$name.log"
    # ctest's closing list: "<tab>205 - Suite.Name (Failed)".
    sed -n "/The following tests FAILED:/,\$s/^[[:space:]]*[0-9]* - \(.*\)$/  $name: \1/p" \
        "$scratch/$name.log" >>"$scratch/failed"
    grep -q "tests passed" "$scratch/$name.log" || echo "  $name: the suite did not run" >>"$scratch/failed"
}

echo "test: fast gate"
tools/check_format.sh
python3 tools/check_layers.py
if ! ctest --test-dir build/asan --output-on-failure -j "$waitjobs" --timeout 120 --no-tests=error \
    -L unit -LE 'gui|render|threads|install'; then
    echo "test: the fast gate failed; nothing else was run" >&2
    exit 1
fi

suite asan asan "$waitjobs" -LE threads
suite asan-threads asan "$jobs" -L threads
SETUP_TARGETS=thread_tests tools/setup.sh tsan
suite tsan tsan "$jobs" -L threads
# ThreadSanitizer's runtime now and then crashes on a busy machine while the
# GL driver makes its threads (a SEGV in its CreateThreadContext, under
# eglInitialize). When the suite's only failures are crashes (a SEGV, and no
# report or failed check of its own), the failed tests run once more, and
# those that fail again are listed.
if grep -q "ThreadSanitizer:DEADLYSIGNAL" "$scratch/tsan.log" &&
    ! grep -q "WARNING: ThreadSanitizer\|\[  FAILED  \]" "$scratch/tsan.log"; then
    echo "test: tsan: a test crashed inside the sanitizer's runtime; the failed tests run again"
    sed -i '/^  tsan: /d' "$scratch/failed"
    dbus-run-session -- ctest --test-dir build/tsan --output-on-failure --rerun-failed \
        --timeout 300 2>&1 | tee "$scratch/tsan-again.log"
    sed -n "/The following tests FAILED:/,\$s/^[[:space:]]*[0-9]* - \(.*\)$/  tsan: \1/p" \
        "$scratch/tsan-again.log" >>"$scratch/failed"
    grep -q "tests passed" "$scratch/tsan-again.log" ||
        echo "  tsan: the second run did not run" >>"$scratch/failed"
fi

if [ -s "$scratch/failed" ]; then
    echo "test: FAILED:" >&2
    cat "$scratch/failed" >&2
    exit 1
fi
echo "test: all tests passed"
