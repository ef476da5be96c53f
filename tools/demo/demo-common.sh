# What every demo script shares: the build's and the devices' folders, the
# automation driver on the demo's device ($DEV) and screenshots into $SHOTS.
# Sourced at the top of a demo, once it has named its device ($DEV) and
# before anything starts the device's display.
: "${ZB_TOP:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
: "${ZB_BUILD_DIR:=$ZB_TOP/build}"
: "${ZB_BIN:=$ZB_BUILD_DIR/win/bin}"
: "${ZB_NATIVE_BIN:=$ZB_BUILD_DIR/native/bin}"
export ZB_TOP ZB_BUILD_DIR ZB_BIN ZB_NATIVE_BIN
# shellcheck source=device/device.sh
source "$ZB_TOP/device/device.sh"

# Whether the demo drives the device by itself (no display of the person's),
# and whether a device display was running already (then it is left running).
HEADLESS=
{ [ -z "${DISPLAY:-}" ] || [ -n "${ZB_HEADLESS:-}" ]; } && HEADLESS=1
HAD_XVFB=
dev_display_running "$DEV" && HAD_XVFB=1

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

# A new folder with the sample files made from the sample signatures (never
# kept in the source tree); the caller copies what it needs and removes it.
sample_dir() {
  local work
  work=$(mktemp -d)
  "$ZB_NATIVE_BIN/zbvps" samples "$ZB_TOP/tools/vps/sample-signatures.txt" "$work" >/dev/null ||
    dev_die "could not make the sample files"
  echo "$work"
}

# The sample archives, made now from the sample files in WORK under the
# device's ROOT: a cabinet on the storage card ("\Storage Card\Install\
# notes.cab", MSZIP) and a ZIP in "\My Documents" ("photos.zip", deflated),
# each with a harmless sample-signature member among ordinary ones. The
# compression hides the member from the file's own windows: only the scan
# of the archive's members finds it (the anchored sample at its member's
# start, in the cabinet).
sample_archives() {
  local work=$1 root=$2 dir
  dir=$(mktemp -d)
  rm -rf "$root/Storage Card/Install" "$root/My Documents/photos.zip"
  mkdir -p "$root/Storage Card/Install"
  printf 'Notes for the handheld: install with the card in.\r\n' >"$dir/readme.txt"
  cp "$work/002-Zerbin.Test.Anchored.bin" "$dir/notes.exe"
  cp "$work/001-EICAR-Test-File.bin" "$dir/eicar.com"
  head -c 3000 /dev/urandom >"$dir/beach.jpg"
  { (cd "$dir" && gcab -c -z "$root/Storage Card/Install/notes.cab" readme.txt notes.exe) &&
    python3 -c 'import sys, zipfile
z = zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED)
for name in sys.argv[3:]:
    z.write(sys.argv[2] + "/" + name, "holiday/" + name)
z.close()' "$root/My Documents/photos.zip" "$dir" beach.jpg eicar.com; } ||
    dev_die "could not make the sample archives (gcab and python3 are needed)"
  rm -rf "$dir"
}

# A demo starts from the program's defaults and without an old report.
reset_settings_and_report() {
  dev_wine "$DEV" reg delete 'HKCU\Software\Morvane Software' /f >/dev/null 2>&1 || true
  rm -f "$(dev_progdir "$DEV")/report.txt"
}

# The index of the first item of list LIST whose text starts with NAME.
item_index() {
  drive list-items "$1" | awk -F'\t' -v name="$2" 'index($1, name) == 1 { print NR - 1; exit }'
}

# On the touch screens: deletes "setup (1).exe" through the infected-files
# list, as a person would, if the scan listed it.
delete_listed_setup() {
  local index
  index=$(item_index 116 'setup (1).exe')
  [ -n "$index" ] || return 0
  drive list-click 116 "$index" >/dev/null
  drive wait-enabled 8206 >/dev/null
  drive press 8206 >/dev/null
  sleep 0.5
  dev_log "deleted \My Documents\Samples\setup (1).exe through the list"
}
