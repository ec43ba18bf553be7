#!/usr/bin/env bash
# Runs CTest for a cross build under Wine: a 32-bit prefix of the build's own
# (<build>/wineprefix), ANSI code page 936, the null display driver, and one
# wineserver started and warmed up without pipes before CTest, its desktop
# kept for the whole run (otherwise a test waits on Wine's system processes
# holding its output pipes).
# Usage: scripts/wine-ctest.sh <build dir> [ctest arguments...]
# A selection (-R, -L) does not pull in the `<suite>.repeated` runs of the
# suites it touches; `-L repeated` runs them alone.
set -euo pipefail
build=$(cd "$1" && pwd); shift
export WINEPREFIX=$build/wineprefix WINEARCH=win32 WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=
unset DISPLAY WAYLAND_DISPLAY
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.zoq-ready" ]; then
  rm -rf "$WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.zoq-ready"
fi
wineserver -p 2>/dev/null || true  # one may run already (left by a bench or a screenshot run)
trap 'wineserver -k 2>/dev/null || true' EXIT
# Wine's desktop process ends a few seconds after the last program on it, and
# the next program that needs it starts it again, handing it its own output
# pipes: the desktop holds them, and while tests running beside keep it alive
# CTest waits on that test until its time is up. A program that stays on the
# desktop for the whole run, started without pipes, keeps the first desktop
# (it waits for a key on a pipe that this script holds and never writes).
holder=$(mktemp -u) && mkfifo "$holder"
wine cmd /c pause <"$holder" >/dev/null 2>&1 &
exec 9>"$holder"
rm -f "$holder"
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
ctest --test-dir "$build" --output-on-failure --timeout 300 -FC '[.]repeated$' "$@"
