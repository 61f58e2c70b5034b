#!/bin/bash
# CPU the editor costs while nobody touches it: each patch is played for
# SECONDS (default 10) in the editor under its own Xvfb and with --headless,
# both without sound, and the processes' user + system time is read from
# /proc/PID/stat. The difference is what the window costs.
#   bench/editor_idle.sh [PROGRAM]     (default build/tmodular)
# A run that fails (the program ends, no window shows) prints nothing for it.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/tmodular}
seconds=${SECONDS_IDLE:-10}
tick=$(getconf CLK_TCK)

[ -x "$program" ] || { echo "editor_idle: no program $program (build it first)" >&2; exit 2; }
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "editor_idle: $tool is missing" >&2; exit 2; }
done

xvfb_pid=
run_pid=
cleanup() {
    [ -n "$run_pid" ] && kill "$run_pid" 2>/dev/null && wait "$run_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    run_pid= xvfb_pid=
}
trap cleanup EXIT

start_display() {
    local fifo n
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    xvfb_pid=$!
    read -r -t 10 n <"$fifo"
    rm -f "$fifo"
    [ -n "$n" ] || return 1
    export DISPLAY=:$n
}

# True once the editor run_pid shows a window (within 10 s), false if it ends.
window_shown() {
    for _ in $(seq 100); do
        kill -0 "$run_pid" 2>/dev/null || return 1
        xdotool search --onlyvisible --name . >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# utime + stime of the process, in clock ticks.
cpu_ticks() {
    # The command name may hold blanks: the fields after ")" are counted.
    local rest
    rest=$(sed 's/^.*) //' "/proc/$1/stat" 2>/dev/null) || return 1
    set -- $rest
    echo $((${12} + ${13}))
}

# Percent of one core over the measured span: PID, the run's name.
measure() {
    local pid=$1 before after
    before=$(cpu_ticks "$pid") || return 1
    sleep "$seconds"
    kill -0 "$pid" 2>/dev/null || return 1
    after=$(cpu_ticks "$pid") || return 1
    awk -v d=$((after - before)) -v t="$tick" -v s="$seconds" 'BEGIN { printf "%.1f", 100 * d / t / s }'
}

log=$(mktemp)
for demo in demo_subtractive demo_bassline; do
    patch=$root/data/TSY/$demo.tsy
    common=(--audio nosound --remote-port 0 --record-driver none)

    "$program" --headless "${common[@]}" "$patch" >"$log" 2>&1 </dev/null &
    run_pid=$!
    sleep 2 # start-up is not idle time
    headless=
    if kill -0 "$run_pid" 2>/dev/null; then headless=$(measure "$run_pid"); fi
    cleanup

    editor=
    if start_display; then
        "$program" "${common[@]}" "$patch" >"$log" 2>&1 </dev/null &
        run_pid=$!
        if window_shown; then
            sleep 2
            editor=$(measure "$run_pid")
        fi
    fi
    cleanup

    [ -n "$headless" ] && printf '%-18s headless %5s %% of a core\n' "$demo" "$headless"
    [ -n "$editor" ] && printf '%-18s editor   %5s %% of a core\n' "$demo" "$editor"
    if [ -n "$headless" ] && [ -n "$editor" ]; then
        awk -v e="$editor" -v h="$headless" -v d="$demo" \
            'BEGIN { printf "%-18s window   %5.1f %% of a core\n", d, e - h }'
    fi
done

# One frame drawn by the software renderer, on the demo with the largest panel
# (the sequencer's), whose step lamps keep it redrawing 20 times a second.
largest=$root/data/TSY/demo_bassline.tsy
if start_display; then
    TM_FRAME_STATS=1 "$program" --audio nosound --remote-port 0 --record-driver none "$largest" \
        >"$log" 2>&1 </dev/null &
    run_pid=$!
    if window_shown; then
        sleep 5
        # Esc at the top level ends the editor, which then says its frame time.
        xdotool key Escape
        for _ in $(seq 50); do kill -0 "$run_pid" 2>/dev/null || break; sleep 0.1; done
        if ! kill -0 "$run_pid" 2>/dev/null && wait "$run_pid"; then
            run_pid=
            line=$(grep '^frames drawn' "$log")
            [ -n "$line" ] && printf '%-18s %s\n' "$(basename "$largest" .tsy)" "$line"
        fi
    fi
fi
cleanup
rm -f "$log"
