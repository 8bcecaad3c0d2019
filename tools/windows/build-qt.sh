#!/usr/bin/env bash
# Builds Qt 6.4.2 for 64-bit Windows from Debian's qt6-base source package,
# shared, with Debian's native Qt as host tools, and installs it into the
# folder given (default build-win/deps/qt6-mingw). About 20 minutes on two
# cores. Tablet events are off: Debian's source drops the library the windows
# platform plugin would want for them.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
dest=${1:-$root/build-win/deps/qt6-mingw}
mkdir -p "$(dirname "$dest")"
dest=$(cd "$(dirname "$dest")" && pwd)/$(basename "$dest")
work=$(dirname "$dest")/qt6-work
jobs=${JOBS:-$(nproc)}

rm -rf "$work"
mkdir -p "$work"
(cd "$work" && apt-get source -qq qt6-base >/dev/null)
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
[ -n "$src" ] || { echo "build-qt: apt-get source qt6-base unpacked nothing" >&2; exit 1; }

cmake -S "$src" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_INSTALL_PREFIX="$dest" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF -DFEATURE_pkg_config=OFF \
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no \
  -DFEATURE_vulkan=OFF -DFEATURE_testlib=ON -DFEATURE_tabletevent=OFF -DFEATURE_androiddeployqt=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_md4c=OFF -DFEATURE_zstd=OFF -DFEATURE_icu=OFF \
  -DFEATURE_glib=OFF -DFEATURE_direct2d=OFF
cmake --build "$work/build" -j"$jobs"
cmake --install "$work/build"
rm -rf "$work"
