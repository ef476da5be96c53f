#!/usr/bin/env bash
# ./zb demo wm5|hpc|ppc-land: the main job on the Windows Mobile 5 or
# Handheld PC device, or on a Pocket PC with its screen turned (320x240). Prepares the edition's device with the sample database and sample
# files (test "infected" files among them), boots it and drives zerbin
# through the automation driver: the settings (storage card on, report level
# "Infected files + errors"), a whole scan, the deletion of one infected file
# through the list, and the report. Leaves a screenshot of each screen in
# $ZB_BUILD_DIR/demo/EDITION/ and ends zerbin again (the Handheld PC with its
# Exit button). With a display (DISPLAY set) the device's screen shows on it
# while the demo runs.
set -euo pipefail
DEV=${1:-}
# shellcheck source=tools/demo/demo-common.sh
source "$(dirname "${BASH_SOURCE[0]}")/demo-common.sh"

case "$DEV" in
  wm5) NAME="Pocket PC on Windows Mobile 5" ;;
  hpc) NAME="Handheld PC" ;;
  ppc-land) NAME="Pocket PC held sideways" ;;
  *) dev_die "usage: demo-edition.sh wm5|hpc|ppc-land" ;;
esac
ZERBIN='C:\Program Files\zerbin\zerbin.exe'
SHOTS="$ZB_BUILD_DIR/demo/$DEV"

# Sample files beside ordinary ones, on the device and on its storage card;
# the infected ones are made from the sample signatures now, never kept.
prepare_samples() {
  local root work
  root=$(dev_root "$DEV")
  work=$(sample_dir) || exit 1
  rm -rf "$root/My Documents/Samples" "$root/Storage Card/Games"
  mkdir -p "$root/My Documents/Samples" "$root/My Documents/Notes" "$root/Storage Card/Games"
  cp "$work/001-EICAR-Test-File.bin" "$root/My Documents/eicar.com"
  cp "$work/003-Zerbin.Test.TwoParts.bin" "$root/My Documents/Samples/invoice.exe"
  cp "$work/005-Zerbin.Test.Plain.bin" "$root/My Documents/Samples/setup (1).exe"
  cp "$work/004-Zerbin.Test.Backwards.bin" "$root/Storage Card/Games/solitaire.exe"
  printf 'Shopping: milk, bread, batteries for the handheld.\r\n' >"$root/My Documents/Notes/readme.txt"
  sample_archives "$work" "$root"
  rm -rf "$work"
  reset_settings_and_report
}

main_job() {
  drive wait-window --timeout 30000 >/dev/null || dev_die "zerbin's main window did not appear"
  shot main
  drive press 8103 >/dev/null
  drive wait-enabled 8401 >/dev/null
  [ "$(drive checked 8404 || true)" = 1 ] || drive press 8404 >/dev/null
  # The report level: a list box beside the languages on the Handheld PC,
  # a drop-down list below them on the Pocket PC screens.
  drive select 8410 2 >/dev/null
  shot settings
  drive press 8403 >/dev/null
  drive wait-enabled 8102 >/dev/null

  drive press 8102 >/dev/null
  drive wait-text 8211 Finished --timeout 180000 >/dev/null || dev_die "the scan did not finish"
  shot scan
  delete_listed_setup
  drive press 8207 >/dev/null
  drive msgbox-press yes >/dev/null 2>&1 || true
  drive wait-enabled 8318 >/dev/null
  shot report
  echo "zb: the report the scan wrote (\Program Files\zerbin\report.txt):"
  iconv -f CP1252 -t UTF-8 "$(dev_progdir "$DEV")/report.txt" | tr -d '\r' | sed 's/^/    /'
  drive press 8318 >/dev/null
  drive wait-enabled 8102 >/dev/null
}

if [ -z "$HAD_XVFB" ] && { [ -z "${DISPLAY:-}" ] || [ -n "${ZB_HEADLESS:-}" ]; }; then
  trap 'dev_kill "$DEV"; dev_display_stop "$DEV"' EXIT
fi
dev_ensure "$DEV"
prepare_samples
dev_log "booting the $NAME device"
dev_wine "$DEV" 'C:\windows\ceboot.exe'
mkdir -p "$SHOTS"
rm -f "$SHOTS"/*.png
dev_log "zerbin on the $NAME device (display $(dev_display "$DEV")); screenshots go to $SHOTS"
(dev_wine_env "$DEV"; cd "$(dev_root "$DEV")" && wine 'C:\windows\zbstart.exe' "$ZERBIN" >"$SHOTS/.zerbin.pid" 8>&- 9>&-)
pid=$(tr -d '\r\n' <"$SHOTS/.zerbin.pid")
rm -f "$SHOTS/.zerbin.pid"

main_job

if [ "$DEV" = hpc ]; then
  drive press 8120 >/dev/null   # Exit
else
  drive close >/dev/null
fi
if ! drive wait-gone --timeout 15000; then
  dev_log "zerbin did not end; ending it"
  drive end "$pid" || true
fi
