#!/usr/bin/env bash
# The Windows package end to end: unpacks build-win/Tidewell-windows-x64.zip
# into a fresh Wine prefix, lays the sample HARUCOM tree at C:\HARUCOM and
# runs `tidewell.exe /batch` with nothing but the package (no WINEPATH):
#   1. no profile: the defaults (C:\HARUCOM\TODOLST2, interval 100, no backup);
#   2. a profile set with `wine reg add`: its list, interval and switches.
# Each result must be byte for byte what the Linux build makes of the same
# tree with the same settings (its HARUCOM names mapped through a prefix).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
native=${BUILD_DIR:-build}
zipfile=$root/build-win/Tidewell-windows-x64.zip
[ -e "$zipfile" ] || { echo "e2e: $zipfile is missing (run tools/windows/build.sh)" >&2; exit 1; }
if [ ! -x "$native/tidewell" ] || [ ! -x "$native/make-sample" ]; then
  cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$native" --target tidewell make-sample >/dev/null
fi

scratch=$(mktemp -d)
export WINEPREFIX=$scratch/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPATH
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1 </dev/null || true
unzip -q "$zipfile" -d "$WINEPREFIX/drive_c"
harucom=$WINEPREFIX/drive_c/HARUCOM
key='HKCU\Software\KORU\tidewell\TidewellSetup'

# The Linux side: its own prefix whose C: holds the same tree.
linux=$scratch/linux
mkdir -p "$linux/prefix/dosdevices" "$linux/config"
ln -s ../drive_c "$linux/prefix/dosdevices/c:"

# Compares logs (and the members of any backup archive) of both trees.
compare() {
  local what=$1 a=$2 b=$3
  for f in "$a"/LOG/*; do
    local name
    name=$(basename "$f")
    if [ "$name" = '$LFCUT$$.LCK' ]; then
      continue  # the hidden lock file that stands in for a folder lock on Windows
    elif [ "$name" = STXBAK.zip ]; then
      [ "$(unzip -Z1 "$f" | sort)" = "$(unzip -Z1 "$b/LOG/$name" | sort)" ] ||
        { echo "e2e ($what): archive members differ" >&2; exit 1; }
      for m in $(unzip -Z1 "$f"); do
        cmp <(unzip -p "$f" "$m") <(unzip -p "$b/LOG/$name" "$m") ||
          { echo "e2e ($what): archived $m differs" >&2; exit 1; }
      done
    else
      cmp "$f" "$b/LOG/$name" || { echo "e2e ($what): $name differs from the Linux run" >&2; exit 1; }
    fi
  done
  [ "$(ls "$a/LOG" | grep -vxF '$LFCUT$$.LCK')" = "$(ls "$b/LOG")" ] || { echo "e2e ($what): different files left" >&2; exit 1; }
}

run_case() {
  local what=$1 conf=$2
  rm -rf "$harucom" "$linux/prefix/drive_c" "$linux/config/KORU"
  "$native/make-sample" "$harucom" 'C:\HARUCOM' >/dev/null
  rm -rf "$harucom/config"
  mkdir -p "$linux/prefix/drive_c"
  cp -a "$harucom" "$linux/prefix/drive_c/HARUCOM"
  # (The Linux profile names the list with a slash: a backslash there escapes.)
  if [ -n "$conf" ]; then
    mkdir -p "$linux/config/KORU"
    printf '[TidewellSetup]\n%s' "$conf" >"$linux/config/KORU/tidewell.conf"
  fi
  local before wstatus=0 lstatus=0
  before=$(md5sum <"$harucom/LOG/PATIO01.TXT")
  (cd "$WINEPREFIX/drive_c/Tidewell" && wine tidewell.exe /batch) >"$scratch/win.out" 2>"$scratch/win.err" </dev/null ||
    wstatus=$?
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM WINEPREFIX="$linux/prefix" \
    XDG_CONFIG_HOME="$linux/config" "$native/tidewell" /batch >"$scratch/linux.out" 2>"$scratch/linux.err" ||
    lstatus=$?
  # The sample names one missing log on purpose: reported, not a failure.
  [ "$wstatus" -eq 0 ] || { echo "e2e ($what): tidewell.exe exited $wstatus" >&2; cat "$scratch/win.err" >&2; exit 1; }
  [ "$lstatus" -eq 0 ] || { echo "e2e ($what): Linux run exited $lstatus" >&2; cat "$scratch/linux.err" >&2; exit 1; }
  [ "$before" != "$(md5sum <"$harucom/LOG/PATIO01.TXT")" ] || { echo "e2e ($what): nothing converted" >&2; exit 1; }
  cmp "$scratch/win.out" "$scratch/linux.out" || { echo "e2e ($what): trace differs" >&2; exit 1; }
  grep -q 'MISSING.TXT' "$scratch/win.err" || { echo "e2e ($what): missing log not reported" >&2; exit 1; }
  compare "$what" "$harucom" "$linux/prefix/drive_c/HARUCOM"
}

# 1. A fresh prefix has no profile: the defaults.
if wine reg query "$key" >/dev/null 2>&1; then echo "e2e: the fresh prefix has a profile" >&2; exit 1; fi
run_case defaults ""
[ ! -e "$harucom/LOG/STXBAK.zip" ] || { echo "e2e (defaults): a backup was made" >&2; exit 1; }
echo "e2e: no profile: converted with the defaults, identical to the Linux run"

# 2. The registry's values: another list name, interval 3, backup and V2 on.
wine reg add "$key" /v TODOLST2 /t REG_SZ /d 'C:\HARUCOM\TODOLST2.DAT' /f >/dev/null 2>&1
wine reg add "$key" /v LINES /t REG_DWORD /d 3 /f >/dev/null 2>&1
wine reg add "$key" /v REVERSE /t REG_DWORD /d 0 /f >/dev/null 2>&1
wine reg add "$key" /v BACKUP /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add "$key" /v FORV2 /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg query "$key" 2>/dev/null | grep -q 'LINES.*REG_DWORD.*0x3' || { echo "e2e: reg add did not take" >&2; exit 1; }
run_case registry $'TODOLST2=C:/HARUCOM/TODOLST2.DAT\nLINES=3\nREVERSE=0\nBACKUP=1\nFORV2=1\n'
[ -s "$harucom/LOG/STXBAK.zip" ] || { echo "e2e (registry): no backup archive" >&2; exit 1; }
echo "e2e: profile from wine reg add: converted with its values, identical to the Linux run"

