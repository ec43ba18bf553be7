#!/bin/sh
# Runs a test program (the command line after the folder) with a file system
# of 1 MiB mounted at <folder>, in a mount namespace of its own. The Wine
# server opens the files, so it must run in that namespace too: the program
# gets a /tmp of its own (a server of its own starts there) and a Wine prefix
# whose changes stay in the namespace (an overlay). ZOQ_SMALL_DISK names the
# folder. Where no namespace can be made (not root), the program runs as it
# is, and the tests that need the small disk skip.
folder=$1
shift
prefix=${WINEPREFIX:-$HOME/.wine}
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
  mkdir -p "$folder"
  exec unshare -m sh -c '
    folder=$1 prefix=$2
    shift 2
    mount -t tmpfs -o size=1m tmpfs "$folder" || exit 1
    mount -t tmpfs tmpfs /tmp || exit 1
    mkdir -p /tmp/prefix-upper /tmp/prefix-work
    mount -t overlay overlay -o "lowerdir=$prefix,upperdir=/tmp/prefix-upper,workdir=/tmp/prefix-work" "$prefix" || exit 1
    ZOQ_SMALL_DISK=1 "$@" </dev/null
    rc=$?
    wineserver -k 2>/dev/null
    exit $rc' sh "$folder" "$prefix" "$@"
fi
exec "$@"
