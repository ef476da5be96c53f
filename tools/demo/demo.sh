#!/usr/bin/env bash
# ./zb demo: prepares the Pocket PC device with the sample database and sample
# files (test "infected" files among them, on the device and on its storage
# card), boots it and shows zerbin at work on it.
#
# Both ways an update is on offer: package 430 with database 1.2, signed with
# a key made for the demo, published and served on this machine and reached
# through the device's network; the device holds the key for the demo's
# length, so it installs only what that key signed. Without a display the
# demo then publishes the database-only package 431 (database 1.3), installs
# it too, and presses Update once more: the device knows it has 431.
#
# With a display (DISPLAY set) the device's screen opens as a window on it and
# zerbin stays for the person to use until it is closed. Without one the
# device runs on its own Xvfb; the demo drives zerbin through the automation
# driver (settings, a whole scan, the deletion of one infected file, the
# report; in English, then in French; then the updates by the Update button),
# saves a screenshot of each screen under $ZB_BUILD_DIR/demo, prints the
# report, the installer's log and where the screenshots are, and ends zerbin
# again.
set -euo pipefail
# ./zb demo EDITION: the other editions have scripts of their own.
case "${1:-ppc}" in
  ppc) ;;
  wm5|hpc|sphone) exec "$(dirname "${BASH_SOURCE[0]}")/demo-$1.sh" ;;
  ppc-land) exec "$(dirname "${BASH_SOURCE[0]}")/demo-edition.sh" ppc-land ;;
  *) echo "zb: unknown edition '$1' (editions: ppc wm5 hpc sphone; ppc-land: the Pocket PC turned)" >&2; exit 2 ;;
esac
DEV=ppc
# shellcheck source=tools/demo/demo-common.sh
source "$(dirname "${BASH_SOURCE[0]}")/demo-common.sh"

ZERBIN='C:\Program Files\zerbin\zerbin.exe'
SHOTS="$ZB_BUILD_DIR/demo"

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
  work=$(sample_dir) || exit 1
  rm -rf "$root/My Documents/Samples" "$root/Storage Card/Games" "$root/Storage Card/Photos"
  mkdir -p "$root/My Documents/Samples" "$root/My Documents/Notes" "$root/Storage Card/Games" "$root/Storage Card/Photos"
  cp "$work/001-EICAR-Test-File.bin" "$root/My Documents/eicar.com"
  cp "$work/003-Zerbin.Test.TwoParts.bin" "$root/My Documents/Samples/invoice.exe"
  cp "$work/005-Zerbin.Test.Plain.bin" "$root/My Documents/Samples/setup (1).exe"
  cp "$work/004-Zerbin.Test.Backwards.bin" "$root/Storage Card/Games/solitaire.exe"
  cp "$work/002-Zerbin.Test.Anchored.bin" "$root/Storage Card/autorun.bin"
  printf 'Shopping: milk, bread, batteries for the handheld.\r\n' >"$root/My Documents/Notes/readme.txt"
  head -c 3000 /dev/urandom >"$root/Storage Card/Photos/holiday.jpg"
  sample_archives "$work" "$root"
  rm -rf "$work"
  reset_settings_and_report
}

# One round through zerbin's screens in the language of the settings row
# ROW (1 English, 2 French), with screenshots suffixed SUFFIX.
tour() {
  local row=$1 suffix=$2 finished=$3
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
  delete_listed_setup
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

# The update: package 430 with database release 1.2 (the sample list and one
# more signature), published for the Pocket PC and signed with a key made for
# the demo, served by ./zb serve, reached through the device's network;
# Update on the settings screen downloads it and its signature, checks the
# signature with the key the device holds, and the installer replaces the
# database and restarts zerbin.
UPDATE_DIR="$ZB_BUILD_DIR/demo-update"
SERVER_PID=
KEY_ON_DEVICE=

# Database release 1.2 (the sample list and Zerbin.Test.Update) into
# $UPDATE_DIR/zerbinpda.vps; with "1.3", release 1.3 (one more signature,
# Zerbin.Test.Daily) into $UPDATE_DIR/zerbinpda-1.3.vps.
update_database() {
  local release=${1:-1.2} list out="$UPDATE_DIR/zerbinpda.vps"
  list="$UPDATE_DIR/signatures-$release.txt"
  sed "s/^@version 1\.1\$/@version $release/" "$ZB_TOP/tools/vps/sample-signatures.txt" >"$list"
  grep -q "^@version $release\$" "$list" || dev_die "the sample list has no '@version 1.1' line to raise"
  cat >>"$list" <<'LIST'

# New in release 1.2.
Zerbin.Test.Update          0  5a42544553543a555044415445442d312e32
LIST
  if [ "$release" = 1.3 ]; then
    out="$UPDATE_DIR/zerbinpda-1.3.vps"
    printf '\n# New in release 1.3.\nZerbin.Test.Daily           0  5a42544553543a4441494c592d312e33\n' >>"$list"
  fi
  "$ZB_NATIVE_BIN/zbvps" build "$list" "$out" >/dev/null || dev_die "could not build database $release"
}

# The size in bytes of an edition's published package.
package_size() { stat -c %s "$UPDATE_DIR/server/files/pda/ppc_arm/upgrade.dat"; }

# Update on the settings screen; waits for zerbin to hand over to the
# installer and for the installer to start zerbin again.
update_and_wait() {
  dev_log "pressing Update"
  drive press 8402 >/dev/null
  if ! drive wait-gone --timeout 60000 >/dev/null; then
    drive msgbox --any --timeout 0 2>/dev/null | sed 's/^/    /' >&2 || true
    shot update-failed || true
    dev_die "zerbin did not hand over to the installer"
  fi
  drive wait-window --timeout 60000 >/dev/null || dev_die "zerbin did not come back after the install"
  drive wait-enabled 8102 >/dev/null
}

# The database-only package 431 (database 1.3), signed like 430: installed,
# it replaces the database and nothing else. Then Update once more: the
# device counts itself as package 431, so the offer of 431 is up to date and
# nothing is fetched.
database_only_job() {
  local progdir full_size small_size box fetched
  progdir=$(dev_progdir "$DEV")
  full_size=$(package_size)
  update_database 1.3
  cp "$progdir/zerbin.exe" "$UPDATE_DIR/zerbin-before.exe"
  cp "$progdir/zbMonitor.exe" "$UPDATE_DIR/zbMonitor-before.exe"
  "$ZB_NATIVE_BIN/zbpublish" 431 "$UPDATE_DIR/zerbinpda-1.3.vps" --bin "$ZB_BIN" --out "$UPDATE_DIR/server" \
    --edition ppc --database-only --sign "$UPDATE_DIR/key/update-signing.pem" >"$UPDATE_DIR/publish-431.log" 2>&1 ||
    { cat "$UPDATE_DIR/publish-431.log" >&2; dev_die "could not publish package 431"; }
  small_size=$(package_size)
  dev_log "published package 431 (database 1.3), database only, signed:"
  sed 's/^/    /' "$UPDATE_DIR/publish-431.log" >&2
  echo "zb: package sizes: full package 430 $full_size bytes, database-only package 431 $small_size bytes"
  drive press 8103 >/dev/null
  drive wait-enabled 8402 >/dev/null
  update_and_wait
  cmp -s "$UPDATE_DIR/zerbinpda-1.3.vps" "$progdir/zerbinpda.vps" || dev_die "database 1.3 was not installed"
  cmp -s "$UPDATE_DIR/zerbin-before.exe" "$progdir/zerbin.exe" || dev_die "a database-only package changed zerbin.exe"
  cmp -s "$UPDATE_DIR/zbMonitor-before.exe" "$progdir/zbMonitor.exe" ||
    dev_die "a database-only package changed zbMonitor.exe"
  shot update-database-only
  dev_log "package 431 installed: database 1.3 in place, zerbin.exe and zbMonitor.exe byte for byte as before"
  dev_log "the device's record of its package: $(od -An -tu2 "$progdir/zbpackage.ver" | tr -d ' ')" \
    "(\\Program Files\\zerbin\\zbpackage.ver)"

  fetched=$(grep -c 'upgrade.dat' "$UPDATE_DIR/server.log" || true)
  drive press 8103 >/dev/null
  drive wait-enabled 8402 >/dev/null
  dev_log "pressing Update once more"
  drive press 8402 >/dev/null
  box=$(drive msgbox --timeout 60000) || dev_die "no answer to Update"
  shot update-up-to-date
  drive msgbox-press ok >/dev/null
  printf '%s\n' "$box" | sed 's/^/    /'
  case "$box" in *"zerbin! is up-to-date."*) ;; *) dev_die "Update did not say that zerbin is up to date" ;; esac
  [ "$(grep -c 'upgrade.dat' "$UPDATE_DIR/server.log" || true)" = "$fetched" ] ||
    dev_die "the installed package was fetched again"
  drive press 8403 >/dev/null
  drive wait-enabled 8102 >/dev/null
}

free_port() {
  local port
  for port in $(seq 18430 18530); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
  dev_die "no free port from 18430 to 18530 for the update server"
}

start_update_server() {
  local port=$1
  "$ZB_TOP/zb" serve "$UPDATE_DIR/server" --port "$port" >"$UPDATE_DIR/server.log" 2>"$UPDATE_DIR/server.err" &
  SERVER_PID=$!
  for _ in $(seq 1 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    kill -0 "$SERVER_PID" 2>/dev/null || break
    sleep 0.1
  done
  cat "$UPDATE_DIR/server.err" >&2
  dev_die "the update server did not start"
}

stop_update_server() {
  [ -n "$SERVER_PID" ] || return 0
  kill "$SERVER_PID" 2>/dev/null || true
  wait "$SERVER_PID" 2>/dev/null || true
  SERVER_PID=
}

# The device installs only packages signed by the demo's key while it holds
# its public half; at the end the device holds no key again.
remove_device_key() {
  [ -n "$KEY_ON_DEVICE" ] || return 0
  rm -f "$(dev_progdir "$DEV")/update.key"
  KEY_ON_DEVICE=
  dev_log "the device's update key is removed again"
}

# Makes the demo's key, gives the device its public half, publishes the
# signed package, starts its server and points the device at it.
prepare_update() {
  local port
  rm -rf "$UPDATE_DIR"; mkdir -p "$UPDATE_DIR"
  update_database
  "$ZB_NATIVE_BIN/zbkey" keygen "$UPDATE_DIR/key" >/dev/null || dev_die "could not make the demo's signing key"
  "$ZB_TOP/zb" device key "$DEV" "$UPDATE_DIR/key/update.key"
  KEY_ON_DEVICE=1
  "$ZB_NATIVE_BIN/zbpublish" 430 "$UPDATE_DIR/zerbinpda.vps" --bin "$ZB_BIN" --out "$UPDATE_DIR/server" \
    --edition ppc --sign "$UPDATE_DIR/key/update-signing.pem" >"$UPDATE_DIR/publish.log" 2>&1 ||
    { cat "$UPDATE_DIR/publish.log" >&2; dev_die "could not publish package 430"; }
  dev_log "published package 430 (database 1.2), signed, in $UPDATE_DIR/server:"
  sed 's/^/    /' "$UPDATE_DIR/publish.log" >&2
  port=$(free_port)
  start_update_server "$port"
  dev_log "update server: ./zb serve on port $port"
  "$ZB_TOP/zb" device network "$DEV" "127.0.0.1:$port"
}

update_job() {
  local old_pid new_pid progdir
  progdir=$(dev_progdir "$DEV")
  prepare_update
  # Back to English for the update.
  drive press 8103 >/dev/null
  drive wait-enabled 8401 >/dev/null
  drive select 8401 1 >/dev/null
  sleep 0.5
  drive press 8403 >/dev/null
  drive wait-enabled 8102 >/dev/null
  shot update-before
  drive press 8103 >/dev/null
  drive wait-enabled 8402 >/dev/null
  shot update-settings
  old_pid=$(drive wait-window | cut -f2)
  # zerbin downloads and unpacks the package, starts the installer and ends;
  # the installer replaces the files and starts zerbin again.
  update_and_wait
  new_pid=$(drive wait-window | cut -f2)
  cmp -s "$UPDATE_DIR/zerbinpda.vps" "$progdir/zerbinpda.vps" || dev_die "the database was not replaced"
  shot update-after
  dev_log "zerbin (process $old_pid) ended; the installer put database 1.2 in place and started zerbin again (process $new_pid)"
  echo "zb: the installer's log (\Program Files\zerbin\zbinstall.log):"
  tr -d '\r' <"$progdir/zbinstall.log" | sed 's/^/    /'
  grep -q 'upgrade.sig' "$UPDATE_DIR/server.log" || dev_die "zerbin did not fetch the package's signature"
  database_only_job
  echo "zb: the installer's log after package 431:"
  tr -d '\r' <"$progdir/zbinstall.log" | tail -n 6 | sed 's/^/    /'
  echo "zb: the update server's requests:"
  sed 's/^/    /' "$UPDATE_DIR/server.log"
  "$ZB_TOP/zb" device network "$DEV" off
  stop_update_server
  remove_device_key
}

# The programs and database of the build, as a fresh device has them: an
# earlier demo's update replaced them on the device.
reset_programs() {
  local progdir
  progdir=$(dev_progdir "$DEV")
  [ -d "$progdir" ] || return 0
  rm -f "$progdir"/.zb-src-* "$progdir/zbinstall.log" "$progdir/update.key" "$progdir/zbpackage.ver"
  rm -rf "$progdir/temp"
}

run_with_display() {
  prepare_update
  dev_log "an update to package 430 (database 1.2), signed, is on offer: Settings, then Update, installs it"
  dev_log "starting zerbin on the Pocket PC device (display $DISPLAY); close it to end the demo"
  dev_wine "$DEV" 'C:\windows\zbstart.exe' --wait "$ZERBIN"
  # After an update the installer starts zerbin anew: the demo lasts until
  # that one is closed too.
  while drive wait-window --timeout 5000 >/dev/null 2>&1; do
    drive wait-gone --timeout 86400000 >/dev/null 2>&1 || true
  done
}

run_headless() {
  local pid
  mkdir -p "$SHOTS"
  rm -f "$SHOTS"/*.png
  dev_log "no display: the device runs on Xvfb $(dev_display "$DEV"); screenshots go to $SHOTS"
  # Through a file, not a pipe: zerbin would keep a pipe open as long as it runs.
  (dev_wine_env "$DEV"; cd "$(dev_root "$DEV")" && wine 'C:\windows\zbstart.exe' "$ZERBIN" >"$SHOTS/.zerbin.pid" 8>&- 9>&-)
  pid=$(tr -d '\r\n' <"$SHOTS/.zerbin.pid")
  rm -f "$SHOTS/.zerbin.pid"

  main_job
  update_job

  drive close >/dev/null
  if ! drive wait-gone --timeout 15000; then
    dev_log "zerbin did not close; ending it"
    pid=$(drive wait-window --timeout 0 | cut -f2) && drive end "$pid" || true
  fi
}

# A display started for the demo goes again, with the device's programs.
if [ -n "$HEADLESS" ] && [ -z "$HAD_XVFB" ]; then
  trap 'stop_update_server; remove_device_key; dev_kill "$DEV"; dev_display_stop "$DEV"' EXIT
else
  trap 'stop_update_server; remove_device_key' EXIT
fi
reset_programs
dev_ensure "$DEV"
prepare_samples
dev_log "booting the Pocket PC device"
dev_wine "$DEV" 'C:\windows\ceboot.exe'
if [ -n "$HEADLESS" ]; then
  run_headless
else
  run_with_display
fi
