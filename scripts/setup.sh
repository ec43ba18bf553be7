#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine:
# the MinGW-w64 i686 toolchain, Wine (32-bit), the zh_CN.UTF-8 locale, clang
# with libFuzzer for the native fuzz targets, and
# static i686 builds of GNU libiconv, libpng, libjpeg-turbo and GoogleTest in
# a cache folder. Idempotent: a second run only checks.
set -euo pipefail
trap 'echo "setup.sh: failed at line $LINENO: $BASH_COMMAND" >&2' ERR

TC_DIR=${TC_DIR:-/opt/zoq-w32}
SYSROOT=$TC_DIR/sysroot
SRC=$TC_DIR/src
BLD=$TC_DIR/build
STAMP=$TC_DIR/.stamp-v1
export DEBIAN_FRONTEND=noninteractive
here=$(cd "$(dirname "$0")/.." && pwd)

need_root() { [ "$(id -u)" = 0 ] || { echo "setup.sh: run as root (apt-get)" >&2; exit 1; }; }
# A mirror caught in the middle of a sync fails an index now and then: tried
# again, then gone on with the lists as they are (the install says what is
# missing).
apt_update() {
  local try
  for try in 1 2 3; do
    apt-get update -qq && return 0
    sleep 5
  done
  echo "setup.sh: apt-get update failed; going on with the package lists as they are" >&2
}
# An index of one architecture left out (a suite's i386 list caught mid-sync)
# leaves the two architectures of a library at different versions, and the
# install cannot resolve the 32-bit Wine. Tried again from the release's own
# suites, whose lists hold both architectures at one version.
apt_install() {
  apt-get install -y -qq --no-install-recommends "$@" >/dev/null && return 0
  local release
  release=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  echo "setup.sh: the install failed; trying again from $release's own suites" >&2
  apt-get install -y -qq --no-install-recommends -t "$release" "$@" >/dev/null
}

# WITH_GUI=1: also what scripts/screenshots.sh needs (an X server without a
# screen, X tools, ImageMagick and a Chinese font).
if [ "${WITH_GUI:-0}" = 1 ]; then
  GUI_PKGS=(xvfb xauth x11-apps imagemagick fonts-wqy-microhei)
  if ! dpkg -s "${GUI_PKGS[@]}" >/dev/null 2>&1; then
    need_root
    apt_update
    apt_install "${GUI_PKGS[@]}"
  fi
fi

if [ -f "$STAMP" ] && command -v i686-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null \
   && command -v clang++ >/dev/null \
   && locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  exit 0
fi
need_root
mkdir -p "$SRC" "$SYSROOT" "$BLD"

# 1. i386 multiarch and a deb-src entry taken from the machine's own Debian entry.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
if ! grep -rqs '^Types: *deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  [ -n "$uri" ] || uri=$(sed -E 's/\[[^]]*\]//' /etc/apt/sources.list 2>/dev/null | awk '$1=="deb" && $3=="bookworm" {print $2; exit}')
  [ -n "$uri" ] || uri=http://deb.debian.org/debian
  printf 'Types: deb-src\nURIs: %s\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$uri" \
    > /etc/apt/sources.list.d/zoq-src.sources
fi
apt_update

# 2. Packages.
PKGS=(cmake ninja-build make ca-certificates xz-utils dpkg-dev locales python3 binutils-mingw-w64-i686
      gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev googletest
      wine wine32:i386 g++ libgtest-dev nlohmann-json3-dev clang libclang-rt-14-dev)
command -v npm >/dev/null || PKGS+=(npm)
apt_install "${PKGS[@]}"

# 3. Locale for ANSI code page 936 under Wine.
if ! locale -a | grep -qix 'zh_CN.utf8'; then
  sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

# 4. Toolchain file.
TCF=$TC_DIR/mingw-i686.cmake
cat > "$TCF" <<TCEOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 $SYSROOT)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
TCEOF

# 5. GNU libiconv (sources from the npm package "iconv").
if [ ! -f "$SYSROOT/lib/libiconv.a" ]; then
  rm -rf "$SRC/iconv" && mkdir -p "$SRC/iconv"
  (cd "$SRC" && npm pack iconv@3.0.1 --silent >/dev/null && tar xzf iconv-3.0.1.tgz -C iconv --strip-components=1)
  I=$SRC/iconv
  mkdir -p "$BLD/iconv" "$SYSROOT/include" "$SYSROOT/lib"
  i686-w64-mingw32-gcc-posix -O2 -DICONV_CONST=const -DENABLE_EXTRA=1 -I"$I/support" -I"$I/deps/libiconv/lib" \
      -c "$I/deps/libiconv/lib/iconv.c" -o "$BLD/iconv/iconv.o"
  i686-w64-mingw32-gcc-posix -O2 -I"$I/support" -c "$I/support/localcharset.c" -o "$BLD/iconv/localcharset.o"
  rm -f "$SYSROOT/lib/libiconv.a"
  i686-w64-mingw32-ar rcs "$SYSROOT/lib/libiconv.a" "$BLD/iconv/iconv.o" "$BLD/iconv/localcharset.o"
  cp "$I/support/iconv.h" "$SYSROOT/include/iconv.h"
fi

# 6. libpng and libjpeg-turbo from Debian's source packages.
if [ ! -f "$SYSROOT/lib/libpng16.a" ] || [ ! -f "$SYSROOT/lib/libjpeg.a" ]; then
  rm -rf "$SRC/deb" && mkdir -p "$SRC/deb"
  (cd "$SRC/deb" && apt-get source --download-only -qq libpng1.6 libjpeg-turbo >/dev/null 2>&1 \
     && dpkg-source -x --no-check libpng1.6_*.dsc libpng >/dev/null \
     && dpkg-source -x --no-check libjpeg-turbo_*.dsc libjpeg-turbo >/dev/null)
  cmake -S "$SRC/deb/libpng" -B "$BLD/png" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TCF" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$SYSROOT" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DZLIB_INCLUDE_DIR=/usr/i686-w64-mingw32/include -DZLIB_LIBRARY=/usr/i686-w64-mingw32/lib/libz.a >/dev/null
  cmake --build "$BLD/png" >/dev/null && cmake --install "$BLD/png" >/dev/null
  cmake -S "$SRC/deb/libjpeg-turbo" -B "$BLD/jpeg" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TCF" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$SYSROOT" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -Wno-dev >/dev/null 2>&1
  cmake --build "$BLD/jpeg" >/dev/null && cmake --install "$BLD/jpeg" >/dev/null
fi

# 7. GoogleTest/GoogleMock for i686.
if [ ! -f "$SYSROOT/lib/libgtest.a" ]; then
  cmake -S /usr/src/googletest -B "$BLD/gtest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TCF" -DCMAKE_BUILD_TYPE=Release \
    -Dgtest_disable_pthreads=ON -DCMAKE_INSTALL_PREFIX="$SYSROOT" >/dev/null
  cmake --build "$BLD/gtest" >/dev/null && cmake --install "$BLD/gtest" >/dev/null
fi

touch "$STAMP"
echo "setup.sh: toolchain ready in $TC_DIR"
