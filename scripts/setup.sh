#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine:
# the MinGW-w64 i686 and x86-64 toolchains, Wine (32-bit, which runs where
# the kernel runs 32-bit programs, and 64-bit), the zh_CN.UTF-8 locale, clang
# with libFuzzer for the native fuzz targets, and static builds of GNU
# libiconv, libpng, libjpeg-turbo and GoogleTest for both targets in cache
# folders (TC_DIR for i686, TC64_DIR for x86-64). Idempotent: a second run
# only checks.
set -euo pipefail
trap 'echo "setup.sh: failed at line $LINENO: $BASH_COMMAND" >&2' ERR

TC_DIR=${TC_DIR:-/opt/zoq-w32}
SYSROOT=$TC_DIR/sysroot
SRC=$TC_DIR/src
BLD=$TC_DIR/build
TC64_DIR=${TC64_DIR:-/opt/zoq-w64}
STAMP=$TC_DIR/.stamp-v2
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
   && command -v x86_64-w64-mingw32-g++-posix >/dev/null && [ -x /usr/lib/wine/wine64 ] \
   && [ -f "$TC64_DIR/sysroot/lib/libgtest.a" ] && command -v clang++ >/dev/null \
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
      binutils-mingw-w64-x86-64 gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
      wine wine32:i386 wine64 g++ libgtest-dev nlohmann-json3-dev clang libclang-rt-14-dev)
command -v npm >/dev/null || PKGS+=(npm)
apt_install "${PKGS[@]}"

# 3. Locale for ANSI code page 936 under Wine.
if ! locale -a | grep -qix 'zh_CN.utf8'; then
  sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

# 4.-7. The toolchain files and the static libraries, i686 and x86-64.
SRC="$SRC" bash "$here/scripts/cross-deps.sh" i686 "$TC_DIR"
SRC="$SRC" bash "$here/scripts/cross-deps.sh" x86_64 "$TC64_DIR"

touch "$STAMP"
echo "setup.sh: toolchain ready in $TC_DIR"
