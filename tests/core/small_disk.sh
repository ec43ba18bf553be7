#!/bin/sh
# Runs a test program (the command line after the folder) with a file system
# of 1 MiB mounted at <folder>, in a mount namespace of its own. The Wine
# server opens the files, so it must run in that namespace too: the program
# sees the Wine prefix through an overlay whose changes stay in the namespace
# (another prefix to Wine, so a server of its own starts). ZOQ_SMALL_DISK
# tells the program. Where no namespace can be made (not root), the program
# runs as it is, and the tests that need the small disk skip.
folder=$1
shift
prefix=${WINEPREFIX:-$HOME/.wine}
if [ "$(id -u)" = 0 ] && [ -d "$prefix" ] && unshare -m true 2>/dev/null; then
  scratch=$(dirname "$prefix")/wineprefix-overlay
  mkdir -p "$folder" "$scratch"
  exec unshare -m sh -c '
    folder=$1 prefix=$2 scratch=$3
    shift 3
    mount -t tmpfs -o size=1m tmpfs "$folder" || exit 1
    mount -t tmpfs tmpfs "$scratch" || exit 1
    mkdir "$scratch/upper" "$scratch/work"
    mount -t overlay overlay -o "lowerdir=$prefix,upperdir=$scratch/upper,workdir=$scratch/work" "$prefix" || exit 1
    ZOQ_SMALL_DISK=1 "$@" </dev/null
    rc=$?
    wineserver -k 2>/dev/null
    exit $rc' sh "$folder" "$prefix" "$scratch" "$@"
fi
exec "$@"
