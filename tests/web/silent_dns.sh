#!/bin/sh
# Runs a test program (the command line that follows) with a name server
# that never answers: in a mount namespace of its own, /etc/resolv.conf is
# silent_resolv.conf, whose one name server is the socket that
# silent_name_server.py holds open for the program. Where no namespace can be
# made (not root), the program runs as it is, and the tests that need the
# silent name server skip.
here=$(cd "$(dirname "$0")" && pwd)
if unshare -m true 2>/dev/null; then
  exec unshare -m sh -c 'mount --bind "$0/silent_resolv.conf" /etc/resolv.conf &&
                         exec python3 "$0/silent_name_server.py" "$@"' "$here" "$@"
fi
exec "$@"
