#!/usr/bin/env bash
# Runs CTest for a cross build under Wine: a prefix of the build's own
# (<build>/wineprefix; 32-bit for the i386 build, 64-bit for the x86-64 one),
# ANSI code page 936, the null display driver, and one wineserver started and
# warmed up without pipes before CTest, its desktop kept for the whole run
# (otherwise a test waits on Wine's system processes holding its output
# pipes).
# Usage: scripts/wine-ctest.sh <build dir> [ctest arguments...]
# A selection (-R, -L) does not pull in the `<suite>.repeated` runs of the
# suites it touches; `-L repeated` runs them alone.
# Exits 3, having said why in two lines, when the build's Wine cannot start
# here.
set -euo pipefail
build=$(cd "$1" && pwd); shift
export WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=
unset DISPLAY WAYLAND_DISPLAY
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(sed -n 's/^ZOQ_WINE:[A-Z]*=//p' "$build/CMakeCache.txt")
if grep -q '^ZOQ_PROCESSOR:INTERNAL=x86_64' "$build/CMakeCache.txt"; then
  export WINEARCH=win64 WINEPREFIX=$build/wineprefix
  # Debian's `wine` starts the 32-bit loader whenever it is installed: the
  # 64-bit one is called by name, and Wine's own programs start with it too.
  export WINELOADER=$wine
else
  export WINEARCH=win32 WINEPREFIX=$build/wineprefix
  wine=${wine:-wine}
fi
# 32-bit Wine is itself a 32-bit Linux program: a kernel that runs none
# (x86-64 built or booted without IA-32 emulation, ia32_emulation=off, or a
# guest of a hypervisor without a 32-bit mode) fails every test alike, so
# that is said once, before any test runs.
if ! "$wine" --version >/dev/null 2>&1; then
  echo "wine-ctest: $WINEARCH Wine does not start here: $("$wine" --version 2>&1 | tail -n 1)" >&2
  if [ "$WINEARCH" = win32 ] && [ "$(uname -m)" = x86_64 ] && [ -x /usr/lib/wine/wine ] \
     && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "wine-ctest: this kernel runs no 32-bit programs (IA-32 emulation is off, which the kernel parameter" \
      "ia32_emulation=on turns on, or the machine's hypervisor offers no 32-bit mode)." >&2
  else
    echo "wine-ctest: install it with scripts/setup.sh." >&2
  fi
  exit 3
fi
if [ ! -f "$WINEPREFIX/.zoq-ready" ]; then
  rm -rf "$WINEPREFIX"
  "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  wineserver -w
  # Marked ready only once it holds the system's files: a prefix left half
  # made is made again next time.
  if [ -f "$WINEPREFIX/system.reg" ] && [ -d "$WINEPREFIX/drive_c/windows/system32" ]; then
    touch "$WINEPREFIX/.zoq-ready"
  fi
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
"$wine" cmd /c pause <"$holder" >/dev/null 2>&1 &
exec 9>"$holder"
rm -f "$holder"
"$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
ctest --test-dir "$build" --output-on-failure --timeout 300 -FC '[.]repeated$' "$@"
