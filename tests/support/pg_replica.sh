#!/usr/bin/env bash
# A primary and a streaming standby of their own on 127.0.0.1, for the tests of an office whose
# server fails over. Two clusters, DIR/a and DIR/b; DIR/primary names the one that takes writes.
# The standby is a copy made by pg_basebackup -R, and the primary's commits wait for it
# (synchronous_standby_names), so what a client was told is committed survives a failover.
#   pg_replica.sh start DIR     makes the primary and its standby; prints their two ports
#   pg_replica.sh failover DIR  stops the primary at once and promotes the standby (pg_ctl
#                               promote), which then takes writes alone
#   pg_replica.sh rejoin DIR    makes the stopped cluster a new standby of the primary
#   pg_replica.sh refuse DIR    has the standby refuse every client's session (its pg_hba.conf
#                               rejects them), as a standby still starting up does
#   pg_replica.sh stop DIR
# Exit 77: no PostgreSQL server binaries here.
set -euo pipefail
command=$1
dir=$2
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -n "$bin" ] && [ -x "$bin/pg_basebackup" ] || exit 77
run=()
[ "$(id -u)" -eq 0 ] && run=(runuser -u postgres --)
export PGPASSWORD=cortevane

ctl() { "${run[@]}" "$bin/pg_ctl" "$@" >/dev/null; }
port() { cat "$dir/$1.port"; }
other() { if [ "$1" = a ]; then echo b; else echo a; fi; }
sql() { "${run[@]}" "$bin/psql" "host=127.0.0.1 port=$(port "$1") user=cortevane dbname=postgres" -Atqc "$2"; }
launch() {
  ctl -D "$dir/$1" -l "$dir/$1.log" -w -o "-c listen_addresses=127.0.0.1 -c port=$(port "$1") \
    -c unix_socket_directories=$dir -c fsync=off -c max_connections=60" start
}
# Makes node $1 a fresh standby of the primary $2, and has $2's commits wait for it.
standby() {
  rm -rf "${dir:?}/$1"
  "${run[@]}" "$bin/pg_basebackup" -h 127.0.0.1 -p "$(port "$2")" -U cortevane -D "$dir/$1" \
    -R -X stream -c fast
  launch "$1"
  for _ in $(seq 100); do
    [ "$(sql "$2" "SELECT count(*) FROM pg_stat_replication WHERE state = 'streaming'")" = 1 ] && break
    sleep 0.1
  done
  sql "$2" "ALTER SYSTEM SET synchronous_standby_names = '*'"
  sql "$2" "SELECT pg_reload_conf()" >/dev/null
}

case $command in
  start)
    mkdir -p "$dir"
    chmod 755 "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres "$dir"
    echo cortevane >"$dir/pw"
    chmod 644 "$dir/pw"
    for node in a b; do
      python3 -c 'import socket;s=socket.socket();s.bind(("127.0.0.1",0));print(s.getsockname()[1])' >"$dir/$node.port"
    done
    "${run[@]}" "$bin/initdb" -N -D "$dir/a" -U cortevane --pwfile="$dir/pw" -A scram-sha-256 >/dev/null
    launch a
    echo a >"$dir/primary"
    standby b a
    echo "$(port a) $(port b)"
    ;;
  failover)
    primary=$(cat "$dir/primary")
    ctl -D "$dir/$primary" -m immediate stop
    ctl -D "$dir/$(other "$primary")" -w promote
    other "$primary" >"$dir/primary"
    ;;
  refuse)
    standby=$(other "$(cat "$dir/primary")")
    sed -i '1i host all all 127.0.0.1/32 reject' "$dir/$standby/pg_hba.conf"
    ctl -D "$dir/$standby" reload
    for _ in $(seq 50); do
      sql "$standby" "SELECT 1" >/dev/null 2>&1 || break
      sleep 0.1
    done
    ;;
  rejoin)
    primary=$(cat "$dir/primary")
    standby "$(other "$primary")" "$primary"
    ;;
  stop)
    for node in a b; do
      [ -d "$dir/$node" ] && ctl -D "$dir/$node" -m immediate stop 2>/dev/null || true
    done
    ;;
esac
