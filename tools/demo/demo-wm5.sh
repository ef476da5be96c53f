#!/usr/bin/env bash
# ./zb demo wm5: the main job on that edition's device (see demo-edition.sh).
exec "$(dirname "${BASH_SOURCE[0]}")/demo-edition.sh" wm5 "$@"
