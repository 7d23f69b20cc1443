#!/usr/bin/env bash
# Builds everything twice, plainly and under AddressSanitizer + UndefinedBehavior-
# Sanitizer, and runs every test in both builds.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
run_build() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

run_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_build build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVBIS_SANITIZE=ON -DVBIS_BENCH=OFF
