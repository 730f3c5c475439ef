#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite with CTest;
# then runs it again built with AddressSanitizer and UndefinedBehaviorSanitizer
# (build-asan/), with a short run of every fuzz target, failing on any report;
# then prints the figures the system tests reported and CTest's summaries.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

"$root/scripts/install-deps.sh" --tests
"$root/scripts/build.sh" "$root/build"
echo "== The Windows branch of the platform unit, compiled with MinGW (no Qt for Windows here)"
x86_64-w64-mingw32-g++ -std=c++20 -Wall -Wextra -Werror -I"$root/src" \
    -c "$root/src/platform/platform_windows.cpp" \
    -o "$root/build/platform_windows.o"
(cd "$root/build" && ctest --output-on-failure --parallel "$(nproc)" | tee ctest-output.txt)

echo "== The same suite with AddressSanitizer and UndefinedBehaviorSanitizer, and the fuzz targets"
"$root/scripts/sanitized-build.sh"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$root/build-asan"
ctest --output-on-failure --parallel "$(nproc)" | tee ctest-output.txt

echo "== Figures"
"$root/scripts/figures.sh" "$root/build" "$root/build-asan"
echo "== Summary (plain build, then sanitized build)"
grep -h "tests passed" "$root/build/ctest-output.txt" "$root/build-asan/ctest-output.txt"
