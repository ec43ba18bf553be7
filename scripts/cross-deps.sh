#!/usr/bin/env bash
# The CMake toolchain file and the static Windows libraries the build links
# (GNU libiconv, libpng with zlib, libjpeg-turbo, GoogleTest/GoogleMock),
# for one target, in a cache folder: setup.sh makes both, the i686 ones (the
# DLL the hosts load) and the x86_64 ones (the build every Wine test runs
# in). Sources fetched once, into the i686 cache (SRC), and shared. A
# library already there is kept.
# Usage: scripts/cross-deps.sh <i686|x86_64> <cache folder>
# (EXTRA_EXE_LDFLAGS, EXTRA_SHARED_LDFLAGS: more linker flags in the
# toolchain file)
set -euo pipefail
arch=$1 TC_DIR=$2
triple=$arch-w64-mingw32
SYSROOT=$TC_DIR/sysroot BLD=$TC_DIR/build SRC=${SRC:-/opt/zoq-w32/src}
mkdir -p "$SRC" "$SYSROOT/include" "$SYSROOT/lib" "$BLD"

# 4. Toolchain file.
TCF=$TC_DIR/mingw-$arch.cmake
processor=x86
[ "$arch" = x86_64 ] && processor=AMD64
cat > "$TCF" <<TCEOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $processor)
set(CMAKE_C_COMPILER   $triple-gcc-posix)
set(CMAKE_CXX_COMPILER $triple-g++-posix)
set(CMAKE_RC_COMPILER  $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple $SYSROOT)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++${EXTRA_EXE_LDFLAGS:+ $EXTRA_EXE_LDFLAGS}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++${EXTRA_SHARED_LDFLAGS:+ $EXTRA_SHARED_LDFLAGS}")
TCEOF

# 5. GNU libiconv (sources from the npm package "iconv").
if [ ! -f "$SYSROOT/lib/libiconv.a" ]; then
  if [ ! -f "$SRC/iconv/support/iconv.h" ]; then
    rm -rf "$SRC/iconv" && mkdir -p "$SRC/iconv"
    (cd "$SRC" && npm pack iconv@3.0.1 --silent >/dev/null && tar xzf iconv-3.0.1.tgz -C iconv --strip-components=1)
  fi
  I=$SRC/iconv
  mkdir -p "$BLD/iconv"
  $triple-gcc-posix -O2 -DICONV_CONST=const -DENABLE_EXTRA=1 -I"$I/support" -I"$I/deps/libiconv/lib" \
      -c "$I/deps/libiconv/lib/iconv.c" -o "$BLD/iconv/iconv.o"
  $triple-gcc-posix -O2 -I"$I/support" -c "$I/support/localcharset.c" -o "$BLD/iconv/localcharset.o"
  rm -f "$SYSROOT/lib/libiconv.a"
  $triple-ar rcs "$SYSROOT/lib/libiconv.a" "$BLD/iconv/iconv.o" "$BLD/iconv/localcharset.o"
  cp "$I/support/iconv.h" "$SYSROOT/include/iconv.h"
fi

# 6. libpng and libjpeg-turbo from Debian's source packages.
if [ ! -f "$SYSROOT/lib/libpng16.a" ] || [ ! -f "$SYSROOT/lib/libjpeg.a" ]; then
  if [ ! -d "$SRC/deb/libpng" ] || [ ! -d "$SRC/deb/libjpeg-turbo" ]; then
    rm -rf "$SRC/deb" && mkdir -p "$SRC/deb"
    (cd "$SRC/deb" && apt-get source --download-only -qq libpng1.6 libjpeg-turbo >/dev/null 2>&1 \
       && dpkg-source -x --no-check libpng1.6_*.dsc libpng >/dev/null \
       && dpkg-source -x --no-check libjpeg-turbo_*.dsc libjpeg-turbo >/dev/null)
  fi
  cmake -S "$SRC/deb/libpng" -B "$BLD/png" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TCF" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$SYSROOT" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DZLIB_INCLUDE_DIR=/usr/$triple/include -DZLIB_LIBRARY=/usr/$triple/lib/libz.a >/dev/null
  cmake --build "$BLD/png" >/dev/null && cmake --install "$BLD/png" >/dev/null
  cmake -S "$SRC/deb/libjpeg-turbo" -B "$BLD/jpeg" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TCF" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$SYSROOT" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -Wno-dev >/dev/null 2>&1
  cmake --build "$BLD/jpeg" >/dev/null && cmake --install "$BLD/jpeg" >/dev/null
fi

# 7. GoogleTest/GoogleMock.
if [ ! -f "$SYSROOT/lib/libgtest.a" ]; then
  cmake -S /usr/src/googletest -B "$BLD/gtest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TCF" -DCMAKE_BUILD_TYPE=Release \
    -Dgtest_disable_pthreads=ON -DCMAKE_INSTALL_PREFIX="$SYSROOT" >/dev/null
  cmake --build "$BLD/gtest" >/dev/null && cmake --install "$BLD/gtest" >/dev/null
fi
