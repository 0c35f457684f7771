#!/bin/sh
# tavrixctl against a real viewer on a private session bus:
#   tavrixctl_test.sh TAVRIXCTL LIBDIR   (run under dbus-run-session)
# A handle is made, a text array shown, members set, read and called by
# name (a value of 20000 characters comes back whole), a bad value gives
# exit status 2 with the member, code and message, and release lets the
# viewer go.
set -u
ctl=$1
export LD_LIBRARY_PATH="$2${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; [ -n "${h:-}" ] && "$ctl" "$h" release >/dev/null 2>&1; exit 1; }

printf '1 2 3 4\n5 6 7 8\n9 10 11 12\n' >"$scratch/grid.txt"

h=$("$ctl" new) || fail "new"
case $h in h[0-9]*) ;; *) fail "handle '$h'" ;; esac
"$ctl" "$h" show "$scratch/grid.txt" || fail "show"
# A text file becomes a new segment of the viewer's: its name reads back.
[ -n "$("$ctl" "$h" get FileName)" ] || fail "FileName reads back"
[ "$("$ctl" "$h" get ErrorNo)" = 0 ] || fail "ErrorNo after show"
"$ctl" "$h" set Precision=9 ArrayName=grid || fail "set"
[ "$("$ctl" "$h" get Precision)" = 9 ] || fail "Precision reads back"
[ "$("$ctl" "$h" get ArrayName)" = grid ] || fail "ArrayName reads back"
# A value longer than any line buffer comes back whole (it was once cut at
# 8191 characters with status 0).
long=$(awk 'BEGIN { for (i = 0; i < 2000; ++i) printf "%09d ", i; printf "end" }')
"$ctl" "$h" set "Annotation=$long" || fail "set a 20003-character Annotation"
got=$("$ctl" "$h" get Annotation) || fail "get the long Annotation"
[ "$got" = "$long" ] || fail "the long Annotation reads back as ${#got} characters"
"$ctl" "$h" call SetRoi2D 1 1 2 2 || fail "SetRoi2D"
[ "$("$ctl" "$h" call GetRoi2D)" = "1 1 2 2" ] || fail "GetRoi2D: $("$ctl" "$h" call GetRoi2D)"
[ "$("$ctl" "$h" members | wc -l)" -eq 110 ] || fail "110 members"

# A refused value: status 2, and the member, code and message on stderr.
"$ctl" "$h" set GraphType=7 2>"$scratch/err"
[ $? -eq 2 ] || fail "GraphType=7 status"
grep -q "PutGraphType: code 0x80070057: .*outside 1..4" "$scratch/err" || fail "message: $(cat "$scratch/err")"
"$ctl" "$h" call GetRoiLb 30000 2>/dev/null
[ $? -eq 2 ] || fail "GetRoiLb 30000 status"
"$ctl" "$h" call NoSuchMember 2>/dev/null
[ $? -eq 2 ] || fail "unknown member status"
"$ctl" "$h" show "$scratch/missing.agl" 2>/dev/null
[ $? -eq 2 ] || fail "showing a missing file"

# A connection that never sends its command holds the holder up for a few
# seconds at most: the next command is still answered.
if [ -n "${XDG_RUNTIME_DIR:-}" ]; then folder=$XDG_RUNTIME_DIR/tavrixctl; else folder=/tmp/tavrixctl-$(id -u); fi
python3 -c '
import socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
open(sys.argv[2], "w").write("connected")
s.recv(1)  # silent until the holder drops the connection
' "$folder/$h" "$scratch/connected" &
silent=$!
until [ -s "$scratch/connected" ]; do
    kill -0 "$silent" 2>/dev/null || fail "the silent client could not connect"
    sleep 0.05
done
got=$(timeout 40 "$ctl" "$h" get Precision) || fail "a silent connection held the holder up"
kill "$silent" 2>/dev/null
[ "$got" = 9 ] || fail "Precision after the silent connection: $got"

"$ctl" "$h" release || fail "release"
"$ctl" "$h" get FileName 2>/dev/null
[ $? -eq 1 ] || fail "a released handle still answers"
"$ctl" h1x get FileName 2>/dev/null
[ $? -eq 1 ] || fail "a malformed handle"
echo "tavrixctl: all checks pass"
