#!/usr/bin/env bash
# Builds everything with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# into build-asan/, with the libFuzzer targets.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ -DPARVIX_FUZZ=ON \
    "-DCMAKE_CXX_FLAGS=$sanitizers -fsanitize=fuzzer-no-link" \
    "-DCMAKE_EXE_LINKER_FLAGS=$sanitizers" >/dev/null
cmake --build "$root/build-asan" --parallel "$(nproc)"
