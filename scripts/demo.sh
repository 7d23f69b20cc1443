#!/usr/bin/env bash
# Builds the programs, lays out a demo data directory (demo/, ignored by git)
# and shows what the build has to offer there.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

demo=$PWD/demo
mkdir -p "$demo"
echo "demo data directory: $demo"
ls build/bin
