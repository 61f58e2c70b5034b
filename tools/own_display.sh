# Sourced by the scripts that open the editor on a display of their own:
# start_display starts an Xvfb of 1024 x 768 (it picks a free number and
# writes it to fd 3) and exports DISPLAY; stop_display ends the program the
# script started (run_pid), then the display.
xvfb_pid=
run_pid=
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
stop_run() {
    [ -n "$run_pid" ] && kill "$run_pid" 2>/dev/null && wait "$run_pid" 2>/dev/null
    run_pid=
}
stop_display() {
    stop_run
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
}
