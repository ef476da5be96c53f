#!/usr/bin/env bash
# ./zb fuzz NAME [SECONDS]: runs one fuzzer for longer (default 600 s) on its
# corpus, which grows between runs. Inputs that fail are kept in
# fuzz-artifacts/NAME/ of the native build; run the fuzzer on one to replay it.
set -euo pipefail
: "${ZB_TOP:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
: "${ZB_BUILD_DIR:=$ZB_TOP/build}"
: "${ZB_NATIVE_BIN:=$ZB_BUILD_DIR/native/bin}"
: "${ZB_BIN:=$ZB_BUILD_DIR/win/bin}"

list() { find "$ZB_NATIVE_BIN/fuzz" -maxdepth 1 -name 'fuzz_*' -type f -printf '  %f\n' 2>/dev/null | sed 's/fuzz_//' | sort; }

name=${1:-}
seconds=${2:-600}
if [ -z "$name" ] || [ ! -x "$ZB_NATIVE_BIN/fuzz/fuzz_$name" ]; then
  [ -n "$name" ] && echo "zb fuzz: no fuzzer '$name'" >&2
  echo "usage: ./zb fuzz NAME [SECONDS]; fuzzers:" >&2
  list >&2
  exit 2
fi
[[ $seconds =~ ^[0-9]+$ ]] || { echo "zb fuzz: SECONDS must be a number" >&2; exit 2; }

native=$(dirname "$ZB_NATIVE_BIN")
corpus="$native/fuzz-corpus/$name"
artifacts="$native/fuzz-artifacts/$name"
mkdir -p "$corpus" "$artifacts"
# The loader starts from a real database when its corpus is new.
if [ "$name" = vps_load ] && [ -z "$(ls -A "$corpus")" ] && [ -f "$ZB_BIN/zerbinpda.vps" ]; then
  cp "$ZB_BIN/zerbinpda.vps" "$corpus/sample.vps"
fi
# A fuzzer with seeds of its own makes them when its corpus is new.
if [ -x "$ZB_TOP/fuzz/${name}_seeds.sh" ]; then "$ZB_TOP/fuzz/${name}_seeds.sh" "$corpus"; fi
echo "zb fuzz: $name for $seconds s; corpus $corpus" >&2
# Seeds kept in the repository are read beside the corpus.
seeds=()
[ -d "$ZB_TOP/fuzz/seeds/$name" ] && seeds=("$ZB_TOP/fuzz/seeds/$name")
exec "$ZB_NATIVE_BIN/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$artifacts/" "$corpus" "${seeds[@]}"
