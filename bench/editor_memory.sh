#!/bin/bash
# Peak memory of the editor against a render of the same patch: the mixed
# patch of bench/gen_patches.py (20 000 modules of the common types) is
# rendered for a second (peak resident size from /usr/bin/time), then opened
# in the editor under its own Xvfb; once the load has ended, the editor's
# high-water mark (VmHWM) is read. The same for the empty patch and for a
# demo that fills the screen with panels gives the window's own cost, which
# does not grow with the patch.
#   bench/editor_memory.sh [PROGRAM]     (default build/tmodular)
# A run that fails (status, no output, a window that never loads) prints no
# figure for it and the script ends with status 1.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/tmodular}
work=$(mktemp -d)
. "$root/tools/own_display.sh"
cleanup() {
    stop_display
    rm -rf "$work"
}
trap cleanup EXIT

[ -x "$program" ] || { echo "editor_memory: no program $program (build it first)" >&2; exit 2; }
for tool in Xvfb /usr/bin/time python3; do
    command -v "$tool" >/dev/null || { echo "editor_memory: $tool is missing" >&2; exit 2; }
done
python3 "$root/bench/gen_patches.py" "$work" 1 || exit 1
patch=$work/mixed.tsy

# Peak resident size of a one-second render, in KiB.
render_peak() {
    local out=$work/render.wav kib
    /usr/bin/time -o "$work/peak" -f %M "$program" --render "$out" --seconds 1 "$1" \
        >/dev/null 2>&1 || return 1
    kib=$(tail -n 1 "$work/peak")
    [ -s "$out" ] && [[ "$kib" =~ ^[0-9]+$ ]] || return 1
    echo "$kib"
}


# The editor's high-water mark once the patch has loaded (its log says so), in
# KiB; the load time goes to standard error.
editor_peak() {
    local log=$work/editor.log start kib
    start=$(date +%s.%N)
    (cd "$work" && exec "$program" --audio nosound --remote-port 0 "$1" </dev/null >"$log" 2>&1) &
    run_pid=$!
    for _ in $(seq 3000); do
        kill -0 "$run_pid" 2>/dev/null || return 1
        grep -q 'END \*\*' "$log" && break
        sleep 0.1
    done
    grep -q 'END \*\*' "$log" || return 1
    printf '  %s loaded in %.1f s\n' "$(basename "$1")" "$(echo "$(date +%s.%N) - $start" | bc)" >&2
    sleep 2 # a few frames drawn
    kib=$(awk '/^VmHWM/ {print $2}' "/proc/$run_pid/status" 2>/dev/null)
    stop_run
    [[ "$kib" =~ ^[0-9]+$ ]] || return 1
    echo "$kib"
}

status=0
screenful=$root/data/TSY/moog3.tsy
render=$(render_peak "$patch") || { echo "render of the mixed patch failed" >&2; exit 1; }
render_screen=$(render_peak "$screenful") || { echo "render of moog3 failed" >&2; status=1; }
start_display || { echo "editor_memory: Xvfb did not start" >&2; exit 1; }
empty=$(editor_peak "$root/data/TSY/empty.tsy") || { echo "editor on the empty patch failed" >&2; status=1; }
screen=$(editor_peak "$screenful") || { echo "editor on moog3 failed" >&2; status=1; }
editor=$(editor_peak "$patch") || { echo "editor on the mixed patch failed" >&2; exit 1; }

echo "mixed patch, 20 000 modules:"
echo "  render peak: $((render / 1024)) MiB"
echo "  editor peak: $((editor / 1024)) MiB ($(echo "scale=2; $editor / $render" | bc) x the render; goal 1.5)"
echo "  the editor adds $(((editor - render) / 1024)) MiB to the render"
# What the window costs whatever the patch's size: nothing shown, and a
# screen full of panels (moog3).
[ -n "${empty:-}" ] && echo "editor on the empty patch: $((empty / 1024)) MiB"
[ -n "${screen:-}" ] && [ -n "${render_screen:-}" ] &&
    echo "editor on moog3 (a screen of panels): $((screen / 1024)) MiB, $(((screen - render_screen) / 1024)) MiB more than its render"
exit $status
