#!/usr/bin/env bash
# Renders the main dialog and the About box under Xvfb with a Japanese font and
# saves them as docs/main-dialog.png and docs/about-box.png; then, under a
# Japanese locale with Qt's own Japanese texts, the file dialog and a message
# box as docs/file-dialog-ja.png and docs/message-box-ja.png.
#
#   tools/render-screenshots.sh [build-dir]      (default: build)
#   SCALE=2 OUT=/tmp/shots tools/render-screenshots.sh build   (a 200% check)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scale=${SCALE:-1}
out=${OUT:-docs}

need=()
command -v xvfb-run >/dev/null || need+=(xvfb)
command -v xauth >/dev/null || need+=(xauth)
[ -e /usr/share/qt6/translations/qtbase_ja.qm ] || need+=(qt6-translations-l10n)
fc-list :lang=ja family | grep -qi 'IPAPGothic' || need+=(fonts-ipafont-gothic)
if ((${#need[@]})); then
  echo "installing ${need[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S . -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target render_dialogs >/dev/null

mkdir -p "$out"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# A scratch profile, the X11 platform on a virtual screen, our scale, Japanese.
env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY -u LC_ALL -u LC_MESSAGES -u LANGUAGE LANG=ja_JP.UTF-8 \
  XDG_CONFIG_HOME="$scratch" QT_SCALE_FACTOR="$scale" \
  xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
  "$build/tests/ui/render_dialogs" "$out/main-dialog.png" "$out/about-box.png" \
  "$out/file-dialog-ja.png" "$out/message-box-ja.png"
for f in "$out/main-dialog.png" "$out/about-box.png" "$out/file-dialog-ja.png" "$out/message-box-ja.png"; do
  echo "rendered $f at scale $scale"
done
