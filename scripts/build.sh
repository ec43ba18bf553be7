#!/usr/bin/env bash
# Builds the plug-in DLL into build/ and the same sources for x86-64 into
# build-x64/ (where every Wine test runs), with their test programs,
# installing the toolchains and the dependencies first when they are missing.
# The DLL: build/bin/ZOQ·关键词.dll (without debug information, which is in
# build/bin/ZOQ-keyword.dll.debug beside it). The 32-bit test programs are
# built only where 32-bit Wine starts (scripts/wine-ctest.sh runs them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
TC_DIR=${TC_DIR:-/opt/zoq-w32}
TC64_DIR=${TC64_DIR:-/opt/zoq-w64}
bash "$root/scripts/setup.sh"
build=${BUILD_DIR:-$root/build}
build64=${BUILD64_DIR:-$root/build-x64}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$TC_DIR/mingw-i686.cmake" >/dev/null
if wine --version >/dev/null 2>&1; then
  cmake --build "$build" -j"$(nproc)"
else
  cmake --build "$build" -j"$(nproc)" --target zoq_plugin
fi
echo "built: $build/bin/ZOQ·关键词.dll"
cmake -S "$root" -B "$build64" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$TC64_DIR/mingw-x86_64.cmake" >/dev/null
cmake --build "$build64" -j"$(nproc)"
