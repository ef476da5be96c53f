#!/usr/bin/env bash
# ./zb demo: prepares the Pocket PC device with the sample database and sample
# files (test "infected" files among them, on the device and on its storage
# card), boots it and shows zerbin at work on it.
#
# With a display (DISPLAY set) the device's screen opens as a window on it and
# zerbin stays for the person to use until it is closed. Without one the
# device runs on its own Xvfb; the demo drives zerbin through the automation
# driver (settings, a whole scan, the deletion of one infected file, the
# report; in English, then in French), saves a screenshot of each screen under
# $ZB_BUILD_DIR/demo, prints the report and where the screenshots are, and
# ends zerbin again.
set -euo pipefail
: "${ZB_TOP:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"

# ./zb demo EDITION: another edition's demo is a script of its own.
if [ $# -gt 0 ] && [ "$1" != ppc ]; then
  [ -x "$ZB_TOP/tools/demo/demo-$1.sh" ] || { echo "zb: no demo for the edition '$1'" >&2; exit 1; }
  edition=$1
  shift
  exec "$ZB_TOP/tools/demo/demo-$edition.sh" "$@"
fi
[ $# -gt 0 ] && shift
: "${ZB_BUILD_DIR:=$ZB_TOP/build}"
: "${ZB_BIN:=$ZB_BUILD_DIR/win/bin}"
: "${ZB_NATIVE_BIN:=$ZB_BUILD_DIR/native/bin}"
export ZB_TOP ZB_BUILD_DIR ZB_BIN ZB_NATIVE_BIN
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
drive() { dev_wine "$DEV" 'C:\windows\zbdrive.exe' "$@" | tr -d '\r'; }

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

# The device's sample files: test "infected" files made from the sample
# signatures at set-up time (never kept in the source tree), beside ordinary
# files, on the device and on its storage card.
prepare_samples() {
  local root work
  root=$(dev_root "$DEV")
  work=$(mktemp -d)
  "$ZB_NATIVE_BIN/zbvps" samples "$ZB_TOP/tools/vps/sample-signatures.txt" "$work" >/dev/null ||
    dev_die "could not make the sample files"
  rm -rf "$root/My Documents/Samples" "$root/Storage Card/Games" "$root/Storage Card/Photos"
  mkdir -p "$root/My Documents/Samples" "$root/My Documents/Notes" "$root/Storage Card/Games" "$root/Storage Card/Photos"
  cp "$work/001-EICAR-Test-File.bin" "$root/My Documents/eicar.com"
  cp "$work/003-Zerbin.Test.TwoParts.bin" "$root/My Documents/Samples/invoice.exe"
  cp "$work/005-Zerbin.Test.Plain.bin" "$root/My Documents/Samples/setup (1).exe"
  cp "$work/004-Zerbin.Test.Backwards.bin" "$root/Storage Card/Games/solitaire.exe"
  cp "$work/002-Zerbin.Test.Anchored.bin" "$root/Storage Card/autorun.bin"
  printf 'Shopping: milk, bread, batteries for the handheld.\r\n' >"$root/My Documents/Notes/readme.txt"
  head -c 3000 /dev/urandom >"$root/Storage Card/Photos/holiday.jpg"
  rm -rf "$work"
  # A demo starts from the program's defaults and without an old report.
  dev_wine "$DEV" reg delete 'HKCU\Software\Morvane Software' /f >/dev/null 2>&1 || true
  rm -f "$(dev_progdir "$DEV")/report.txt"
}

# The index of the first list item whose text starts with NAME.
item_index() {
  drive list-items 116 | awk -F'\t' -v name="$1" 'index($1, name) == 1 { print NR - 1; exit }'
}

# One round through zerbin's screens in the language of the settings row
# ROW (1 English, 2 French), with screenshots suffixed SUFFIX.
tour() {
  local row=$1 suffix=$2 finished=$3 index
  drive press 8103 >/dev/null
  drive wait-enabled 8401 >/dev/null
  if [ "$(drive selection 8401 || true)" != "$row" ]; then
    drive select 8401 "$row" >/dev/null
    sleep 0.5
  fi
  [ "$(drive checked 8404 || true)" = 1 ] || drive press 8404 >/dev/null
  shot "settings-$suffix"
  drive press 8403 >/dev/null
  drive wait-enabled 8102 >/dev/null
  shot "main-$suffix"

  drive press 8102 >/dev/null
  drive wait-text 8211 "$finished" --timeout 180000 >/dev/null || dev_die "the scan did not finish"
  shot "scan-$suffix"
  # Delete one infected file through the list, as a person would.
  index=$(item_index 'setup (1).exe')
  if [ -n "$index" ]; then
    drive list-click 116 "$index" >/dev/null
    drive wait-enabled 8206 >/dev/null
    drive press 8206 >/dev/null
    sleep 0.5
    dev_log "deleted \My Documents\Samples\setup (1).exe through the list"
  fi
  drive press 8207 >/dev/null
  drive msgbox-press yes >/dev/null 2>&1 || true
  drive wait-enabled 8318 >/dev/null
  shot "report-$suffix"
}

print_report() {
  local report
  report="$(dev_progdir "$DEV")/report.txt"
  echo "zb: the report the scan wrote (\Program Files\zerbin\report.txt):"
  iconv -f CP1252 -t UTF-8 "$report" | tr -d '\r' | sed 's/^/    /'
}

# The main job: settings, a whole scan, a deletion and the report, once in
# English and once in French.
main_job() {
  if ! drive wait-window --timeout 30000 >/dev/null; then
    explain_missing_window
    dev_die "zerbin's main window did not appear"
  fi
  shot main
  tour 1 en Finished
  print_report
  drive press 8318 >/dev/null
  drive wait-enabled 8102 >/dev/null
  prepare_samples_again
  tour 2 fr "Analyse terminée"
  drive press 8318 >/dev/null
  drive wait-enabled 8102 >/dev/null
}

# The file deleted in the first round comes back for the second.
prepare_samples_again() {
  local root work
  root=$(dev_root "$DEV")
  work=$(mktemp -d)
  "$ZB_NATIVE_BIN/zbvps" samples "$ZB_TOP/tools/vps/sample-signatures.txt" "$work" >/dev/null
  cp "$work/005-Zerbin.Test.Plain.bin" "$root/My Documents/Samples/setup (1).exe"
  rm -rf "$work"
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
prepare_samples
dev_log "booting the Pocket PC device"
dev_wine "$DEV" 'C:\windows\ceboot.exe'
if [ -n "$HEADLESS" ]; then
  run_headless
else
  run_with_display
fi
