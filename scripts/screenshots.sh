#!/usr/bin/env bash
# Screenshots of every page of the settings window (and of the library page
# listing 5,000 keywords), for a person to look at:
# runs the window under Xvfb with Wine's X11 driver (a prefix of its own,
# build/screenshots/wineprefix) and writes build/screenshots/<page>.png.
# Needs xvfb, x11-apps, imagemagick and fonts-wqy-microhei
# (WITH_GUI=1 scripts/setup.sh installs them).
# Usage: scripts/screenshots.sh [build dir [page...]] (every page when none is named;
# build-x64 where 32-bit Wine does not start)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift || true
pages=${*:-home options hint library listfocus large clicked typeahead picker ctrld escaped inserted chooser nobody unstored closeprompt focus noname several mixed}
out=$build/screenshots
exe=$build/bin/ui_screens.exe
cmake --build "$build" --target ui_screens >/dev/null
mkdir -p "$out/run"
cp "$exe" "$build/fakehosts/VLQapi.dll" "$out/run/"
printf 'Api_GetOnLineList\t20001\\r\\n20002\\r\\n\n' > "$out/run/fakehost.answers"
# The build's own Wine: 64-bit for build-x64/ (its loader by name, as
# scripts/wine-ctest.sh does), 32-bit for build/.
wine=$(sed -n 's/^ZOQ_WINE:[A-Z]*=//p' "$build/CMakeCache.txt")
wine=${wine:-wine}
arch=win32
if grep -q '^ZOQ_PROCESSOR:INTERNAL=x86_64' "$build/CMakeCache.txt"; then
  arch=win64
  export WINELOADER=$wine
fi
export WINEPREFIX=$out/wineprefix WINEARCH=$arch WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=
export WINEDLLOVERRIDES="mscoree,mshtml="
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wineserver -k 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1
if [ ! -f "$WINEPREFIX/.zoq-ready" ]; then
  rm -rf "$WINEPREFIX"
  "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
  wineserver -w
  touch "$WINEPREFIX/.zoq-ready"
fi
cd "$out/run"
for page in $pages; do
  rm -rf ZOQData  # each page on a fresh data folder
  "$wine" explorer /desktop=zoq,1280x800 ui_screens.exe "$page" 6000 </dev/null >/dev/null 2>&1 &
  shown=$!
  sleep 4
  /usr/bin/import -window root "$out/$page.png"
  wait $shown || true
  echo "$out/$page.png"
done
