#!/usr/bin/env bash
# Builds Tidewell for 64-bit Windows with mingw-w64 and packs the program with
# everything it loads into build-win/Tidewell-windows-x64.zip:
#   tidewell.exe, the Qt DLLs, platforms/qwindows.dll, the styles plugin, the
#   mingw runtime DLLs, qt.conf, and Qt's Japanese translation when present.
# The cross-built libraries are cached in build-win/deps (tools/windows/deps.sh).
# With --all, the test programs are built too (tools/windows/test.sh does this).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
targets=(tidewell)
[ "${1:-}" = "--all" ] && targets=(all)

bash tools/windows/setup.sh
bash tools/windows/deps.sh
deps=${TIDEWELL_WIN_DEPS:-$root/build-win/deps}
qt=$deps/qt6-mingw
build=$root/build-win/build
mingw=x86_64-w64-mingw32

cmake -S . -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_FIND_ROOT_PATH="$qt;$deps/prefix" -DCMAKE_PREFIX_PATH="$qt;$deps/prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DTIDEWELL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"${JOBS:-$(nproc)}" --target "${targets[@]}"

# The package: the program and, found through the DLLs each file imports, the
# libraries it needs from Qt and the mingw runtime.
stage=$root/build-win/package/Tidewell
rm -rf "$root/build-win/package"
mkdir -p "$stage/platforms" "$stage/styles"
cp "$build/tidewell.exe" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
runtime_dirs=("$qt/bin" /usr/lib/gcc/$mingw/12-posix /usr/$mingw/lib /usr/$mingw/bin)
pending=("$stage/tidewell.exe" "$stage/platforms/qwindows.dll" "$stage/styles/qwindowsvistastyle.dll")
while [ ${#pending[@]} -gt 0 ]; do
  file=${pending[0]}
  pending=("${pending[@]:1}")
  while read -r dll; do
    [ -e "$stage/$dll" ] && continue
    for dir in "${runtime_dirs[@]}"; do
      if [ -e "$dir/$dll" ]; then
        cp "$dir/$dll" "$stage/"
        pending+=("$stage/$dll")
        break
      fi
    done
    # Anything not found is the system's own (KERNEL32.dll, USER32.dll, ...).
  done < <($mingw-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
done
# Debugging symbols stay out of the package (libstdc++ alone carries 20 MB).
find "$stage" -name '*.dll' -exec $mingw-strip --strip-unneeded {} +
$mingw-strip "$stage/tidewell.exe"
cat >"$stage/qt.conf" <<'CONF'
[Paths]
Prefix = .
Plugins = .
Translations = translations
CONF
for qm in "$qt/translations/qtbase_ja.qm" "$root/build-win/build/translations/qtbase_ja.qm"; do
  if [ -e "$qm" ]; then
    mkdir -p "$stage/translations"
    cp "$qm" "$stage/translations/"
    break
  fi
done

zipfile=$root/build-win/Tidewell-windows-x64.zip
rm -f "$zipfile"
(cd "$root/build-win/package" && zip -qr -X "$zipfile" Tidewell)
echo "windows package: $zipfile ($(du -k "$zipfile" | cut -f1) KiB)"
(cd "$root/build-win/package" && find Tidewell -type f | sort | sed 's/^/  /')
