#!/usr/bin/env bash
# Runs every test: the portable code natively under AddressSanitizer and
# UBSan, then the real DLL and everything else under 32-bit Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"

native=${NATIVE_BUILD_DIR:-$root/build-native}
cmake -S "$root" -B "$native" -G Ninja -DZOQ_NATIVE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$native" --output-on-failure -j"$(nproc)" --timeout 600

bash "$root/scripts/wine-ctest.sh" "${BUILD_DIR:-$root/build}" -j"$(nproc)"
