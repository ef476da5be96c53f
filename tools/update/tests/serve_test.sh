#!/usr/bin/env bash
# ./zb serve's server: a published-like tree served on a free loopback port,
# answered for plain paths and for request lines with the whole URL (the
# proxy's form), 404 for a missing file, and ended by its process id.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
work=$(mktemp -d)
pid=
cleanup() { [ -z "$pid" ] || kill "$pid" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$work/err" ] && cat "$work/err" >&2; exit 1; }

mkdir -p "$work/tree/files/pda/ppc_arm"
printf 'KVXP0123456789' >"$work/tree/files/pda/ppc_arm/version.dat"
port=$(( 20000 + RANDOM % 20000 ))
ZB_BUILD_DIR="$work/build" "$top/tools/update/serve.sh" "$work/tree" --port "$port" >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 1 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done

request() {   # request LINE: the whole answer
  exec 3<>"/dev/tcp/127.0.0.1/$port"
  printf '%s\r\nHost: update.morvane.example\r\nConnection: close\r\n\r\n' "$1" >&3
  cat <&3 || true
  exec 3<&-
}

answer=$(request 'GET /files/pda/ppc_arm/version.dat HTTP/1.1')
[[ $answer == "HTTP/1.1 200 OK"* ]] || fail "plain path: $answer"
[[ $answer == *"Content-Length: 14"* ]] || fail "no Content-Length: $answer"
[[ $answer == *"KVXP0123456789" ]] || fail "wrong body: $answer"
answer=$(request 'GET http://update.morvane.example:80/files/pda/ppc_arm/version.dat HTTP/1.1')
[[ $answer == "HTTP/1.1 200 OK"* && $answer == *"KVXP0123456789" ]] || fail "whole URL: $answer"
answer=$(request 'GET /files/pda/ppc_arm/upgrade.dat HTTP/1.1')
[[ $answer == "HTTP/1.1 404"* ]] || fail "missing file: $answer"
answer=$(request 'GET /../../etc/passwd HTTP/1.1')
[[ $answer != *"root:"* ]] || fail "left the tree: $answer"

sleep 0.3
[ "$(grep -c 'version.dat' "$work/out")" -eq 2 ] || fail "requests not logged: $(cat "$work/out")"
[ -f "$work/build/serve/$port/nginx.conf" ] || fail "no configuration in the build folder"
kill "$pid"; wait "$pid" 2>/dev/null || true; pid=
! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || fail "still serving after its end"

# Refusals with a clear message.
if "$top/tools/update/serve.sh" "$work/none" 2>"$work/err2"; then fail "served a missing folder"; fi
grep -q "no folder" "$work/err2" || fail "unclear message: $(cat "$work/err2")"
if "$top/tools/update/serve.sh" "$work/tree" --port 70000 2>"$work/err2"; then fail "took port 70000"; fi
echo "serve: all checks passed"
