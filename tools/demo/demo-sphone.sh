#!/usr/bin/env bash
# ./zb demo sphone: zerbin's Smartphone edition at work on the Smartphone
# device (176x220, no touch screen), driven only by its two soft keys and the
# navigation keys, as a person holding the phone would: the settings (English,
# storage card on) with the spinners and Up/Down, a whole scan, the infected
# files (one deleted, the others skipped) and the report.
#
# With a display (DISPLAY set) the device's screen opens as a window and zerbin
# stays for the person to use (F1 and F2 are the soft keys) until it is closed.
# Without one the device runs on its own Xvfb; the demo saves a screenshot of
# each screen under $ZB_BUILD_DIR/demo/sphone, prints the report and ends
# zerbin again. DEV=sphone-land runs it on the landscape Smartphone (220x176).
set -euo pipefail
DEV=${DEV:-sphone}
# shellcheck source=tools/demo/demo-common.sh
source "$(dirname "${BASH_SOURCE[0]}")/demo-common.sh"

ZERBIN='C:\Program Files\zerbin\zerbin.exe'
SHOTS="$ZB_BUILD_DIR/demo/$DEV"

# Presses keys one at a time, as a thumb would.
press() {
  local key
  for key in "$@"; do
    drive keys "$key" >/dev/null
    sleep 0.3
  done
}

# Waits until the soft keys read LEFT and RIGHT (the screen is up).
wait_keys() {
  local want="$1|$2" got
  for _ in $(seq 1 600); do
    got=$(drive softkeys 2>/dev/null | awk -F'\t' '{ printf "%s%s", (NR > 1 ? "|" : ""), $3 }')
    [ "$got" = "$want" ] && return 0
    sleep 0.3
  done
  dev_die "the soft keys never read \"$1\" and \"$2\" (they read \"$got\")"
}

prepare_samples() {
  local root work
  root=$(dev_root "$DEV")
  work=$(sample_dir) || exit 1
  rm -rf "$root/My Documents/Samples" "$root/Storage Card/Games"
  mkdir -p "$root/My Documents/Samples" "$root/My Documents/Notes" "$root/Storage Card/Games"
  cp "$work/001-EICAR-Test-File.bin" "$root/My Documents/eicar.com"
  cp "$work/005-Zerbin.Test.Plain.bin" "$root/My Documents/Samples/setup (1).exe"
  cp "$work/004-Zerbin.Test.Backwards.bin" "$root/Storage Card/Games/solitaire.exe"
  printf 'Shopping: milk, bread, batteries for the phone.\r\n' >"$root/My Documents/Notes/readme.txt"
  sample_archives "$work" "$root"
  rm -rf "$work"
  reset_settings_and_report
}

main_job() {
  local index focused
  drive wait-window --timeout 30000 >/dev/null || dev_die "zerbin's main window did not appear"
  wait_keys Scan Settings
  shot main

  # Settings: the right soft key; the language spinner has the focus.
  press soft2
  wait_keys "Update now" Done
  # Left and Right turn the spinner: to French and back to English.
  press right
  wait_keys "Mettre à jour" "Terminé"
  shot settings-fr
  press left
  wait_keys "Update now" Done
  # Once more to Czech, the longest captions, and back.
  press left
  wait_keys "Aktualizovat" "Hotovo"
  shot settings-cs
  press right
  wait_keys "Update now" Done
  # Down twice: the report level, then the storage card, which Space ticks.
  press down down space
  [ "$(drive checked 8404 || true)" = 1 ] || dev_die "the storage card box did not get ticked"
  shot settings
  press soft2
  wait_keys Scan Settings

  # A whole scan: the left soft key.
  # The scan takes a few seconds: its screen is caught while it runs.
  drive keys soft1 >/dev/null
  sleep 0.7
  drive screenshot "$SHOTS/scan.png" && echo "zb: screenshot: $SHOTS/scan.png"
  for _ in $(seq 1 600); do
    [ "$(drive visible 10009 2>/dev/null || true)" = 1 ] && break
    sleep 0.3
  done
  wait_keys Delete Skip
  shot infected

  # Down to "setup (1).exe" and Delete with the left soft key.
  index=$(item_index 10009 'setup (1).exe')
  if [ -n "$index" ]; then
    focused=$(drive list-focused 10009 || true)
    while [ "$focused" -lt "$index" ]; do press down; focused=$(drive list-focused 10009 || true); done
    while [ "$focused" -gt "$index" ]; do press up; focused=$(drive list-focused 10009 || true); done
    press soft1
    sleep 0.5
    dev_log "deleted \\My Documents\\Samples\\setup (1).exe with the left soft key"
  fi
  # Skip the others: the right soft key shows the report.
  press soft2
  wait_keys Back ""
  shot report
  echo "zb: the report the scan wrote (\\Program Files\\zerbin\\report.txt):"
  iconv -f CP1252 -t UTF-8 "$(dev_progdir "$DEV")/report.txt" | tr -d '\r' | sed 's/^/    /'
  press soft1
  wait_keys Scan Settings
}

run_with_display() {
  dev_log "starting zerbin on the Smartphone device (display $DISPLAY); F1 and F2 are the soft keys; close it to end the demo"
  dev_wine "$DEV" 'C:\windows\zbstart.exe' --wait "$ZERBIN"
}

run_headless() {
  local pid
  mkdir -p "$SHOTS"
  rm -f "$SHOTS"/*.png
  dev_log "no display: the device runs on Xvfb $(dev_display "$DEV"); screenshots go to $SHOTS"
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

if [ -n "$HEADLESS" ] && [ -z "$HAD_XVFB" ]; then
  trap 'dev_kill "$DEV"; dev_display_stop "$DEV"' EXIT
fi
dev_ensure "$DEV"
prepare_samples
dev_log "booting the Smartphone device ($DEV)"
dev_wine "$DEV" 'C:\windows\ceboot.exe'
if [ -n "$HEADLESS" ]; then
  run_headless
else
  run_with_display
fi
