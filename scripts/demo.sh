#!/usr/bin/env bash
# Installs what is missing, builds, and runs the server on the demo workspace
# demo/ (created on first run) with three simulated terminals on 127.0.0.11-13.
# Type commands for the terminals (for example "read 1 0042 #C"); "quit" or
# Ctrl-C stops both. Extra arguments go to the server, for example --trace.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"

if [ ! -d "$root/demo" ]; then
    cp -r "$root/scripts/demo-workspace" "$root/demo"
    mkdir -p "$root/demo/Log" "$root/demo/Backup"
    echo "Created the demo workspace in $root/demo"
fi
# Alerts after one minute without a link, so the demo shows one (see "off" below).
[ -f "$root/demo/Set/Allarmi.set" ] || cp "$root/scripts/demo-workspace/Set/Allarmi.set" "$root/demo/Set/"
# The server never creates tables: the demo database is made here.
if [ ! -f "$root/demo/parvix.db" ]; then
    cat "$root/db/sqlite/schema.sql" "$root/db/demo.sql" | sqlite3 "$root/demo/parvix.db"
    echo "Created the demo database demo/parvix.db"
fi
# A demo database made before the server had a table of its own gets it, as a site would.
sqlite3 "$root/demo/parvix.db" "$(sed -n '/^CREATE TABLE ParvixScarico/,/^);/p' "$root/db/sqlite/schema.sql" |
    sed 's/CREATE TABLE/CREATE TABLE IF NOT EXISTS/')"
cd "$root/demo"

# The server listens on 8499 on every address, so the terminals listen on 8500.
server_port=8499
terminal_port=8500
metrics_port=9499
# The operator window where there is a display; its lines on this terminal otherwise.
mode="--headless"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    mode=""
fi
(sleep 0.5; exec "$root/build/src/parvix" $mode --show-messages \
    --listen-port "$server_port" --terminal-port "$terminal_port" \
    --metrics-port "$metrics_port" "$@") &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true' EXIT

cat <<TEXT
Parvix runs in $root/demo (log: demo/Log/RegistroQZ.txt).
Terminals 1, 2, 3 on 127.0.0.11-13. Commands:
  read TERMINAL BADGE FUNCTION [POSITION [ORDER [HHMM [DDMMYY]]]]   e.g. read 1 0042 #C
     badges 0042-0045 exist (0099 does not); orders 241000120 open, 241000130 closed
  store ...   (same words: into the terminal's transit file PASSAGGI)
  presence TERMINAL    send TERMINAL TEXT    generate TERMINAL COUNT [DAYS]    quit
  off TERMINAL / on TERMINAL   switch a terminal off and on: a minute without its
     link raises an alert; after "on", a read from it brings the link back and ends it
Figures and health for a monitor: http://127.0.0.1:$metrics_port/metrics and /health
The terminals hold a few stored transits: a download pass collects them
within the first minute (demo/Log/RegistroQZ.txt, demo/ScaricoOK_OLD.txt).
TEXT
"$root/build/tools/termsim/parvix-termsim" --port "$terminal_port" \
    --server "127.0.0.1:$server_port" --files "$root/demo" \
    --script "$root/scripts/demo-terminals.txt" \
    --terminal 127.0.0.11=1 --terminal 127.0.0.12=2 --terminal 127.0.0.13=3
