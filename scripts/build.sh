#!/usr/bin/env bash
# Builds the plug-in DLL (and the test programs) into build/, installing the
# toolchain and the dependencies first when they are missing.
# The DLL: build/bin/ZOQ·关键词.dll (without debug information, which is in
# build/bin/ZOQ-keyword.dll.debug beside it)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
TC_DIR=${TC_DIR:-/opt/zoq-w32}
bash "$root/scripts/setup.sh"
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$TC_DIR/mingw-i686.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)"
echo "built: $build/bin/ZOQ·关键词.dll"
