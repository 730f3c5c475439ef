#!/usr/bin/env bash
# Installs the Debian packages that building and running Parvix need, and
# with --tests those the test suite needs too (clang for the sanitized build
# and the fuzz targets, MinGW to compile the Windows branch of the platform
# unit, Prometheus for promtool, which checks the figures' format), asking
# apt-get only for those that are missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build
    qt6-base-dev qt6-base-dev-tools
    libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc
    unixodbc odbc-postgresql libsqliteodbc tdsodbc
    postgresql sqlite3 tzdata
)
if [ "${1:-}" = "--tests" ]; then
    packages+=(clang libclang-rt-14-dev g++-mingw-w64-x86-64 prometheus)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
# Only promtool is wanted: the Prometheus service the package starts is stopped and disabled.
if [[ " ${missing[*]} " == *" prometheus "* ]] && [ -d /run/systemd/system ]; then
    $sudo systemctl disable --now prometheus.service || true
fi
