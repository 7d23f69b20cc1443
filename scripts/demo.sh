#!/usr/bin/env bash
# Builds the programs, lays out a demo data directory (demo/, ignored by git)
# with a few company archives and the tool itself, and starts the tool there.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

demo=$PWD/demo
mkdir -p "$demo"
# The tool reads only the names of the archives, so empty files serve.
for name in abcdADct.ISD wxyzADct.ISD abcdYYct.ISD abcd01ct.ISD; do
    touch "$demo/$name"
done
# A copy, not a link: the tool works on the directory of its executable, with
# links resolved, and loads the store library from there.
cp build/bin/ricostruisci-velko build/bin/libvbis4032.so "$demo/"
echo "demo data directory: $demo"

if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
    echo "no display to show the window on: run this from a desktop session" >&2
    exit 1
fi
exec "$demo/ricostruisci-velko"
