#!/bin/bash
# Pictures of the editor on every demo patch, for a look by eye:
#   tools/editor_screenshots.sh [PROGRAM] [OUT_DIR]
# Runs PROGRAM (default build/tmodular) under its own Xvfb on each
# data/TSY/demo_*.tsy without sound, waits for its window, lets it draw for a
# moment and saves OUT_DIR/<demo>.png (default build/screenshots). Needs Xvfb,
# xdotool, xwd (x11-apps) and convert (imagemagick). DEMOS=demo_sampler takes
# only the patches of that name pattern.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/tmodular}
out=${2:-$root/build/screenshots}
settle=${SETTLE_SECONDS:-2}

for tool in Xvfb xdotool xwd convert; do
    command -v "$tool" >/dev/null || { echo "editor_screenshots: $tool is missing" >&2; exit 2; }
done
[ -x "$program" ] || { echo "editor_screenshots: no program $program (build it first)" >&2; exit 2; }
mkdir -p "$out"

. "$root/tools/own_display.sh"
trap stop_display EXIT


failed=0
for patch in "$root"/data/TSY/${DEMOS:-demo_*}.tsy; do
    demo=$(basename "$patch" .tsy)
    if ! start_display; then
        echo "$demo: no virtual display" >&2
        failed=1
        stop_display
        continue
    fi
    log="$out/$demo.log"
    "$program" --audio nosound --remote-port 0 --record-driver none "$patch" >"$log" 2>&1 </dev/null &
    run_pid=$!
    # The window shows once the patch is loaded and the first frame drawn.
    shown=0
    for _ in $(seq 100); do
        kill -0 "$run_pid" 2>/dev/null || break
        if xdotool search --onlyvisible --name . >/dev/null 2>&1; then
            shown=1
            break
        fi
        sleep 0.1
    done
    if [ "$shown" = 1 ] && sleep "$settle" && kill -0 "$run_pid" 2>/dev/null &&
        xwd -root -silent | convert xwd:- "$out/$demo.png"; then
        echo "$out/$demo.png"
    else
        echo "$demo: the editor did not show a window (see $log)" >&2
        failed=1
    fi
    stop_display
done
exit $failed
