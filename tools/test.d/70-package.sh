#!/usr/bin/env bash
# Installs into a scratch prefix and checks the installed tree with the
# validators, then builds the .deb, unpacks it and converts the sample with it.
set -euo pipefail
build=${BUILD_DIR:-build}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >/dev/null
root="$scratch/root/usr"
for f in bin/tidewell share/applications/tidewell.desktop share/metainfo/jp.koru.Tidewell.metainfo.xml \
         share/man/man1/tidewell.1 share/icons/hicolor/scalable/apps/tidewell.svg; do
  [ -e "$root/$f" ] || { echo "missing from the install: $f"; exit 1; }
done
[ -n "$(find "$root/lib" -path '*/tidewell/tidewell-dialog.so')" ] ||
  { echo "missing from the install: the dialog module"; exit 1; }
for s in 16 32 48 64 128 256; do
  [ -e "$root/share/icons/hicolor/${s}x${s}/apps/tidewell.png" ] || { echo "missing icon ${s}x${s}"; exit 1; }
done
desktop-file-validate "$root/share/applications/tidewell.desktop"
appstreamcli validate --no-net "$root/share/metainfo/jp.koru.Tidewell.metainfo.xml"
man -l "$root/share/man/man1/tidewell.1" >/dev/null 2>&1 || { echo "manual page does not format"; exit 1; }
echo "install tree: program, desktop entry, metainfo, manual page and icons present and valid"

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tidewell_*.deb | head -n 1)
echo "package: $(basename "$deb")"
dpkg-deb -f "$deb" Depends
dpkg-deb -f "$deb" Depends | grep -q libzip || { echo ".deb does not depend on libzip"; exit 1; }
dpkg -x "$deb" "$scratch/deb"
"$build/make-sample" "$scratch/sample" >/dev/null
before=$(md5sum "$scratch/sample/LOG/PATIO01.TXT")
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$scratch/sample/config" \
  "$scratch/deb/usr/bin/tidewell" /batch >/dev/null 2>"$scratch/err" || status=$?
# The sample names one missing log on purpose: that is reported but is no failure.
[ "$status" -eq 0 ] || { echo "unpacked program exited $status"; cat "$scratch/err"; exit 1; }
[ "$before" != "$(md5sum "$scratch/sample/LOG/PATIO01.TXT")" ] || { echo "sample not converted"; exit 1; }
[ -s "$scratch/sample/LOG/STXBAK.zip" ] || { echo "no backup archive"; exit 1; }
echo "unpacked .deb converted the sample"
# The unpacked program finds its dialogs under ../lib: on the offscreen
# platform its dialog opens and waits until the timeout ends it.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$scratch/sample/config" \
  timeout 5 "$scratch/deb/usr/bin/tidewell" >/dev/null 2>"$scratch/err" || status=$?
[ "$status" -eq 124 ] || { echo "unpacked program did not show its dialog (status $status)"; cat "$scratch/err"; exit 1; }
echo "unpacked .deb loads its dialog module"
