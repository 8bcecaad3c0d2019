#!/usr/bin/env bash
# Builds Tidewell, writes the sample HARUCOM tree and converts it in batch
# mode, then shows each log before and after (^M is CR, $ ends a line at LF).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh --build
# The build's own chatter goes to a log, shown only when something fails.
# Only the program is configured here: the tests and benchmarks come with
# tools/test.sh.
buildlog=$PWD/build-demo.log
echo "--- building (log: build-demo.log)"
if ! { cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DTIDEWELL_BUILD_TESTS=OFF -DTIDEWELL_BUILD_BENCH=OFF &&
       cmake --build build --target tidewell make-sample; } >"$buildlog" 2>&1; then
  cat "$buildlog"
  echo "--- the build failed; its output is above and in build-demo.log"
  exit 1
fi
rm -rf sample
build/make-sample "$PWD/sample"
cp -r sample/LOG sample/LOG.before
echo "--- tidewell /batch (profile: sample/config/KORU/tidewell.conf, LINES=2, BACKUP=1)"
status=0
XDG_CONFIG_HOME="$PWD/sample/config" build/tidewell /batch >sample/trace.txt || status=$?
echo "--- standard output (trace text): '$(cat sample/trace.txt)'"
echo "--- exit status $status"
for f in sample/LOG.before/*; do
  name=$(basename "$f")
  echo "--- $name: before | after"
  paste -d'|' <(cat -A "$f") <(cat -A "sample/LOG/$name") | column -t -s'|'
done
echo "--- backup archive"
unzip -l sample/LOG/STXBAK.zip
