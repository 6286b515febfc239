#!/usr/bin/env bash
# A PostgreSQL cluster of its own with TLS, for the tests of how the office store authenticates
# its server:
#   tls_cluster.sh start DIR   makes in DIR the office's certificate authority (ca.crt),
#                              another one (other-ca.crt), the server's certificate signed by
#                              the first for the address 127.0.0.2 only, and a cluster on
#                              127.0.0.1 that offers TLS 1.2 (whose alerts travel in clear, so a
#                              relay sees where a handshake stopped) and takes passwords by
#                              SCRAM; prints its port. Exit 77: no PostgreSQL or openssl here.
#   tls_cluster.sh stop DIR
set -euo pipefail
command=$1
dir=$2
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -n "$bin" ] && command -v openssl >/dev/null || exit 77
run=()
[ "$(id -u)" -eq 0 ] && run=(runuser -u postgres --)

if [ "$command" = stop ]; then
  "${run[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
  exit 0
fi

mkdir -p "$dir"
cd "$dir"
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:prime256v1 -out "$1" 2>/dev/null; }
for ca in ca other-ca; do
  key "$ca.key"
  openssl req -new -x509 -days 2 -key "$ca.key" -subj "/CN=$ca of the test office" -out "$ca.crt"
done
key server.key
openssl req -new -key server.key -subj "/CN=127.0.0.2" -out server.csr
printf 'subjectAltName=IP:127.0.0.2\n' >server.ext
openssl x509 -req -days 2 -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial \
  -extfile server.ext -out server.crt 2>/dev/null
chmod 600 server.key
echo cortevane >pw
chmod 755 "$dir"
chmod 644 pw ./*.crt
[ "$(id -u)" -eq 0 ] && chown postgres server.key "$dir"
port=$(python3 -c 'import socket;s=socket.socket();s.bind(("127.0.0.1",0));print(s.getsockname()[1])')
"${run[@]}" "$bin/initdb" -D "$dir/data" -U cortevane --pwfile="$dir/pw" -A scram-sha-256 >/dev/null
"${run[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/log" -w -o "-c listen_addresses=127.0.0.1 \
  -c port=$port -c unix_socket_directories=$dir -c fsync=off -c ssl=on \
  -c ssl_cert_file=$dir/server.crt -c ssl_key_file=$dir/server.key \
  -c ssl_max_protocol_version=TLSv1.2" start >/dev/null
echo "$port"
