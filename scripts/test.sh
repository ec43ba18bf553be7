#!/usr/bin/env bash
# Runs every test: the portable code natively under AddressSanitizer and
# UBSan, a short run of the JSON fuzz targets, then the real DLL and
# everything else under 32-bit Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
# On CI, as root, everything a test needs can be had: a test that skips
# fails the run (tests/test_main.cpp).
if [ "${CI:-}" = true ] && [ "$(id -u)" = 0 ]; then export ZOQ_NO_SKIPS=1; fi

native=${NATIVE_BUILD_DIR:-$root/build-native}
cmake -S "$root" -B "$native" -G Ninja -DZOQ_NATIVE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$native" --output-on-failure -j"$(nproc)" --timeout 600

# The JSON fuzz targets (clang, libFuzzer): a short run of each from the seed corpus.
fuzz=${FUZZ_BUILD_DIR:-$root/build-fuzz}
cmake -S "$root" -B "$fuzz" -G Ninja -DZOQ_NATIVE=ON -DZOQ_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$fuzz" -j"$(nproc)" --target json_fuzz_parse json_fuzz_ops
ctest --test-dir "$fuzz" -L fuzz --output-on-failure -j2

bash "$root/scripts/wine-ctest.sh" "${BUILD_DIR:-$root/build}" -j"$(nproc)" -LE repeated
# Then every suite once more, twice over shuffled in one process: a pass of
# its own, so that its load does not fall on the timed tests of the first.
bash "$root/scripts/wine-ctest.sh" "${BUILD_DIR:-$root/build}" -j"$(nproc)" -L repeated
