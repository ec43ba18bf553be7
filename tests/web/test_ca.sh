#!/bin/sh
# Runs a test program (the command line that follows) against HTTPS servers
# on 127.0.0.1 under a trust store of its own: in a mount namespace, the
# system's CA bundle (where Wine's store of trusted roots comes from) holds
# only a test CA made for this run. The servers' certificates, all made out
# to "localhost": "trusted", signed by that CA for servers; "client", signed
# by it for clients only; "self", self-signed. Their ports reach the program
# in ZOQ_TLS_TRUSTED_PORT, ZOQ_TLS_CLIENT_PORT and ZOQ_TLS_SELF_PORT. Where
# no namespace can be made (not root) or openssl is missing, the program runs
# as it is, and the tests that need the servers skip.
here=$(cd "$(dirname "$0")" && pwd)
bundle=/etc/ssl/certs/ca-certificates.crt
if [ -f "$bundle" ] && unshare -m true 2>/dev/null && command -v openssl >/dev/null 2>&1; then
  dir=$(mktemp -d)
  unshare -m sh -c '
    set -e
    dir=$1 bundle=$2 here=$3; shift 3
    quiet() { "$@" >/dev/null 2>&1; }
    quiet openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=ZOQ test CA" -keyout "$dir/ca.key" \
      -out "$dir/ca.crt" -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
    for use in trusted:serverAuth client:clientAuth; do
      name=${use%%:*}
      quiet openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$dir/$name.key" -out "$dir/$name.csr"
      printf "subjectAltName=DNS:localhost\nextendedKeyUsage=%s\n" "${use#*:}" >"$dir/$name.ext"
      quiet openssl x509 -req -days 2 -in "$dir/$name.csr" -CA "$dir/ca.crt" -CAkey "$dir/ca.key" -CAcreateserial \
        -extfile "$dir/$name.ext" -out "$dir/$name.crt"
    done
    quiet openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=localhost" -keyout "$dir/self.key" \
      -out "$dir/self.crt" -addext "subjectAltName=DNS:localhost" -addext "extendedKeyUsage=serverAuth"
    mount --bind "$dir/ca.crt" "$bundle"
    exec python3 "$here/tls_servers.py" "$dir" trusted,client,self "$@"' sh "$dir" "$bundle" "$here" "$@"
  status=$?
  rm -rf "$dir"
  exit $status
fi
exec "$@"
