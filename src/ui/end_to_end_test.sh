#!/usr/bin/env bash
# End-to-end test of the real program in a real X window (under Xvfb), driven
# with xdotool the way an operator would: real pointer clicks and key presses.
#
#   end_to_end_test.sh PROGRAM SCENARIO [LIBRARY STORETOOL]
#
# SCENARIO is one of:
#   no-archives  in an empty directory "OK" shows the warning and the window
#                stays, twice over; "Annulla" then ends the program with 0.
#   unreadable   the program's directory disappears while it runs; "OK" shows
#                the platform's error box and the program ends with 1.
#   rebuild      beside the program are the store LIBRARY and two company
#                archives; "OK" shows one box, the completion, and once it is
#                closed the program has ended with 0, velko is a copy of temp
#                and STORETOOL verifies it.
#
# Every wait polls with a bound; nothing waits a fixed time.
set -euo pipefail

if [[ -z "${END_TO_END_INSIDE_XVFB:-}" ]]; then
    export END_TO_END_INSIDE_XVFB=1
    # -a picks a free display, so tests may run side by side.
    exec xvfb-run -a -s "-screen 0 800x600x24 -nolisten tcp" "$0" "$@"
fi

program=$1
scenario=$2
library=${3:-}
storetool=${4:-}
unset QT_QPA_PLATFORM  # the real window system
caption="Ricostruzione archivio Velko"
application_title="Ricostruisci velko"

dir=$(mktemp -d)
XDG_RUNTIME_DIR=$(mktemp -d)  # Qt wants one of its own
export XDG_RUNTIME_DIR
pid=
cleanup() {
    if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then kill "$pid"; fi
    rm -rf "$dir" "$XDG_RUNTIME_DIR"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The program works on the directory of its executable, links resolved: it
# must be a copy, not a link, to work on the empty directory.
cp "$program" "$dir/ricostruisci-velko"
if [[ $scenario == rebuild ]]; then
    cp "$library" "$dir/libvbis4032.so"
    touch "$dir/abcdADct.ISD" "$dir/wxyzYYct.ISD"
fi

# Waits up to 20 s for a shown window whose title is exactly $1; prints its id.
wait_for_window() {
    local id
    id=$(timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) ||
        fail "no window \"$1\""
    echo "$id"
}
# Waits up to 20 s until no shown window has the title $1.
wait_for_no_window() {
    for _ in $(seq 200); do
        xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
        timeout 0.1 tail -f /dev/null || true  # a bounded pause between polls
    done
    fail "window \"$1\" still shown"
}
# Waits up to 20 s for the program to end; sets $status to its exit status.
wait_for_end() {
    for _ in $(seq 200); do
        if ! kill -0 "$pid" 2>/dev/null; then
            status=0
            wait "$pid" || status=$?
            pid=
            return 0
        fi
        timeout 0.1 tail -f /dev/null || true
    done
    fail "the program did not end"
}
# Clicks the point ($2, $3) of window $1, in the window's own pixels. The
# server handles the move before the click, so no wait is needed between them.
click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
}
# The centres of "OK" (56, 88, 81 × 25) and "Annulla" (160, 88, 81 × 25).
click_ok() { click "$1" 96 100; }
click_annulla() { click "$1" 200 100; }

(cd / && exec "$dir/ricostruisci-velko") &
pid=$!
window=$(wait_for_window "$caption")

case $scenario in
no-archives)
    for round in 1 2; do
        click_ok "$window"
        wait_for_window "$application_title" >/dev/null
        kill -0 "$pid" 2>/dev/null || fail "round $round: the program ended"
        xdotool key Return  # closes the box, which has the keyboard
        wait_for_no_window "$application_title"
        xdotool search --onlyvisible --name "^$caption\$" >/dev/null ||
            fail "round $round: the window is gone"
    done
    click_annulla "$window"
    wait_for_end
    [[ "$status" == 0 ]] || fail "\"Annulla\" ended the program with status $status"
    leftovers=$(ls -A "$dir")
    [[ "$leftovers" == ricostruisci-velko ]] || fail "files written: $leftovers"
    ;;
unreadable)
    # Removing the directory leaves the running program in place.
    mv "$dir" "$dir.gone" && rm -rf "$dir.gone"
    click_ok "$window"
    wait_for_window "$application_title" >/dev/null
    xdotool key Return
    wait_for_end
    [[ "$status" == 1 ]] || fail "the program ended with status $status, not 1"
    ;;
rebuild)
    click_ok "$window"
    # The completion box has the empty title: it is the program's window
    # that is not the main one.
    box=
    for _ in $(seq 200); do
        box=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -vx "$window" | head -n 1) || true
        [[ -n "$box" ]] && break
        kill -0 "$pid" 2>/dev/null || fail "the program ended before its box"
        timeout 0.1 tail -f /dev/null || true
    done
    [[ -n "$box" ]] || fail "no box after \"OK\""
    xdotool key Return
    wait_for_end
    [[ "$status" == 0 ]] || fail "the program ended with status $status, not 0"
    for ext in isd isl isf ism; do
        cmp -s "$dir/temp.$ext" "$dir/velko.$ext" || fail "velko.$ext is not a copy of temp.$ext"
    done
    leftovers=$(cd "$dir" && ls -A | grep -v -e '^temp\.' -e '^velko\.is' | sort | tr '\n' ' ')
    [[ "$leftovers" == "abcdADct.ISD libvbis4032.so ricostruisci-velko wxyzYYct.ISD " ]] ||
        fail "unexpected files: $leftovers"
    "$storetool" verify "$dir/velko" || fail "velko does not verify"
    "$storetool" get "$dir/velko" YY | grep -q "Azienda di prova" || fail "YY is not the test company"
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS: $scenario"
