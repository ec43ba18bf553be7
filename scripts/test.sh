#!/usr/bin/env bash
# Runs every test: the portable code natively under AddressSanitizer and
# UBSan (with the check of the shipped 32-bit DLL's file), a short run of the
# JSON fuzz targets, then the DLL and everything else of the x86-64 build
# under 64-bit Wine, and the same of the 32-bit build under 32-bit Wine where
# this machine runs 32-bit programs. Each Wine pass runs every test once,
# then every suite once more in one process, twice over and shuffled.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
build=${BUILD_DIR:-$root/build}
build64=${BUILD64_DIR:-$root/build-x64}
# On CI, as root, everything a test needs can be had: a test that skips
# fails the run (tests/test_main.cpp).
if [ "${CI:-}" = true ] && [ "$(id -u)" = 0 ]; then export ZOQ_NO_SKIPS=1; fi

ran=()
native=${NATIVE_BUILD_DIR:-$root/build-native}
cmake -S "$root" -B "$native" -G Ninja -DZOQ_NATIVE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DZOQ_SHIPPED_DLL=$build/bin/ZOQ·关键词.dll" >/dev/null
cmake --build "$native" -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$native" --output-on-failure -j"$(nproc)" --timeout 600
ran+=("native")

# The JSON fuzz targets (clang, libFuzzer): a short run of each from the seed corpus.
fuzz=${FUZZ_BUILD_DIR:-$root/build-fuzz}
cmake -S "$root" -B "$fuzz" -G Ninja -DZOQ_NATIVE=ON -DZOQ_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$fuzz" -j"$(nproc)" --target json_fuzz_parse json_fuzz_ops
ctest --test-dir "$fuzz" -L fuzz --output-on-failure -j2
ran+=("fuzz")

# A Wine pass: every test, then (a pass of its own, so that its load does not
# fall on the timed tests of the first) every suite in one process.
wine_pass() {
  bash "$root/scripts/wine-ctest.sh" "$1" -j"$(nproc)" -LE repeated
  bash "$root/scripts/wine-ctest.sh" "$1" -j"$(nproc)" -L repeated
}
wine_pass "$build64"
ran+=("64-bit Wine")

not_run=""
if wine --version >/dev/null 2>&1; then
  cmake --build "$build" -j"$(nproc)"
  wine_pass "$build"
  ran+=("32-bit Wine")
else
  reason=$(wine --version 2>&1 | tail -n 1 || true)
  not_run="; not run: 32-bit Wine, which does not start here ($reason)"
fi
echo "test.sh: passes run: $(IFS=,; echo "${ran[*]}" | sed 's/,/, /g')$not_run"
