#!/usr/bin/env bash
# Runs each libFuzzer target for longer than the test suite does (default
# 5 minutes each): ./scripts/fuzz.sh [SECONDS]. Inputs that crash are saved
# in build-asan/fuzz-crashes/; each one found becomes a regression test.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-300}"

"$root/scripts/install-deps.sh" --tests
"$root/scripts/sanitized-build.sh"
export ASAN_OPTIONS="detect_leaks=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp"
mkdir -p "$root/build-asan/fuzz-crashes"
for target in framesplitter settingsreader transitrecord scarico dispatch; do
    echo "== fuzz_$target for $seconds s"
    "$root/build-asan/tests/fuzz_$target" -max_total_time="$seconds" -max_len=600 -timeout=10 \
        -artifact_prefix="$root/build-asan/fuzz-crashes/" \
        "$root/build-asan/tests/fuzz-found/$target" "$root/tests/fuzz/corpus/$target"
done
