#!/bin/bash
# CPU the editor's window costs: each case plays its patch for SECONDS
# (default 10) with --headless and in the editor under its own Xvfb (Mesa's
# software renderer), both without sound; the processes' user + system time
# is read from /proc/PID/stat, and the editor says its frame times
# (TM_FRAME_STATS=1) when Esc ends it. The difference is what the window costs.
#   bench/editor_cpu.sh [PROGRAM]     (default build/tmodular)
# Cases: idle demo_subtractive, demo_bassline with its sequencer running, and
# demo_bassline with the oscilloscope shown (F1).
# A run is checked (the window opened, the process ran the whole span, it
# ended with status 0 and said its frames); a case with a failed run prints
# "FAILED" and the script ends with status 1.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/tmodular}
seconds=${SECONDS_CPU:-10}
tick=$(getconf CLK_TCK)

[ -x "$program" ] || { echo "editor_cpu: no program $program (build it first)" >&2; exit 2; }
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "editor_cpu: $tool is missing" >&2; exit 2; }
done

. "$root/tools/own_display.sh"
trap stop_display EXIT


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

# Percent of one core over the measured span; fails when the process ended.
measure() {
    local pid=$1 before after
    before=$(cpu_ticks "$pid") || return 1
    sleep "$seconds"
    kill -0 "$pid" 2>/dev/null || return 1
    after=$(cpu_ticks "$pid") || return 1
    awk -v d=$((after - before)) -v t="$tick" -v s="$seconds" 'BEGIN { printf "%.1f", 100 * d / t / s }'
}

log=$(mktemp)
common=(--audio nosound --remote-port 0 --record-driver none)
failed=0

# One case: its name, the patch, the keys pressed once the window shows.
run_case() {
    local name=$1 patch=$root/data/TSY/$2.tsy keys=$3 headless= editor= frames= status
    "$program" --headless "${common[@]}" "$patch" >"$log" 2>&1 </dev/null &
    run_pid=$!
    sleep 2 # start-up is not the steady state
    kill -0 "$run_pid" 2>/dev/null && headless=$(measure "$run_pid")
    stop_display

    if start_display; then
        TM_FRAME_STATS=1 "$program" "${common[@]}" "$patch" >"$log" 2>&1 </dev/null &
        run_pid=$!
        if window_shown; then
            for k in $keys; do xdotool key "$k"; done
            sleep 2
            editor=$(measure "$run_pid")
            # Esc at the top level ends the editor, which then says its frames.
            xdotool key Escape
            for _ in $(seq 50); do kill -0 "$run_pid" 2>/dev/null || break; sleep 0.1; done
            if ! kill -0 "$run_pid" 2>/dev/null; then
                wait "$run_pid"
                status=$?
                run_pid=
                [ "$status" -eq 0 ] && frames=$(grep '^frames drawn' "$log")
            fi
        fi
    fi
    stop_display

    if [ -z "$headless" ] || [ -z "$editor" ] || [ -z "$frames" ]; then
        printf '%-22s FAILED (headless "%s", editor "%s", frames "%s")\n' "$name" "$headless" \
            "$editor" "$frames"
        failed=1
        return
    fi
    awk -v n="$name" -v e="$editor" -v h="$headless" -v f="$frames" 'BEGIN {
        printf "%-22s editor %5.1f %%  headless %5.1f %%  window %5.1f %% of a core;  %s\n",
               n, e, h, e - h, f }'
}

run_case "idle demo_subtractive" demo_subtractive ""
run_case "sequencer demo_bassline" demo_bassline ""
run_case "scope demo_bassline" demo_bassline "F1"
rm -f "$log"
exit $failed
