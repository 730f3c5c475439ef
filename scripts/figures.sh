#!/usr/bin/env bash
# Prints the figures the system tests and fuzz targets reported in the last
# CTest run of each build folder given: ./scripts/figures.sh build [build-asan]
set -euo pipefail
for dir in "$@"; do
    log="$dir/Testing/Temporary/LastTest.log"
    [[ -f "$log" ]] || continue
    echo "-- $(basename "$dir")"
    awk '
        / Testing: / { test = $3 }
        /QINFO.*figures: / { sub(/.*figures: /, ""); print "  " test ": " $0 }
        /^Done [0-9]+ runs/ { print "  " test ": " $0 ", crashes found: 0" }
    ' "$log"
done
