#!/usr/bin/env bash
# ./zb bench: the benchmarks. Natively: the search and the database load
# (bench_search), the scan of a whole tree against the I/O floor
# (bench_tree); on the test device: the same tree scanned with the program's
# own vpsLoad and scanFile (bench_device). The trees are generated once.
#   ./zb bench [native|device|all]     (default all)
set -euo pipefail
: "${ZB_TOP:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
: "${ZB_BUILD_DIR:=$ZB_TOP/build}"
: "${ZB_NATIVE_BIN:=$ZB_BUILD_DIR/native/bin}"
: "${ZB_BIN:=$ZB_BUILD_DIR/win/bin}"
export ZB_BIN ZB_NATIVE_BIN

what=${1:-all}
case "$what" in native|device|all) ;; *) echo "usage: ./zb bench [native|device|all]" >&2; exit 2 ;; esac

if [ "$what" != device ]; then
  echo "== search and database load (native)"
  "$ZB_NATIVE_BIN/bench/bench_search"
  echo
  echo "== tree scan against the I/O floor (native)"
  "$ZB_NATIVE_BIN/bench/bench_tree"
fi
if [ "$what" != native ]; then
  echo
  echo "== tree scan on the device (vpsLoad and scanFile under Wine)"
  "$ZB_TOP/device/wine-test" "$ZB_BIN/bench/bench_device.exe" "${ZB_BENCH_SCALE:-1}"
fi
