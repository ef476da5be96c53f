#!/usr/bin/env bash
# ./zb demo: boots the Pocket PC device and shows zerbin at work on it.
#
# With a display (DISPLAY set) the device's screen opens as a window on it and
# zerbin stays for the person to use until it is closed. Without one the
# device runs on its own Xvfb; the demo drives zerbin through the automation
# driver, saves screenshots (PNG) of each step under $ZB_BUILD_DIR/demo,
# prints where they are, and ends zerbin again.
set -euo pipefail
: "${ZB_TOP:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
: "${ZB_BUILD_DIR:=$ZB_TOP/build}"
: "${ZB_BIN:=$ZB_BUILD_DIR/win/bin}"
export ZB_TOP ZB_BUILD_DIR ZB_BIN
# shellcheck source=device/device.sh
source "$ZB_TOP/device/device.sh"

DEV=ppc
ZERBIN='C:\Program Files\zerbin\zerbin.exe'
SHOTS="$ZB_BUILD_DIR/demo"

# Decided before anything starts the device's own display.
HEADLESS=
{ [ -z "${DISPLAY:-}" ] || [ -n "${ZB_HEADLESS:-}" ]; } && HEADLESS=1
HAD_XVFB=
if [ -f "$ZB_DEVICE_DIR/xvfb" ] && read -r _ xvfb_pid <"$ZB_DEVICE_DIR/xvfb" && kill -0 "$xvfb_pid" 2>/dev/null; then
  HAD_XVFB=1
fi

# The automation driver on the device; host paths (starting with /) are
# written on the host.
drive() { dev_wine "$DEV" 'C:\windows\zbdrive.exe' "$@"; }

# Saves the device screen as $SHOTS/NAME.png, once the program has finished
# painting it, and says where it is.
shot() {
  local file="$SHOTS/$1.png"
  drive wait-still --timeout 5000 >/dev/null 2>&1 || true
  drive screenshot "$file" || dev_die "could not save the screenshot $file"
  echo "zb: screenshot: $file"
}

# Why zerbin shows no window: most likely a message box at start-up.
explain_missing_window() {
  local box
  if box=$(drive msgbox --process zerbin.exe --timeout 0 2>/dev/null); then
    dev_log "zerbin shows a message box instead of its window:"
    printf '%s\n' "$box" | sed 's/^/    /' >&2
    shot startup-message || true
  fi
}

# The main job, as far as zerbin does it today: its main screen.
main_job() {
  if ! drive wait-window --timeout 30000 >/dev/null; then
    explain_missing_window
    dev_die "zerbin's main window did not appear"
  fi
  shot main
}

run_with_display() {
  dev_log "starting zerbin on the Pocket PC device (display $DISPLAY); close it to end the demo"
  dev_wine "$DEV" 'C:\windows\zbstart.exe' --wait "$ZERBIN"
}

run_headless() {
  local pid
  mkdir -p "$SHOTS"
  rm -f "$SHOTS"/*.png
  dev_log "no display: the device runs on Xvfb $(dev_display); screenshots go to $SHOTS"
  # Through a file, not a pipe: zerbin would keep a pipe open as long as it runs.
  (dev_wine_env "$DEV"; cd "$(dev_root "$DEV")" && wine 'C:\windows\zbstart.exe' "$ZERBIN" >"$SHOTS/.zerbin.pid" 8>&- 9>&-)
  pid=$(tr -d '\r\n' <"$SHOTS/.zerbin.pid")
  rm -f "$SHOTS/.zerbin.pid"

  main_job

  drive close >/dev/null
  if ! drive wait-gone --timeout 15000; then
    dev_log "zerbin did not close; ending it"
    drive end "$pid" || true
  fi
}

# A display started for the demo goes again, with the device's programs.
if [ -n "$HEADLESS" ] && [ -z "$HAD_XVFB" ]; then
  trap 'dev_kill "$DEV"; dev_display_stop' EXIT
fi
dev_ensure "$DEV"
dev_log "booting the Pocket PC device"
dev_wine "$DEV" 'C:\windows\ceboot.exe'
if [ -n "$HEADLESS" ]; then
  run_headless
else
  run_with_display
fi
