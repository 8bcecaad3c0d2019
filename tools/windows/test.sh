#!/usr/bin/env bash
# Builds the Windows program and its tests (tools/windows/build.sh --all) and
# runs them under Wine: the portable suites through ctest's emulator, the
# dialog's real window on an Xvfb display, then the package end to end in a
# fresh prefix (tools/windows/e2e.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
bash tools/windows/build.sh --all
deps=${TIDEWELL_WIN_DEPS:-$root/build-win/deps}
mingw=x86_64-w64-mingw32

# A prefix of the suite's own, made once and reused.
export WINEPREFIX=$root/build-win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Without the runtime DLLs on its path a test ends with status 53 and no output.
export WINEPATH="$deps/qt6-mingw/bin;/usr/lib/gcc/$mingw/12-posix;/usr/$mingw/lib"

# Windows need a display: a private Xvfb.
display=:$((100 + $$ % 800))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display

# Wine's helpers inherit the pipes ctest reads from and keep them open: start
# the server and the prefix before ctest, away from its pipes.
# A new prefix's first server must be gone before a persistent one starts.
if [ ! -e "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 </dev/null || true
  wineserver -w >/dev/null 2>&1 </dev/null || true
fi
wineserver -p >/dev/null 2>&1 </dev/null
wine cmd /c exit >/dev/null 2>&1 </dev/null

ctest --test-dir build-win/build --output-on-failure -j"${JOBS:-$(nproc)}" --timeout 600
bash tools/windows/e2e.sh
