#!/bin/sh
# Sets everything up, then runs all tests: the house checks (format, layers),
# the normal build's full suite (GUI and GL tests under a private X server,
# bus tests under a private session bus), the bad-input and thread tests again
# under AddressSanitizer/UBSan, and the thread tests under ThreadSanitizer.
set -eu
cd "$(dirname "$0")/.."
tools/setup.sh dev
SETUP_TARGETS="sanitized_tests thread_tests" tools/setup.sh asan
SETUP_TARGETS=thread_tests tools/setup.sh tsan

tools/check_format.sh
python3 tools/check_layers.py

# Tests never see the user's settings or runtime folder.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

jobs=$(nproc)
# A test that fails is run once more before the run counts as failed: GUI and
# pipeline tests wait on real X servers and threads, and on a loaded 2-core
# machine a wait can run out once. ctest prints every failed attempt, so a
# test that needed its second run still shows in the log.
retry="--repeat until-pass:2"
xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- \
    ctest --test-dir build/dev --output-on-failure -j "$jobs" --timeout 600 --no-tests=error $retry
# The sanitized and thread sets hold GUI and bus tests too: same X server
# and private bus as above.
LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp" \
    xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- \
    ctest --test-dir build/asan --output-on-failure -j "$jobs" --timeout 600 --no-tests=error $retry \
    -L 'sanitized|threads'
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=$PWD/tools/tsan.supp" \
    xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- \
    ctest --test-dir build/tsan --output-on-failure -j "$jobs" --timeout 600 --no-tests=error $retry \
    -L threads
echo "test: all tests passed"
