#!/usr/bin/env bash
# The benchmark scripts at small sizes with the suite's own build: they must
# still build, cut and restore a real file through the program (checking both
# results), back up, convert Wine names and run the copy floor (checking the
# archive and the converted logs), and produce their tables. Timings of so
# little work mean nothing.
set -euo pipefail
dir=${BUILD_DIR:-build}
# Keep the build folder's own type, so that nothing is rebuilt.
type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$dir/CMakeCache.txt" 2>/dev/null || true)
out=$(mktemp)
trap 'rm -f "$out"' EXIT
BUILD_DIR=$dir BUILD_TYPE=${type:-RelWithDebInfo} SIZE_MIB=8 RUNS=2 FILTER_BENCH_TIME=0 \
  BACKUP_LOGS=20 LOG_KIB=4 ARCHIVE_MIB=4 ARCHIVE_LOGS=2 WINE_LOGS=50 SMALL_LOGS=20 \
  bash bench/run-bench.sh >"$out" 2>&1 || { cat "$out"; exit 1; }
for line in '^dd bs=1M conv=fsync' '^cat big > out; sync out' 'tidewell /batch (restore): [0-9]* KiB' \
  '^backup 20 logs: written x' '^backup 20 logs: peak memory *[0-9]' \
  '^archive 4 MiB: archive copies written' '^wine 50 names: time x' '^small 20 logs: time x copy_floor'; do
  grep -q "$line" "$out" || { cat "$out"; echo "bench smoke: no line matching $line" >&2; exit 1; }
done
echo "bench scripts: 8 MiB log cut and restored, 20 logs backed up, 2 beside a 4 MiB archive," \
  "50 Wine names, 20 small logs against the floor, all through tidewell /batch; tables printed"
