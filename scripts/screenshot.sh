#!/usr/bin/env bash
# Takes the README's picture of the window, docs/window.png, under Xvfb.
# Needs a build in build/ (scripts/demo.sh or scripts/test.sh makes one).
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ -z "${SCREENSHOT_INSIDE_XVFB:-}" ]]; then
    export SCREENSHOT_INSIDE_XVFB=1
    exec xvfb-run -a -s "-screen 0 800x600x24 -nolisten tcp" "$0" "$@"
fi

unset QT_QPA_PLATFORM
dir=$(mktemp -d)
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
cp build/bin/ricostruisci-velko "$dir/"
"$dir/ricostruisci-velko" &
pid=$!
trap 'kill $pid; rm -rf "$dir" "$XDG_RUNTIME_DIR"' EXIT

window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Ricostruzione archivio Velko$' |
    head -n 1)
mkdir -p docs
# The window may be shown before it is drawn: take it again until it holds
# more than one colour, for at most 20 s.
for _ in $(seq 200); do
    import -window "$window" docs/window.png
    [[ $(convert docs/window.png -format '%k' info:) -gt 1 ]] && exit 0
    timeout 0.1 tail -f /dev/null || true
done
echo "the window stayed blank" >&2
exit 1
