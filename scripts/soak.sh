#!/usr/bin/env bash
# The long variants of the load and crash tests, not run in CI:
#   ./scripts/soak.sh [RUNS]   (default 10)
# RUNS times: the load test with 72 rounds of live reads from 20 terminals
# (1,440 reads) during a download pass, and the model test of stored transits
# with 10 random schedules (terminal faults, SIGKILLs, database outages) on
# SQLite and on PostgreSQL, each run with its own first seed (printed, and
# PARVIX_MODEL_SEED repeats it). Loopback only.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-10}"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
failed=0
# Runs one test binary, shows its figures and failures, counts a failure.
soak() {
    local output
    if output="$("$@" 2>&1)"; then :; else failed=$((failed + 1)); fi
    grep -E "figures:|FAIL|Loc:" <<<"$output" || true
}
"$root/scripts/pg-cluster.sh" start
trap '"$root/scripts/pg-cluster.sh" stop' EXIT
for run in $(seq 1 "$runs"); do
    echo "== run $run of $runs"
    PARVIX_LOAD_ROUNDS=72 soak "$root/build/tests/tst_load"
    for backend in sqlite postgresql; do
        PARVIX_TEST_BACKEND=$backend PARVIX_MODEL_SEEDS=10 PARVIX_MODEL_SEED="$RANDOM$RANDOM" \
            soak "$root/build/tests/tst_download" randomScheduleLosesAndDoublesNothing
    done
done
echo "== $((3 * runs)) soak tests, $failed failed"
[[ $failed -eq 0 ]]
