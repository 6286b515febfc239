#!/usr/bin/env bash
# Runs every command block of docs/office-server.md, in the guide's order, against a
# PostgreSQL cluster of its own, each block where the guide says it runs:
#   ```sh server   as the cluster's owner, on the server (local connections as superuser)
#   ```sh root     as root on the server; `systemctl restart postgresql` restarts this cluster
#   ```sh admin    on the administrator's machine: cortevane-admin from ADMIN_DIR, own home
#   ```sh laptop   on a laptop: cortevane-admin from ADMIN_DIR, own home
#   ```sh standby  on a second server: its syntax is checked, it is not run (one machine has
#                  no second server; the failover tests make a standby the same way)
# The server's name, bureau.example.org (port 5432), becomes this cluster's address (in a
# certificate, its IP address 127.0.0.1), each password the guide asks for is typed on standard
# input, and the file the guide says to carry from the server (kesta-ca.crt, the office's
# certificate authority) is carried to the folder where admin and laptop blocks run. Then it
# checks what the guide promises: unencrypted network connections are refused, the field
# worker reaches the restored office account over TLS with the server authenticated, a server
# reached under a name its certificate does not bear is refused, the laptop's base and
# configuration file are in place.
#
# Usage: office-server.sh ADMIN_DIR (the folder holding cortevane-admin). Exit 77: no
# PostgreSQL server on this machine (skipped).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
admin_dir=$(cd "${1:?usage: office-server.sh ADMIN_DIR}" && pwd)
guide=$root/docs/office-server.md

source "$root/scripts/pg-throwaway"
pg_throwaway_start >/dev/null
if [ -z "${CORTEVANE_PG_HOST:-}" ]; then
  echo "no PostgreSQL server binaries: skipped"
  exit 77
fi
work=$(mktemp -d /tmp/cortevane-guide.XXXXXX)
trap 'pg_throwaway_stop; rm -rf "$work"' EXIT
chmod 755 "$work"
port=${CORTEVANE_PG_HOST##*:}
server=127.0.0.1:$port
password=Guide-Secret-7
answers=$work/answers
printf '%s\n' "$password" "$password" "$password" >"$answers"
chmod 644 "$answers"

# The guide's blocks, one file each, numbered in order; a fenced block of another kind would
# be a command nobody runs.
mkdir "$work/blocks"
awk -v dir="$work/blocks" '
  /^```/ && !inside {
    inside = 1; kind = substr($0, 4)
    if (kind !~ /^sh (server|root|admin|laptop|standby)$/) { print "unchecked block: " $0 > "/dev/stderr"; bad = 1 }
    n++; file = sprintf("%s/%02d-%s", dir, n, substr(kind, 4)); next
  }
  /^```/ && inside { inside = 0; close(file); next }
  inside { gsub(/DNS:bureau\.example\.org/, "IP:127.0.0.1"); gsub(/bureau\.example\.org(:5432)?/, server); print > file }
  END { exit bad }' server="$server" "$guide"
chmod -R a+rX "$work/blocks"

as_owner=()
[ "$(id -u)" -eq 0 ] && as_owner=(runuser -u postgres --)
for home in server admin laptop; do
  mkdir "$work/$home"
done
[ "$(id -u)" -eq 0 ] && chown postgres "$work/server"

base_env=(LANG=C.UTF-8 "PATH=$admin_dir:/usr/local/bin:/usr/bin:/bin")
run_block() {
  local file=$1 kind=${1##*-}
  echo "== $(basename "$file")"
  case $kind in
    server)
      "${as_owner[@]}" env -i "${base_env[@]}" "PATH=$PG_BIN:/usr/bin:/bin" HOME="$work/server" \
        PGHOST="$PG_DIR" PGPORT="$port" PGUSER=cortevane PGPASSWORD=cortevane PGDATABASE=postgres \
        setsid -w bash -euo pipefail "$file" <"$answers" ;;
    root)
      (systemctl() { "${PG_RUN[@]}" "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -l "$PG_DIR/log" -w restart >/dev/null; }
       source "$file") <"$answers" ;;
    standby)
      bash -n "$file" ;;
    admin | laptop)
      if [ -f "$work/server/kesta-ca/ca.crt" ]; then cp "$work/server/kesta-ca/ca.crt" "$work/$kind/kesta-ca.crt"; fi
      (cd "$work/$kind" && env -i "${base_env[@]}" HOME="$work/$kind" setsid -w bash -euo pipefail "$file" <"$answers") ;;
  esac
}
for block in "$work"/blocks/*; do
  if ! run_block "$block"; then
    echo "FAILED: this block of docs/office-server.md:" >&2
    cat "$block" >&2
    exit 1
  fi
done

fail() { echo "FAILED: $*" >&2; exit 1; }
echo "== checks"
# Unencrypted connections over the network are refused by the server itself.
if out=$(env -i "$PG_BIN/psql" "host=127.0.0.1 port=$port dbname=postgres user=cortevane password=cortevane sslmode=disable" -Atc 'SELECT 1' 2>&1); then
  fail "a connection without TLS was accepted"
fi
[[ $out == *"no encryption"* ]] || fail "a connection without TLS failed for another reason: $out"
# The field worker reaches the restored office account, over TLS, with the role and rights the
# backup kept.
ssl=$(env -i "$PG_BIN/psql" "host=127.0.0.1 port=$port dbname=kesta user=DUPONT password=$password sslmode=require" \
  -Atc 'SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()') || fail "DUPONT cannot reach the restored account"
[ "$ssl" = t ] || fail "DUPONT's connection is not encrypted"
counter=$(echo "$password" | env -i "${base_env[@]}" HOME="$work/laptop" cortevane-admin --host "$server" \
  --user DUPONT --password-stdin --account kesta record list COMPTEUR_DUPONT) || fail "cortevane-admin as DUPONT on the restored account"
[ "$counter" = 999 ] || fail "DUPONT's counter file holds \"$counter\", not record 999"
# The laptop checks whom it talks to: the same server under a name its certificate does not
# bear is refused before the password is sent.
if out=$(echo "$password" | env -i "${base_env[@]}" HOME="$work/laptop" cortevane-admin --host "localhost:$port" \
  --user DUPONT --password-stdin --account kesta file list 2>&1); then
  fail "a server reached under another name was accepted"
fi
[[ $out == *"could not be authenticated: its certificate is made out to another host name"* ]] ||
  fail "a server under another name was refused for another reason: $out"
# The laptop: its configuration file names this server and the office account; its base has
# the field worker as user (who opens it with the password typed in the guide).
ini=$work/laptop/.local/share/cortevane/drive_c/windows/Cortevane.ini
grep -qx "Serveur2=$server" "$ini" || fail "the laptop's Cortevane.ini does not name the server"
grep -qx "Bureau=kesta" "$ini" || fail "the laptop's Cortevane.ini does not name the office account"
env -i "${base_env[@]}" HOME="$work/laptop" cortevane-admin --account 'C:\KESTA\PORTABLE' file list >/dev/null ||
  fail "the laptop's base cannot be opened"
echo "the guide's commands ran and did what it says"
