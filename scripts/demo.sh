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

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
    exec "$demo/ricostruisci-velko"
fi
# No display: show what the tool does on a virtual one, and what it wrote.
echo "no display here: running the tool under Xvfb"
xvfb-run -a -s "-screen 0 800x600x24 -nolisten tcp" scripts/demo-headless.sh "$demo"
build/bin/storetool info "$demo/velko"
echo "the companies found, as velko now holds them:"
build/bin/storetool dump "$demo/velko" | awk -F '\t' '$6 == 1'
