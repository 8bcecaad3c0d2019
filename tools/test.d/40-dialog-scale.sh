#!/usr/bin/env bash
# The dialogs at 200%: no control is narrower or lower than its caption needs
# and none reaches outside its window (the 100% case runs in the suite).
set -euo pipefail
build=${BUILD_DIR:-build}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 XDG_CONFIG_HOME="$scratch" \
  "$build/tests/ui/dialog_test" noControlIsCutShort -silent
echo "dialogs at 200%: every caption fits, every control inside its window"
