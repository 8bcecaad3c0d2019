#!/usr/bin/env bash
# Times the rewrite of one large CR LF log against plain copies of it.
#
#   bench/run-bench.sh [DIR]
#
# Builds Release into build-perf, runs the in-memory filter benchmarks, makes a
# 512 MiB log in a fresh folder under DIR (default /tmp), checks that the
# program cuts and restores it right, and times with hyperfine: tidewell /batch
# cutting it, restoring it, cat (alone and followed by a flush of its output),
# dd conv=fsync and tr -d. Then peak memory of
# both rewrites. Every file it made is removed at the end, also on failure.
# Then bench/scale-bench.sh: runs over many logs (Backup into a new archive,
# Backup beside a big archive, Wine names in another case, small logs against
# a copy-flush-rename floor), each beside its baseline.
#
# For a quick check: BUILD_DIR, BUILD_TYPE, SIZE_MIB (a multiple of 4), RUNS,
# and FILTER_BENCH_TIME (seconds per in-memory benchmark, 0 to skip them);
# bench/scale-bench.sh names its own sizes. SECTIONS picks what runs, any of
# "filters big backup archive wine small" (the default: all).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-perf}
build_type=${BUILD_TYPE:-Release}
size_mib=${SIZE_MIB:-512}
runs=${RUNS:-5}
filter_time=${FILTER_BENCH_TIME:-0.5}
parent=$(cd "${1:-/tmp}" && pwd)
sections=${SECTIONS:-filters big backup archive wine small}
has() { [[ " $sections " == *" $1 "* ]]; }

for tool in cmake ninja hyperfine /usr/bin/time awk; do
  command -v "$tool" >/dev/null || { echo "run-bench: $tool is missing" >&2; exit 1; }
done

echo "== build ($build_type) in $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" -DTIDEWELL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target tidewell bench_filters copy_floor >/dev/null
build=$(cd "$build" && pwd)  # the timed commands run in the work folder
tidewell=$build/tidewell

echo "== machine"
echo "cpus: $(nproc), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "memory: $(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo), kernel $(uname -r)"

if has filters && [ "$filter_time" != 0 ]; then
  echo "== in-memory filters (bench_filters)"
  "$build/bench/bench_filters" --benchmark_min_time="$filter_time" 2>&1 | grep -E '^(BM_|Benchmark|---)'
fi

# The runs over many logs, after the big log (or alone).
scale() {
  local only= s
  for s in backup archive wine small; do has $s && only+=" $s"; done
  [ -z "$only" ] || TIDEWELL=$tidewell FLOOR=$build/bench/copy_floor SECTIONS=$only \
    bash "$root/bench/scale-bench.sh" "$parent"
}
if ! has big; then
  scale
  exit
fi

work=$(mktemp -d "$parent/tidewell-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
echo "== files in $work ($(df -T "$work" | awk 'NR == 2 {print $2}'))"

# One 4 MiB piece of lines of 0 to 80 printable bytes, repeated.
awk 'BEGIN {
  srand(1)
  while (n < 4194304) {
    len = int(rand() * 81); line = ""
    for (i = 0; i < len; i++) line = line sprintf("%c", 33 + int(rand() * 94))
    printf "%s\r\n", line; n += len + 2
  }
}' >"$work/piece"
for ((i = 0; i < size_mib / 4; i++)); do cat "$work/piece"; done >"$work/big.log"
rm "$work/piece"
bytes=$(stat -c %s "$work/big.log")
lines=$(tr -cd '\n' <"$work/big.log" | wc -c)
echo "big.log: $bytes bytes, $lines CR LF lines"

# A to-do list with one PATIO entry naming log.txt, and a profile for each direction.
printf '\x02\x09\x32\x05PATIO\x02ab\xff\x61\x62\x00\x00\x44%s\x0d' "$work/log.txt" >"$work/TODOLST2.DAT"
for mode in cut:0 restore:1; do
  mkdir -p "$work/${mode%:*}/KORU"
  printf '[TidewellSetup]\nTODOLST2=%s\nLINES=100\nREVERSE=%s\n' "$work/TODOLST2.DAT" "${mode#*:}" \
    >"$work/${mode%:*}/KORU/tidewell.conf"
done

# The cut copy that the restore runs start from; also a check that the rewrite
# did its work: one LF is kept in every 101 lines, plus the one at the end.
cp "$work/big.log" "$work/log.txt"
XDG_CONFIG_HOME=$work/cut "$tidewell" /batch >/dev/null
kept=$(tr -cd '\n' <"$work/log.txt" | wc -c)
want=$((lines / 101 + 1))
[ "$kept" -eq "$want" ] || { echo "run-bench: cut kept $kept LFs, expected $want" >&2; exit 1; }
mv "$work/log.txt" "$work/cut.log"
cp "$work/cut.log" "$work/log.txt"
XDG_CONFIG_HOME=$work/restore "$tidewell" /batch >/dev/null
# Restoring gives the original back, plus at most the LF the cut appends.
restored=$(stat -c %s "$work/log.txt")
if ! cmp -s -n "$bytes" "$work/log.txt" "$work/big.log" || [ $((restored - bytes)) -gt 1 ]; then
  echo "run-bench: restoring the cut log did not give the original back" >&2
  exit 1
fi
rm "$work/log.txt"

echo "== hyperfine ($runs runs each; each rewrite starts from a fresh, synced copy)"
cd "$work"
hyperfine --style basic --runs "$runs" --warmup 1 --export-csv "$work/times.csv" \
  --prepare "cp big.log log.txt && sync" -n "tidewell /batch (cut)" \
  "XDG_CONFIG_HOME=$work/cut $tidewell /batch >/dev/null" \
  --prepare "cp cut.log log.txt && sync" -n "tidewell /batch (restore)" \
  "XDG_CONFIG_HOME=$work/restore $tidewell /batch >/dev/null" \
  --prepare "sync" -n "cat big > out" "cat big.log > out" \
  --prepare "sync" -n "cat big > out; sync out" "cat big.log > out && sync out" \
  --prepare "sync" -n "dd bs=1M conv=fsync" "dd if=big.log of=out bs=1M conv=fsync status=none" \
  --prepare "sync" -n "tr -d '\\n' < big > out" "tr -d '\\n' < big.log > out"

echo "== summary ($bytes bytes)"
awk -F, -v bytes="$bytes" '
  NR == 1 { next }
  { gsub(/"/, ""); name[NR] = $1; mean[NR] = $2; sd[NR] = $3
    if ($1 == "cat big > out") cat = $2; if ($1 ~ /sync out$/) catsync = $2
    if ($1 ~ /^dd/) dd = $2 }
  END {
    printf "%-28s %9s %8s %9s %7s %7s %7s\n", "command", "mean s", "+- s", "MB/s", "x cat", "x cat+s", "x dd"
    for (i = 2; i <= NR; i++)
      printf "%-28s %9.3f %8.3f %9.0f %7.2f %7.2f %7.2f\n", name[i], mean[i], sd[i],
        bytes / mean[i] / 1e6, mean[i] / cat, mean[i] / catsync, mean[i] / dd
  }' "$work/times.csv"
echo "(the rewrite flushes its copy to disk before the rename: cat followed by a flush of its"
echo " output (x cat+s) and dd conv=fsync are the like-for-like comparisons; cat and tr alone"
echo " leave their output in the page cache)"

echo "== peak resident memory"
peak() {
  XDG_CONFIG_HOME=$1 /usr/bin/time -v "$tidewell" /batch 2>"$work/time.txt" >/dev/null
  awk -F': ' '/Maximum resident/ {print $2}' "$work/time.txt"
}
for mode in cut:big.log restore:cut.log; do
  cp "$work/${mode#*:}" log.txt && sync
  echo "tidewell /batch (${mode%:*}): $(peak "$work/${mode%:*}") KiB"
done
# The program's own floor: the same run over a list that names no file.
mkdir -p "$work/idle/KORU"
: >"$work/EMPTY.DAT"
printf '[TidewellSetup]\nTODOLST2=%s\n' "$work/EMPTY.DAT" >"$work/idle/KORU/tidewell.conf"
echo "tidewell /batch (empty list, for comparison): $(peak "$work/idle") KiB"

cd "$root"
rm -rf "$work"
scale
