#!/usr/bin/env bash
# ./zb drive [--device EDITION] COMMAND [ARGUMENTS]: runs the automation driver
# (zbdrive.exe, installed in every device as \Windows\zbdrive.exe) on a device,
# so that a person or a script on the host can drive the programs running
# there. `./zb drive help` lists the driver's commands.
set -euo pipefail
: "${ZB_TOP:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
# shellcheck source=device/device.sh
source "$ZB_TOP/device/device.sh"

dev=${ZB_EDITION:-ppc}
if [ "${1:-}" = --device ]; then
  [ $# -ge 2 ] || dev_die "usage: ./zb drive [--device EDITION] COMMAND [ARGUMENTS]"
  dev=$2
  shift 2
fi
[ $# -gt 0 ] || set -- help
dev_screen "$dev" >/dev/null

# The driver runs with the device's root as its working folder, so a
# screenshot named relative to the host's working folder is made absolute here
# (the driver writes a path that starts with "/" to the host). Device paths
# (C:\..., \...) stay as they are.
args=()
previous=
for arg in "$@"; do
  if [ "$previous" = screenshot ] && [[ $arg != /* && $arg != *\\* && $arg != ?:* ]]; then
    arg="$PWD/$arg"
  fi
  args+=("$arg")
  previous=$arg
done

ZB_QUIET=1 dev_ensure "$dev"
dev_wine "$dev" 'C:\windows\zbdrive.exe' "${args[@]}"
