#!/usr/bin/env bash
# The driver started from the host, as a person does after `eval "$(./zb env)"`:
# `wine "$ZB_BIN/zbdrive.exe" ...` from a host folder. It must find zerbin's
# window on the device, write screenshots to host paths (absolute, and
# relative to the host's working folder), and answer with its exit codes.
set -uo pipefail
ZB_TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ZB_TOP/device/device.sh"
: "${ZB_BIN:?ZB_BIN must name the bin folder of the Windows build}"
dev=${ZB_TEST_DEVICE:-test}
ZB_QUIET=1 dev_ensure "$dev"
dev_wine_env "$dev"

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
drive() { wine "$ZB_BIN/zbdrive.exe" "$@"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zb-host-drive.XXXXXX")
cleanup() {
  drive close --timeout 2000 >/dev/null 2>&1
  drive wait-gone --timeout 10000 >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1

# IHDR of a 240x320 PNG: signature, length 13, "IHDR", width, height.
expect_png() {
  local file=$1 head
  [ -s "$file" ] || { fail "no screenshot $file"; return; }
  head=$(od -An -tx1 -N24 "$file" | tr -d ' \n')
  [ "$head" = "89504e470d0a1a0a0000000d49484452000000f000000140" ] || fail "$file is not a 240x320 PNG: $head"
}

drive close --timeout 500 >/dev/null 2>&1
drive wait-gone --timeout 10000 >/dev/null 2>&1
# Through a file, not a pipe: the started program keeps the output open.
(cd "$(dev_root "$dev")" && wine 'C:\windows\zbstart.exe' 'C:\Program Files\zerbin\zerbin.exe' >"$work/pid")
pid=$(tr -d '\r\n' <"$work/pid")
[[ $pid =~ ^[0-9]+$ ]] || fail "zbstart printed no process id: '$pid'"

out=$(drive wait-window --timeout 30000) || fail "wait-window: exit $?"
window_line="^0x[0-9A-F]+"$'\t'"$pid\$"
[[ $out =~ $window_line ]] || fail "wait-window printed '$out', expected the window and process $pid"
rect=$(drive rect) || fail "rect: exit $?"
work_area=$(drive work-area) || fail "work-area: exit $?"
[ "$rect" = "$work_area" ] || fail "the window ($rect) does not fill the work area ($work_area)"
[ "$(drive screen)" = "240 320" ] || fail "the screen is not 240x320"

drive screenshot "$work/absolute.png" || fail "screenshot to an absolute host path: exit $?"
expect_png "$work/absolute.png"
drive screenshot relative.png || fail "screenshot to a relative host path: exit $?"
expect_png "$work/relative.png"
[ ! -e "$(dev_root "$dev")/relative.png" ] || fail "the relative screenshot landed in the device"
drive screenshot "$work/missing/x.png" 2>/dev/null
[ $? -eq 3 ] || fail "a screenshot into a missing folder must fail with 3"

[[ $(drive pixel 120 160) =~ ^[0-9]+\ [0-9]+\ [0-9]+$ ]] || fail "pixel printed no colour"
drive frobnicate 2>/dev/null
[ $? -eq 2 ] || fail "an unknown command must end with 2"
drive text 4242 --timeout 200 2>/dev/null
[ $? -eq 1 ] || fail "a missing control must end with 1"

drive close || fail "close: exit $?"
drive wait-gone --timeout 30000 || fail "zerbin did not end on close"
code=$(drive wait-exit "$pid" --timeout 10000 2>/dev/null)
[ "${code:-0}" = 0 ] || fail "zerbin ended with exit code $code"

[ $failures -eq 0 ] && echo "host driver: all checks passed"
exit $((failures > 0))
