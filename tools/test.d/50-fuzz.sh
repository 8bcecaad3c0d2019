#!/usr/bin/env bash
# Fuzzing: builds the libFuzzer targets (to-do list reader, line-feed filters)
# with clang and ASan+UBSan in build-fuzz/, replays the seed corpora under
# tests/fuzz/corpus, then fuzzes each target for FUZZ_SECONDS (default 60).
set -euo pipefail

secs=${FUZZ_SECONDS:-60}
cxx=$(command -v clang++-14 || command -v clang++ || true)
if [[ -z "$cxx" ]]; then
    echo "50-fuzz: clang++ is not installed" >&2
    exit 1
fi
cmake -S tests/fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build build-fuzz -j2 >/dev/null

for target in todolist filters; do
    bin=build-fuzz/fuzz_$target
    seeds=tests/fuzz/corpus/$target
    work=build-fuzz/corpus-$target
    log=build-fuzz/fuzz_$target.log
    rm -rf "$work"
    mkdir -p "$work"
    nseeds=$(find "$seeds" -type f | wc -l)
    if ! "$bin" -runs=0 "$seeds" >"$log" 2>&1; then
        tail -40 "$log" >&2
        echo "50-fuzz: fuzz_$target fails on its seed corpus" >&2
        exit 1
    fi
    if ! "$bin" -dict="tests/fuzz/$target.dict" -max_total_time="$secs" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=build-fuzz/crash-$target- \
        "$work" "$seeds" >"$log" 2>&1; then
        tail -60 "$log" >&2
        echo "50-fuzz: fuzz_$target found a failure; the input is in build-fuzz/crash-$target-*" >&2
        exit 1
    fi
    execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
    echo "50-fuzz: fuzz_$target: $nseeds seeds replayed; $execs executions in ${secs}s; no failure"
done
