# The emulated handheld: one Wine prefix per edition, shaped like a Windows CE
# device. Sourced by ./zb and by the test wrapper; every function works on the
# device folder ZB_DEVICE_DIR and the Windows binaries in ZB_BIN.
#
# A device is a Wine prefix whose C: is the device's root "\", with no drive that
# reaches the host, the edition's screen as one virtual desktop shared by all its
# programs, the CE libraries in \Windows\System32, the programs in
# "\Program Files\zerbin" and the boot start list "Init" in the registry.

ZB_DEVICE_VERSION=9   # bump when device creation changes: devices are rebuilt

: "${ZB_TOP:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
: "${ZB_DEVICE_DIR:=$ZB_TOP/.device}"

dev_log() { [ -n "${ZB_QUIET:-}" ] || echo "zb: $*" >&2; }
dev_die() { echo "zb: $*" >&2; exit 1; }

# Edition table: screen size, whether it has a touch screen (input-panel
# button) and which CE libraries the device carries.
dev_screen() {
  case "$1" in
    ppc|wm5|test|e2e|wm5-test) echo 240x320 ;;
    ppc-land) echo 320x240 ;;   # a Pocket PC with its screen turned
    hpc|hpc-test) echo 640x240 ;;
    sphone|sphone-test) echo 176x220 ;;
    sphone-land|sphone-land-test) echo 220x176 ;;   # a Smartphone held sideways
    *) dev_die "unknown device '$1' (editions: ppc wm5 hpc sphone; also ppc-land, sphone-land)" ;;
  esac
}
dev_edition() {   # the zerbin edition installed on a device
  case "$1" in
    test|e2e) echo ppc ;;
    sphone-land|sphone-land-test) echo sphone ;;
    ppc-land) echo ppc ;;
    *-test) echo "${1%-test}" ;;
    *) echo "$1" ;;
  esac
}
dev_touch() { case "$(dev_edition "$1")" in ppc|wm5) echo 1 ;; *) echo 0 ;; esac; }
dev_libs() {
  # wm5-test: a Windows Mobile 5 device without the connection manager.
  [ "$1" = wm5-test ] && { echo "AygShell.dll TOOLHELP.DLL coredll.dll"; return; }
  case "$(dev_edition "$1")" in
    hpc) echo "TOOLHELP.DLL coredll.dll" ;;
    *) echo "AygShell.dll cellcore.dll TOOLHELP.DLL coredll.dll" ;;
  esac
}

dev_prefix() { echo "$ZB_DEVICE_DIR/$1"; }
dev_root() { echo "$ZB_DEVICE_DIR/$1/drive_c"; }
dev_progdir() { echo "$ZB_DEVICE_DIR/$1/drive_c/Program Files/zerbin"; }

# The environment every program of a device runs in. Host proxy variables stay
# out: the device's network settings are its own.
dev_wine_env() {
  local dev=$1
  export WINEPREFIX
  WINEPREFIX=$(dev_prefix "$dev")
  export WINEARCH=win64
  export WINEDEBUG=${ZB_WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=d;winemenubuilder.exe=d"
  unset http_proxy https_proxy ftp_proxy all_proxy no_proxy HTTP_PROXY HTTPS_PROXY FTP_PROXY ALL_PROXY NO_PROXY
  local net; net=$(dev_net_library)
  if [ -n "$net" ]; then
    case ":${LD_PRELOAD:-}:" in *":$net:"*) ;; *) export LD_PRELOAD="$net${LD_PRELOAD:+:$LD_PRELOAD}" ;; esac
  fi
  dev_display "$dev" >/dev/null
}

# The device's network (docs/device.md, "The device's network"): a library preloaded
# into every Wine process of a device, the wineserver included, that sends the
# update server's host name to the server named in C:\windows\zbnet.txt.
# Empty when the native build has not made it yet.
dev_net_library() {
  local lib
  if [ -n "${ZB_BUILD_DIR:-}" ]; then
    lib="$ZB_BUILD_DIR/native/lib/libzbnet.so"
  elif [ -n "${ZB_BIN:-}" ]; then
    lib="$(dirname "$(dirname "$ZB_BIN")")/native/lib/libzbnet.so"
  else
    lib="$ZB_TOP/build/native/lib/libzbnet.so"
  fi
  [ -f "$lib" ] && echo "$lib"
  return 0
}

# Points the device's update server at HOST:PORT on this machine, or "off".
dev_network_set() {
  local dev=$1 target=$2 file
  file="$(dev_root "$dev")/windows/zbnet.txt"
  mkdir -p "$(dirname "$file")"
  printf '%s\r\n' "$target" > "$file.zbnew" && mv -f "$file.zbnew" "$file"
}

# A display for a device's screen: the user's own X display when there is one
# (and ZB_HEADLESS is not set), otherwise an Xvfb of the device's own, kept for
# this device folder. One each, because Wine puts every device's desktop at
# the top left of its display: devices sharing one would hide each other, and
# a hidden screen reads black in screenshots and pixel reads.
dev_display() {   # DEVICE
  if [ -n "${DISPLAY:-}" ] && [ -z "${ZB_HEADLESS:-}" ] && [ -z "${ZB_XVFB_OWNED:-}" ]; then
    echo "$DISPLAY"; return
  fi
  local dev=${1:?dev_display needs a device}
  mkdir -p "$ZB_DEVICE_DIR"
  local state="$ZB_DEVICE_DIR/xvfb-$dev" n pid
  (
    flock 9
    if [ -f "$state" ]; then
      read -r n pid < "$state"
      if kill -0 "$pid" 2>/dev/null && [ -S "/tmp/.X11-unix/X$n" ]; then exit 0; fi
    fi
    command -v Xvfb >/dev/null || dev_die "Xvfb is missing (Debian package xvfb)"
    n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset </dev/null >/dev/null 2>&1 8>&- 9>&- &
    pid=$!
    for _ in $(seq 1 100); do [ -S "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
    [ -S "/tmp/.X11-unix/X$n" ] || dev_die "Xvfb did not start on :$n"
    echo "$n $pid" > "$state"
  ) 9>"$ZB_DEVICE_DIR/.xvfb.lock"
  read -r n pid < "$state"
  export DISPLAY=":$n" ZB_XVFB_OWNED=1
  echo ":$n"
}

# Ends the Xvfb of one device, or of every device of this folder.
dev_display_stop() {   # [DEVICE]
  local state n pid
  for state in "$ZB_DEVICE_DIR"/xvfb-${1:-*}; do
    [ -f "$state" ] || continue
    read -r n pid < "$state"
    kill "$pid" 2>/dev/null || true
    rm -f "$state"
  done
}

# Whether DEVICE has an Xvfb of its own running now.
dev_display_running() {
  local state="$ZB_DEVICE_DIR/xvfb-$1" n pid
  [ -f "$state" ] && read -r n pid < "$state" && kill -0 "$pid" 2>/dev/null
}

# Ends every program of one device.
dev_kill() {
  local p; p=$(dev_prefix "$1")
  [ -d "$p" ] || return 0
  WINEPREFIX=$p wineserver -k 2>/dev/null || true
  WINEPREFIX=$p wineserver -w 2>/dev/null || true
}

dev_wine() {   # dev_wine DEVICE program-and-args... (working folder C:\)
  local dev=$1; shift
  ( dev_wine_env "$dev"; cd "$(dev_root "$dev")" && exec wine "$@" 8>&- 9>&- )
}

# Lock descriptors (8: device, 9: display) must not reach long-lived children
# such as Xvfb or wineserver, or the locks would stay taken after we return.

# Keeps the device sealed: only C: exists, and no folder inside it leads to a
# host folder (Wine links the user's folders to the host's home by default).
dev_seal() {
  local p; p=$(dev_prefix "$1")
  local d
  for d in "$p"/dosdevices/*; do
    [ -e "$d" ] || [ -L "$d" ] || continue
    case "$(basename "$d")" in c:) ;; *) rm -f "$d" ;; esac
  done
  find "$p/drive_c" -type l -print0 2>/dev/null | while IFS= read -r -d '' d; do
    rm -f "$d" && mkdir -p "$d"
  done
}

# The device's own registry settings, as a .reg file: its screen, its fonts and
# colours (white button faces and a grey band under the input panel's button,
# as on a handheld), its boot start list and the configuration of its CE
# libraries. A font asked for without a face name is the handheld's Tahoma
# too: Wine would take the first sans-serif face it finds among the host's
# fonts ("Arial", then "Liberation Sans", ...), so that the screens' texts, and
# every width measured from them, would depend on the host.
dev_registry_file() {
  local dev=$1 size touch edition
  size=$(dev_screen "$dev"); touch=$(dev_touch "$dev"); edition=$(dev_edition "$dev")
  cat <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"Default"="$size"

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Decorated"="Y"
"Managed"="Y"

[HKEY_CURRENT_USER\\Control Panel\\Colors]
"ButtonFace"="255 255 255"
"Scrollbar"="206 206 206"

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]
"MS Shell Dlg"="Tahoma"
"MS Shell Dlg 2"="Tahoma"

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"Arial"="Tahoma"

[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings]
"ProxyEnable"=dword:00000000

[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders]
"Startup"="C:\\\\Windows\\\\StartUp"

[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]
"Startup"="C:\\\\Windows\\\\StartUp"

[HKEY_LOCAL_MACHINE\\Init]
"Launch10"="shell.exe"
"Launch20"="device.exe"
"Launch30"="gwes.exe"
"Launch50"="shell32.exe"

[HKEY_LOCAL_MACHINE\\Software\\ZbDevice]
"Edition"="$edition"
"Touch"=dword:0000000$touch

[HKEY_LOCAL_MACHINE\\Software\\ZbDevice\\ConnMgr]
"Mode"="connected"
"Proxy"=""
EOF
}

# Device fonts: the handheld's Tahoma, with the average character width that
# handheld fonts declare (the weighted lower-case average), so that layouts
# computed from tmAveCharWidth come out as on the device.
dev_install_fonts() {
  local root=$1 tool="${ZB_NATIVE_BIN:-}/zbfontfix" f
  mkdir -p "$root/windows/Fonts"
  for f in tahoma.ttf tahomabd.ttf; do
    [ -f "/usr/share/wine/fonts/$f" ] || dev_die "Wine's fonts are missing (Debian package fonts-wine)"
    if [ -x "$tool" ]; then
      "$tool" "/usr/share/wine/fonts/$f" "$root/windows/Fonts/$f" || dev_die "font preparation failed for $f"
    else
      cp "/usr/share/wine/fonts/$f" "$root/windows/Fonts/$f"
    fi
  done
  # The glyphs of the caption buttons and of scroll-bar arrows.
  cp /usr/share/wine/fonts/marlett.ttf "$root/windows/Fonts/marlett.ttf"
}

dev_create() {
  local dev=$1 p root log
  p=$(dev_prefix "$dev"); root=$(dev_root "$dev"); log="$ZB_DEVICE_DIR/$dev.log"
  command -v wine >/dev/null || dev_die "wine is missing (Debian package wine64)"
  dev_log "creating the $dev device in $p (first time: some seconds)"
  dev_kill "$dev"
  rm -rf "$p"; mkdir -p "$p"
  (
    dev_wine_env "$dev"
    wineboot -i >"$log" 2>&1 8>&- 9>&- || dev_die "wineboot failed, see $log"
    wineserver -w
  )
  dev_seal "$dev"
  mkdir -p "$root/Storage Card" "$root/My Documents" "$root/Temp" "$root/windows/StartUp" "$(dev_progdir "$dev")"
  dev_install_fonts "$root"
  # regedit reads DOS paths only, and the device has no drive but C:
  dev_registry_file "$dev" > "$root/zb-device.reg"
  ( dev_wine_env "$dev"; cd "$root" && wine regedit /S 'C:\zb-device.reg' >>"$log" 2>&1 8>&- 9>&- ) ||
    dev_die "registry set-up failed, see $log"
  rm -f "$root/zb-device.reg"
  ( dev_wine_env "$dev"; wineserver -w )
  dev_seal "$dev"
  echo "$ZB_DEVICE_VERSION" > "$p/.zb-device"
}

# Copies a built file into the device when the build has a newer one. A file
# that a test or a person changed on the device stays until the build changes.
dev_put() {
  local src=$1 dst=$2 stamp
  [ -f "$src" ] || return 0
  stamp="$(dirname "$dst")/.zb-src-$(basename "$dst")"
  if [ -f "$dst" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$(stat -c %Y-%s "$src")" ]; then
    return 0
  fi
  mkdir -p "$(dirname "$dst")"
  cp "$src" "$dst.zbnew" && mv -f "$dst.zbnew" "$dst"
  stat -c %Y-%s "$src" > "$stamp"
}

dev_install() {
  local dev=$1 root edition lib prog
  root=$(dev_root "$dev"); edition=$(dev_edition "$dev")
  [ -n "${ZB_BIN:-}" ] && [ -d "$ZB_BIN" ] || dev_die "no Windows build (ZB_BIN=${ZB_BIN:-unset}); run ./zb build"
  for lib in $(dev_libs "$dev"); do
    dev_put "$ZB_BIN/$lib" "$root/windows/system32/$lib"
  done
  dev_put "$ZB_BIN/ceboot.exe" "$root/windows/ceboot.exe"
  dev_put "$ZB_BIN/zbstart.exe" "$root/windows/zbstart.exe"
  dev_put "$ZB_BIN/zbdrive.exe" "$root/windows/zbdrive.exe"
  for prog in shell.exe device.exe gwes.exe shell32.exe; do
    dev_put "$ZB_BIN/cesys.exe" "$root/windows/$prog"
  done
  dev_put "$ZB_BIN/$edition/zerbin.exe" "$(dev_progdir "$dev")/zerbin.exe"
  dev_put "$ZB_BIN/$edition/zbMonitor.exe" "$(dev_progdir "$dev")/zbMonitor.exe"
  dev_put "$ZB_BIN/zerbinpda.vps" "$(dev_progdir "$dev")/zerbinpda.vps"
}

dev_ensure() {   # create the device if needed, then bring its programs up to date
  local dev=$1 p
  dev_screen "$dev" >/dev/null
  p=$(dev_prefix "$dev")
  mkdir -p "$ZB_DEVICE_DIR"
  (
    flock 8
    if [ ! -f "$p/.zb-device" ] || [ "$(cat "$p/.zb-device")" != "$ZB_DEVICE_VERSION" ]; then
      dev_create "$dev"
    fi
    dev_seal "$dev"
    dev_install "$dev"
  ) 8>"$ZB_DEVICE_DIR/.$dev.lock"
}

dev_reset() {
  local dev=$1
  dev_kill "$dev"
  rm -rf "$(dev_prefix "$dev")" "$ZB_DEVICE_DIR/$dev.log"
}
