#!/bin/sh
# Runs a test on an X server of its own: no other test's window takes its
# keyboard focus, covers it or owns its clipboard, so tests that show windows
# run side by side instead of taking turns on one display.
#   with_x_server.sh PROGRAM [ARG...]
# Listing a gtest executable's tests needs no display; without Xvfb the
# program runs as it is (its widgets draw off-screen and the tests that need
# real focus skip).
case " $* " in
*" --gtest_list_tests "*) exec "$@" ;;
esac
command -v Xvfb >/dev/null 2>&1 || exec "$@"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tavrix-x-XXXXXX") || exit 1
mkfifo "$scratch/display"
# -displayfd: the server picks a free display itself and writes its number
# once it accepts connections, so there is no race for a number and no
# polling for the socket.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb=$!
cleanup() {
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP
display=""
read -r display <"$scratch/display"
if [ -z "$display" ]; then
    echo "with_x_server: Xvfb did not start:" >&2
    cat "$scratch/xvfb.log" >&2
    exit 1
fi
DISPLAY=":$display"
export DISPLAY
unset WAYLAND_DISPLAY
"$@"
status=$?
exit $status
