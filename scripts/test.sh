#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite with CTest.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"

cd "$root/build"
ctest --output-on-failure --parallel "$(nproc)"
