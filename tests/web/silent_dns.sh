#!/bin/sh
# Runs a test program (the command line that follows) with a name server
# that never answers: in a mount namespace of its own, /etc/resolv.conf is
# silent_resolv.conf, which names 127.53.0.1, where the test's
# SilentNameServer reads the queries and answers none. Where no namespace can
# be made (not root), the program runs as it is, and the tests that need the
# silent name server skip.
conf=$(cd "$(dirname "$0")" && pwd)/silent_resolv.conf
if unshare -m true 2>/dev/null; then
  exec unshare -m sh -c 'mount --bind "$0" /etc/resolv.conf && ZOQ_SILENT_NAME_SERVER=127.53.0.1 exec "$@"' "$conf" "$@"
fi
exec "$@"
