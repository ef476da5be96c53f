#!/usr/bin/env bash
# ./zb bench: the benchmarks. Natively: the search and the database load
# (bench_search), the scan of a whole tree against the I/O floor
# (bench_tree); a tree of CABs and ZIPs against zlib's own inflate of their
# members (bench_archive); on the test device: the same tree scanned with the program's
# own vpsLoad and scanFile (bench_device); the slowest windows against the
# ordinary ones (bench_worst, with 10,000 and 100,000 records). The trees
# are generated once.
#   ./zb bench [native|device|compare|all]     (default all)
#   ./zb bench scale [--max N]
# compare: the I/O floor, ./zb scan on one thread and on all cores, and YARA
# (if installed) over the same tree with the same 10,000 signatures.
# scale: databases of 10,000, 100,000 and 1,000,000 records from the
# benchmark's generator, one row each (bench_scale); --max N leaves out the
# sizes above N.
set -euo pipefail
: "${ZB_TOP:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
: "${ZB_BUILD_DIR:=$ZB_TOP/build}"
: "${ZB_NATIVE_BIN:=$ZB_BUILD_DIR/native/bin}"
: "${ZB_BIN:=$ZB_BUILD_DIR/win/bin}"
export ZB_BIN ZB_NATIVE_BIN

what=${1:-all}
usage() { echo "usage: ./zb bench [native|device|compare|all] | ./zb bench scale [--max N]" >&2; exit 2; }
case "$what" in native|device|compare|scale|all) ;; *) usage ;; esac

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The detections of one contender's output on the planted files: lines of
# "PATH RECORD" in both.
planted_found() { awk 'NR == FNR { want[$0] = 1; next } ($0 in want) { n++ } END { print n + 0 }' "$1" "$2"; }

compare() {
  local dir tree cores rounds files
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' RETURN
  tree=$("$ZB_NATIVE_BIN/bench/bench_tree" --export "$dir")
  cores=$(nproc)
  rounds=${ZB_BENCH_ROUNDS:-5}
  files=$(find "$tree" -type f ! -name '.*' | wc -l)
  local yara_state="yes"
  if ! command -v yara >/dev/null || ! command -v yarac >/dev/null; then
    yara_state="not installed (Debian package yara: ./zb installs it when it can)"
  elif ! yarac "$dir/bench.yar" "$dir/bench.yarc" 2>"$dir/yarac.log"; then
    yara_state="its compiler refused the rules: $(head -1 "$dir/yarac.log")"
  fi
  local planted; planted=$(wc -l < "$dir/planted.txt")
  local names=(floor scan1 scanN yara1 yaraN) n t0
  for n in "${names[@]}"; do : > "$dir/$n.times"; done
  echo "tree: $tree, $files files, 10,000 signatures, $planted planted files; $rounds rounds, one of each contender per round"
  "$ZB_NATIVE_BIN/bench/bench_tree" --floor > /dev/null  # the page cache, warm for everyone
  for ((round = 1; round <= rounds; round++)); do
    "$ZB_NATIVE_BIN/bench/bench_tree" --floor >> "$dir/floor.times"
    t0=$(now); "$ZB_NATIVE_BIN/zbscan" --db "$dir/bench.vps" -j 1 "$tree" > "$dir/scan1.out" 2>/dev/null || true
    calc "$(now) - $t0" >> "$dir/scan1.times"
    t0=$(now); "$ZB_NATIVE_BIN/zbscan" --db "$dir/bench.vps" -j "$cores" "$tree" > "$dir/scanN.out" 2>/dev/null || true
    calc "$(now) - $t0" >> "$dir/scanN.times"
    if [ "$yara_state" = yes ]; then
      t0=$(now); yara -C -r -p 1 "$dir/bench.yarc" "$tree" > "$dir/yara1.out" 2>/dev/null || true
      calc "$(now) - $t0" >> "$dir/yara1.times"
      t0=$(now); yara -C -r -p "$cores" "$dir/bench.yarc" "$tree" > "$dir/yaraN.out" 2>/dev/null || true
      calc "$(now) - $t0" >> "$dir/yaraN.times"
    fi
    echo "  round $round done" >&2
  done
  # Detections as "PATH RECORD".
  for n in scan1 scanN; do
    sed -n 's/^status=0 record=\([0-9]*\) .* path=\(.*\)$/\2 \1/p' "$dir/$n.out" > "$dir/$n.found"
  done
  for n in yara1 yaraN; do
    [ -f "$dir/$n.out" ] && sed -n 's/^r\([0-9]*\) \(.*\)$/\2 \1/p' "$dir/$n.out" > "$dir/$n.found"
  done
  local floor; floor=$(median < "$dir/floor.times")
  printf '\n%-34s %10s %12s %10s %s\n' "contender (median of $rounds)" "seconds" "files/s" "x floor" "detections: planted files found / all"
  printf '%-34s %10.3f %12.0f %10.2f %s\n' "I/O floor (one thread)" "$floor" "$(calc "$files / $floor")" 1 "-"
  local label
  for n in scan1 scanN yara1 yaraN; do
    case $n in
      scan1) label="./zb scan -j 1" ;;
      scanN) label="./zb scan -j $cores (all cores)" ;;
      yara1) label="YARA, 1 thread" ;;
      yaraN) label="YARA, $cores threads" ;;
    esac
    if [ ! -s "$dir/$n.times" ]; then
      printf '%-34s %s\n' "$label" "not run: YARA $yara_state"
      continue
    fi
    t=$(median < "$dir/$n.times")
    printf '%-34s %10.3f %12.0f %10.2f %s / %s\n' "$label" "$t" "$(calc "$files / $t")" "$(calc "$t / $floor")" \
      "$(planted_found "$dir/planted.txt" "$dir/$n.found")" "$(wc -l < "$dir/$n.found")"
  done
  echo
  echo "The floor and ./zb scan read the scanner's windows (whole files up to 100000 bytes, else the first and"
  echo "last 50000); YARA reads whole files. Times are elapsed, each whole command (start and database load included)."
}

# The search table as the database grows; the sizes are the benchmark's.
scale() {
  local max=1000000 dir tree
  while [ $# -gt 0 ]; do
    case "$1" in
      --max) [[ ${2:-} =~ ^[0-9]+$ ]] || usage; max=$2; shift 2 ;;
      *) usage ;;
    esac
  done
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' RETURN
  tree=$("$ZB_NATIVE_BIN/bench/bench_tree" --export "$dir")
  "$ZB_NATIVE_BIN/bench/bench_scale" "$tree" --max "$max" 10000 100000 1000000
}

if [ "$what" = compare ]; then
  compare
  exit 0
fi
if [ "$what" = scale ]; then
  shift
  scale "$@"
  exit 0
fi

if [ "$what" != device ]; then
  echo "== search and database load (native)"
  "$ZB_NATIVE_BIN/bench/bench_search"
  echo
  echo "== tree scan against the I/O floor (native)"
  "$ZB_NATIVE_BIN/bench/bench_tree"
  echo
  echo "== archives: the scan against zlib's inflate of the same members; the archive check on a tree without (native)"
  "$ZB_NATIVE_BIN/bench/bench_archive"
  echo
  echo "== the slowest windows against the ordinary ones (native), 10,000 records"
  "$ZB_NATIVE_BIN/bench/bench_worst"
  echo
  echo "== the same with 100,000 records"
  "$ZB_NATIVE_BIN/bench/bench_worst" 7 100000
fi
if [ "$what" != native ]; then
  echo
  echo "== tree scan on the device (vpsLoad and scanFile under Wine)"
  "$ZB_TOP/device/wine-test" "$ZB_BIN/bench/bench_device.exe" "${ZB_BENCH_SCALE:-1}"
fi
