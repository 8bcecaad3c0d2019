#!/usr/bin/env bash
# Windows: cross-builds the package with mingw-w64 and runs the Windows tests
# under Wine (the portable suites, the real window, the package end to end).
# With the ready Qt beside the clone this takes a few minutes; building Qt
# from source first adds about twenty.
set -euo pipefail
start=$SECONDS
bash tools/windows/build.sh >/dev/null
bash tools/windows/test.sh
echo "windows: package built and tested under Wine in $((SECONDS - start)) s"
