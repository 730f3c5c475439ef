#!/usr/bin/env bash
# Installs what is missing, builds, and runs the server on the demo workspace
# demo/ (created on first run; its terminals live on 127.0.0.11-13).
# Extra arguments go to the server, for example --show-messages. Ctrl-C stops it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"

if [ ! -d "$root/demo" ]; then
    cp -r "$root/scripts/demo-workspace" "$root/demo"
    mkdir -p "$root/demo/Log" "$root/demo/Backup"
    echo "Created the demo workspace in $root/demo"
fi

cd "$root/demo"
echo "Parvix runs in $root/demo (log: demo/Log/RegistroQZ.txt). Ctrl-C stops it."
exec "$root/build/src/parvix" --headless "$@"
