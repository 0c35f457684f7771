#!/bin/sh
# Sets everything up, then runs all tests: the normal build's full suite (GUI
# and GL tests under a private X server, bus tests under a private session
# bus), and the bad-input and thread tests again under the sanitizers.
set -eu
cd "$(dirname "$0")/.."
tools/setup.sh dev
SETUP_TARGETS=sanitized_tests tools/setup.sh asan

# Tests never see the user's settings or runtime folder.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

jobs=$(nproc)
xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- \
    ctest --test-dir build/dev --output-on-failure -j "$jobs" --timeout 600 --no-tests=error
ctest --test-dir build/asan --output-on-failure -j "$jobs" --timeout 600 --no-tests=error -L sanitized
echo "test: all tests passed"
