#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests, on 127.0.0.1 only.
#   pg-cluster.sh start    create and start it (role parvix, password parvix)
#   pg-cluster.sh stop     stop it and remove it
#   pg-cluster.sh pause    stop the server, keep the data (database-down tests)
#   pg-cluster.sh resume   start it again
# Runs the server as the postgres user; needs root or sudo.
set -euo pipefail

dir="${PARVIX_PG_DIR:-/tmp/parvix-pg}"
port="${PARVIX_PG_PORT:-55432}"
bin="$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)"

as_postgres() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$@"
    else
        sudo -u postgres "$@"
    fi
}

start_server() {
    as_postgres "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null
}

case "${1:-}" in
start)
    if as_postgres "$bin/pg_ctl" -D "$dir/data" status >/dev/null 2>&1; then
        exit 0
    fi
    rm -rf "$dir"
    mkdir -p "$dir"
    chown postgres "$dir"
    as_postgres "$bin/initdb" -D "$dir/data" -U postgres --auth-local=trust \
        --auth-host=scram-sha-256 >/dev/null
    start_server
    as_postgres "$bin/psql" -h "$dir" -p "$port" -U postgres -q \
        -c "CREATE ROLE parvix LOGIN CREATEDB PASSWORD 'parvix'"
    echo "PostgreSQL test cluster on 127.0.0.1:$port"
    ;;
stop)
    as_postgres "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$dir"
    ;;
pause)
    as_postgres "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
    ;;
resume)
    start_server
    ;;
*)
    echo "usage: $0 start|stop|pause|resume" >&2
    exit 2
    ;;
esac
