#!/usr/bin/env bash
# Installs what is missing, builds Tidewell plainly and with ASan+UBSan, runs
# the whole suite in both, then the extra checks in tools/test.d/.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
jobs=$(nproc)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 600 | tee -a "$log"
}

# Explicitly on: tools/demo.sh builds the same folder without them.
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDEWELL_BUILD_TESTS=ON -DTIDEWELL_BUILD_BENCH=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DTIDEWELL_SANITIZE=ON -DTIDEWELL_BUILD_BENCH=OFF

extra=0
for step in tools/test.d/*.sh; do
  [ -e "$step" ] || continue
  echo "=== $step"
  bash "$step"
  extra=$((extra + 1))
done

passed=$(grep -oE '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" |
  awk '{p += $NF - $4; f += $4} END {print p + 0}')
failed=$(grep -oE '[0-9]+ tests failed out of' "$log" | awk '{f += $1} END {print f + 0}')
echo "suites: plain and ASan+UBSan; extra checks: $extra"
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
