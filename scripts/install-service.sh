#!/usr/bin/env bash
# Installs Parvix as a systemd service (opt-in; nothing else runs this):
#   scripts/install-service.sh WORKDIR [USER]
# WORKDIR is the working directory that holds Set/; USER (default parvix, a
# system user created if missing) runs the server and must be able to write
# the folders the settings name. The binary goes to /opt/parvix/bin, the unit
# to /etc/systemd/system/parvix.service; the service is enabled and started.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
workdir="$(realpath "${1:?usage: install-service.sh WORKDIR [USER]}")"
user="${2:-parvix}"

if [ ! -f "$workdir/Set/Workspace.set" ]; then
    echo "install-service: $workdir/Set/Workspace.set is missing: not a Parvix working directory" >&2
    exit 1
fi
if [ ! -d /run/systemd/system ]; then
    echo "install-service: systemd is not running here; start parvix --headless from $workdir by hand" >&2
    exit 1
fi
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
id "$user" >/dev/null 2>&1 || $sudo useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
$sudo install -D -m 0755 "$root/build/src/parvix" /opt/parvix/bin/parvix
sed -e "s|@USER@|$user|" -e "s|@WORKDIR@|$workdir|" -e "s|@BINARY@|/opt/parvix/bin/parvix|" \
    "$root/scripts/parvix.service" | $sudo tee /etc/systemd/system/parvix.service >/dev/null
$sudo systemctl daemon-reload
$sudo systemctl enable --now parvix.service
systemctl --no-pager status parvix.service | head -5
echo "Figures and health: http://127.0.0.1:9499/metrics and /health; log: journalctl -u parvix"
