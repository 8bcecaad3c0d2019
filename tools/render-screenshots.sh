#!/usr/bin/env bash
# Renders the main dialog and the About box under Xvfb with a Japanese font and
# saves them as docs/main-dialog.png and docs/about-box.png.
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
# A scratch profile, the X11 platform on a virtual screen, our scale.
env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$scratch" QT_SCALE_FACTOR="$scale" \
  xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
  "$build/tests/ui/render_dialogs" "$out/main-dialog.png" "$out/about-box.png"
for f in "$out/main-dialog.png" "$out/about-box.png"; do
  echo "rendered $f at scale $scale"
done
