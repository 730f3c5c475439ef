#!/usr/bin/env bash
# Runs the demo's server in window mode under a virtual X display, lets a few
# reads flow from simulated terminals, and saves docs/images/console.png.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

"$root/scripts/install-deps.sh"
for package in xvfb imagemagick; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends xvfb imagemagick
        break
    fi
done
"$root/scripts/build.sh" "$root/build"

work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
cp -r "$root/scripts/demo-workspace/." "$work/"
mkdir -p "$work/Log" "$work/Backup"
cat "$root/db/sqlite/schema.sql" "$root/db/demo.sql" | sqlite3 "$work/parvix.db"

Xvfb :97 -screen 0 800x480x24 >/dev/null 2>&1 &
sleep 1
cd "$work"
mkfifo reads
"$root/build/tools/termsim/parvix-termsim" --port 18500 --terminal 127.0.0.11=1 \
    --terminal 127.0.0.12=2 --terminal 127.0.0.13=3 <reads >/dev/null &
exec 3>reads
sleep 0.5
DISPLAY=:97 "$root/build/src/parvix" --show-messages --listen-port 18499 --terminal-port 18500 \
    --time-scale 0.2 >/dev/null 2>&1 &
sleep 2
for read in "read 1 0042 #C 1" "read 2 0045 00 1 241000120" "read 3 0099 #C 1" \
    "read 1 0043 #D 1 241000120" "read 2 0042 00 2 241000130"; do
    echo "$read" >&3
    sleep 0.6
done
sleep 1
mkdir -p "$root/docs/images"
DISPLAY=:97 import -window root -crop 762x425+0+0 +repage "$root/docs/images/console.png"
echo "Saved docs/images/console.png"
