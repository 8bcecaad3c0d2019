#!/usr/bin/env bash
# Installs into a scratch prefix and checks the installed tree with the
# validators (the manual page with mandoc, the example systemd units with
# systemd-analyze), then builds the .deb, checks it with lintian, unpacks it
# and converts the sample with it.
set -euo pipefail
build=${BUILD_DIR:-build}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >/dev/null
root="$scratch/root/usr"
for f in bin/tidewell share/applications/tidewell.desktop share/metainfo/jp.koru.Tidewell.metainfo.xml \
         share/man/man1/tidewell.1.gz share/icons/hicolor/scalable/apps/tidewell.svg \
         share/doc/tidewell/copyright share/doc/tidewell/changelog.gz; do
  [ -e "$root/$f" ] || { echo "missing from the install: $f"; exit 1; }
done
[ -n "$(find "$root/lib" -path '*/tidewell/tidewell-dialog.so')" ] ||
  { echo "missing from the install: the dialog module"; exit 1; }
for s in 16 32 48 64 128 256; do
  [ -e "$root/share/icons/hicolor/${s}x${s}/apps/tidewell.png" ] || { echo "missing icon ${s}x${s}"; exit 1; }
done
desktop-file-validate "$root/share/applications/tidewell.desktop"
appstreamcli validate --no-net "$root/share/metainfo/jp.koru.Tidewell.metainfo.xml"
man -l "$root/share/man/man1/tidewell.1.gz" >/dev/null 2>&1 || { echo "manual page does not format"; exit 1; }
# mandoc's lint exits 0 on style notes; any warning or error it prints fails.
lint=$(mandoc -T lint -W warning packaging/tidewell.1 2>&1 || true)
[ -z "$lint" ] || { echo "mandoc -T lint:"; echo "$lint"; exit 1; }
echo "install tree: program, desktop entry, metainfo, manual page, docs and icons present and valid"

# The example units, with the program they start pointing into the scratch
# install. systemd-analyze's user mode needs a runtime directory, which CI
# (root, no systemd running) does not have.
mkdir -p "$scratch/units" "$scratch/run"
chmod 700 "$scratch/run"
sed "s#/usr/bin/tidewell#$root/bin/tidewell#" docs/systemd/tidewell.service >"$scratch/units/tidewell.service"
cp docs/systemd/tidewell.timer "$scratch/units/"
XDG_RUNTIME_DIR="$scratch/run" systemd-analyze verify --user --man=no \
  "$scratch/units/tidewell.service" "$scratch/units/tidewell.timer"
echo "example systemd units: verified"

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tidewell_*.deb | head -n 1)
echo "package: $(basename "$deb")"
dpkg-deb -f "$deb" Depends
dpkg-deb -f "$deb" Depends | grep -q libzip || { echo ".deb does not depend on libzip"; exit 1; }
dpkg-deb -f "$deb" Depends | grep -q qt6-translations-l10n ||
  { echo ".deb does not depend on Qt's translations"; exit 1; }
# Debian's policy at lintian's default level: no error, no warning.
lintian --fail-on error,warning --suppress-tags-from-file /dev/null "$deb"
echo "lintian: no errors or warnings"
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
