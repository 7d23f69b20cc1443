#!/usr/bin/env bash
# Runs the tool in DIR on the X server of xvfb-run and presses "OK" as an
# operator would, then closes the box that follows. For scripts/demo.sh on a
# machine without a display:  xvfb-run -a scripts/demo-headless.sh DIR
set -euo pipefail
dir=$1
unset QT_QPA_PLATFORM
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

"$dir/ricostruisci-velko" &
pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Ricostruzione archivio Velko$' |
    head -n 1)
echo "the window is up; pressing \"OK\""
xdotool mousemove --window "$window" 96 100 click 1  # the middle of "OK"
for _ in $(seq 200); do
    box=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -vx "$window" | head -n 1) || true
    [[ -n "$box" ]] && break
    timeout 0.1 tail -f /dev/null || true
done
[[ -n "${box:-}" ]] || { echo "no box appeared" >&2; kill "$pid"; exit 1; }
import -window "$box" "$dir/box.png" 2>/dev/null || true
echo "a box appeared (its picture: $dir/box.png); closing it"
xdotool key Return
status=0
wait "$pid" || status=$?
echo "the tool ended with status $status"
