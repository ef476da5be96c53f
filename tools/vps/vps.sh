#!/usr/bin/env bash
# ./zb vps ...: the maker's database tool. build, dump and samples run the
# native tool; scan runs the device build of the tool, with the program's own
# loader and file scanner, under Wine in a tools prefix (a plain Wine prefix
# with its Z: drive, so that it reads host files; it is not a device).
set -euo pipefail
: "${ZB_TOP:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
: "${ZB_BUILD_DIR:=$ZB_TOP/build}"
: "${ZB_DEVICE_DIR:=$ZB_TOP/.device}"
: "${ZB_BIN:=$ZB_BUILD_DIR/win/bin}"
: "${ZB_NATIVE_BIN:=$ZB_BUILD_DIR/native/bin}"

die() { echo "zb vps: $*" >&2; exit 1; }

native_tool() {
  [ -x "$ZB_NATIVE_BIN/zbvps" ] || die "no native zbvps in $ZB_NATIVE_BIN; run ./zb build"
  exec "$ZB_NATIVE_BIN/zbvps" "$@"
}

tools_prefix() { echo "$ZB_DEVICE_DIR/tools"; }

tools_env() {
  export WINEPREFIX; WINEPREFIX=$(tools_prefix)
  export WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=d;winemenubuilder.exe=d"
  # Host paths reach the tool as UTF-8 only under a UTF-8 locale; the tool
  # needs no display.
  export LC_ALL=C.UTF-8
  unset DISPLAY
}

tools_ensure() {
  local p; p=$(tools_prefix)
  mkdir -p "$ZB_DEVICE_DIR"
  (
    flock 8
    if [ ! -f "$p/.zb-tools" ]; then
      command -v wine >/dev/null || die "wine is missing (Debian package wine64)"
      echo "zb vps: creating the tools prefix $p (first time: some seconds)" >&2
      rm -rf "$p"; mkdir -p "$p"
      ( tools_env; wineboot -i >"$ZB_DEVICE_DIR/tools.log" 2>&1 8>&- && wineserver -w 8>&- ) ||
        die "wineboot failed, see $ZB_DEVICE_DIR/tools.log"
      [ -e "$p/dosdevices/z:" ] || ln -s / "$p/dosdevices/z:"
      touch "$p/.zb-tools"
    fi
  ) 8>"$ZB_DEVICE_DIR/.tools.lock"
}

# A host path as the tools prefix sees it: Z: and the absolute path.
windows_path() {
  local absolute
  absolute=$(realpath -m -- "$1")
  printf 'Z:%s' "${absolute//\//\\}"
}

scan() {
  [ $# -ge 2 ] || die "usage: ./zb vps scan DB FILE..."
  [ -f "$ZB_BIN/zbvps.exe" ] || die "no zbvps.exe in $ZB_BIN; run ./zb build"
  local db=$1; shift
  [ -e "$db" ] || die "$db: no such file"
  tools_ensure
  local args=(scan --show "$db" "$(windows_path "$db")") f
  for f in "$@"; do args+=(--show "$f" "$(windows_path "$f")"); done
  tools_env
  cd "$(tools_prefix)/drive_c"
  exec wine "$ZB_BIN/zbvps.exe" "${args[@]}"
}

case "${1:-help}" in
  scan) shift; scan "$@" ;;
  build|dump|samples) native_tool "$@" ;;
  help|-h|--help)
    cat <<'TEXT'
./zb vps build LIST OUT.vps      build a database (zerbinpda.vps) from a signature list
./zb vps dump DB                 print a database as a signature list, with its version and record count
./zb vps samples LIST DIR        write one test file per record of a list, each detected by its record
./zb vps scan DB FILE...         scan host files with the program's own loader and file scanner
                                 (under Wine); one line per file:
                                 status=N record=N offset=N flags=N name=NAME path=PATH

TEXT
    [ -x "$ZB_NATIVE_BIN/zbvps" ] && "$ZB_NATIVE_BIN/zbvps" help | sed -n '/^A signature list/,$p' ;;
  *) die "unknown command '$1' (./zb vps help)" ;;
esac
