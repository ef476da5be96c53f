#!/usr/bin/env bash
# ./zb demo: boots the Pocket PC device and starts zerbin on it.
set -euo pipefail
source "$ZB_TOP/device/device.sh"
dev_ensure ppc
dev_wine ppc 'C:\windows\ceboot.exe'
dev_log "starting zerbin on the Pocket PC device (display $(dev_display))"
dev_wine ppc 'C:\windows\zbstart.exe' --wait 'C:\Program Files\zerbin\zerbin.exe'
