#!/usr/bin/env bash
# Cross-builds what the Windows build links against into a cache outside the
# sources, reused when present:
#   $DEPS/qt6-mingw  Qt 6.4.2 (Core, Gui, Widgets, Test, platform plugins), shared
#   $DEPS/prefix     GoogleTest and libzip, static
# DEPS is build-win/deps unless TIDEWELL_WIN_DEPS names another folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
deps=${TIDEWELL_WIN_DEPS:-$root/build-win/deps}
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=${JOBS:-$(nproc)}
mkdir -p "$deps"
deps=$(cd "$deps" && pwd)
prefix=$deps/prefix

# Qt: the ready build beside the clone when its checksum is right, else our own.
qt_sha256=62af6e08918962374895c81e72a9215fef8b7463356340cf3e7c5f621808ee0d
qt_ready=$root/../shared/windows/qt6-base-6.4.2-mingw64.tar.zst
if [ ! -e "$deps/qt6-mingw/lib/cmake/Qt6/Qt6Config.cmake" ]; then
  if [ -e "$qt_ready" ] && [ "$(sha256sum <"$qt_ready" | cut -d' ' -f1)" = "$qt_sha256" ]; then
    echo "deps: Qt from $qt_ready"
    rm -rf "$deps/qt6-mingw.part"
    mkdir -p "$deps/qt6-mingw.part"
    zstd -dc "$qt_ready" | tar -x -C "$deps/qt6-mingw.part"
    mv "$deps/qt6-mingw.part/qt6-mingw" "$deps/qt6-mingw"
    rmdir "$deps/qt6-mingw.part"
  else
    [ -e "$qt_ready" ] && echo "deps: $qt_ready has the wrong checksum; building Qt instead" >&2
    echo "deps: building Qt from Debian's source package (about 20 minutes on two cores)"
    bash tools/windows/build-qt.sh "$deps/qt6-mingw"
  fi
fi

# GoogleTest from Debian's sources of it.
if [ ! -e "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
  echo "deps: GoogleTest"
  rm -rf "$deps/build-googletest"
  cmake -S /usr/src/googletest -B "$deps/build-googletest" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF >/dev/null
  cmake --build "$deps/build-googletest" -j"$jobs" >/dev/null
  cmake --install "$deps/build-googletest" >/dev/null
  rm -rf "$deps/build-googletest"
fi

# libzip from Debian's source package, static, with zlib only: no encryption
# or other compressors are needed to store logs in STXBAK.zip.
if [ ! -e "$prefix/lib/cmake/libzip/libzip-config.cmake" ]; then
  echo "deps: libzip"
  rm -rf "$deps/src-libzip"
  mkdir -p "$deps/src-libzip"
  (cd "$deps/src-libzip" && apt-get source -qq libzip >/dev/null)
  src=$(find "$deps/src-libzip" -mindepth 1 -maxdepth 1 -type d -name 'libzip-*' | head -n 1)
  [ -n "$src" ] || { echo "deps: apt-get source libzip unpacked nothing" >&2; exit 1; }
  cmake -S "$src" -B "$deps/build-libzip" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DZLIB_USE_STATIC_LIBS=ON \
    -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF \
    -DENABLE_WINDOWS_CRYPTO=OFF -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF >/dev/null
  cmake --build "$deps/build-libzip" -j"$jobs" >/dev/null
  cmake --install "$deps/build-libzip" >/dev/null
  rm -rf "$deps/build-libzip" "$deps/src-libzip"
fi
echo "deps: ready in $deps"
