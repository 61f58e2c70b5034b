#!/usr/bin/env bash
# Engine benchmark (not a test): renders generated patches with --render as
# fast as possible on one pinned core and prints the realtime factor and the
# cost per unit-sample (one oscillator, one voice, or the whole patch).
# When Pure Data is installed, the peer engines render the same graphs
# (../shared/peers/run_peers.sh) and the ratios are printed from the same run.
#
# A render that fails, or writes other than SECONDS x 44100 frames, stops the
# benchmark with its own message and status: no figure is printed for it.
#
#   bench/run.sh [SECONDS=20] [RUNS=5]       env BENCH_CPU=1  core to pin to
#                                            env BENCH_BIN=...  program (build/tmodular)
#                                            env BENCH_DATA=... its --data directory
set -euo pipefail

DUR=${1:-20}
RUNS=${2:-5}
CPU=${BENCH_CPU:-1}
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
BIN=${BENCH_BIN:-$ROOT/build/tmodular}
DATA=()
[ -n "${BENCH_DATA:-}" ] && DATA=(--data "$BENCH_DATA")
PEERS_DIR=${PEERS_DIR:-$ROOT/../shared/peers}
PY=$(command -v /usr/bin/python3 || command -v python3)
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

[ -x "$BIN" ] || { echo "bench: build first (./setup.sh)" >&2; exit 2; }
"$PY" "$HERE/gen_patches.py" "$TMP" "$DUR"
PIN=()
command -v taskset >/dev/null && PIN=(taskset -c "$CPU")

# Stops the benchmark with a failed render's own output and status.
failed() { # STATUS LOG COMMAND...
    local status=$1 log=$2
    shift 2
    echo "bench: render failed (exit status $status): $*" >&2
    cat "$log" >&2
    exit "$status"
}

frames_of() {
    if command -v soxi >/dev/null; then
        soxi -s "$1"
    else
        "$PY" -c 'import sys, wave; print(wave.open(sys.argv[1]).getnframes())' "$1"
    fi
}

# The render wrote exactly round(SECONDS x 44100) frames.
check_frames() { # OUT.wav SECONDS
    local want got
    want=$("$PY" -c 'import sys; print(int(float(sys.argv[1]) * 44100 + 0.5))' "$2")
    got=$(frames_of "$1") || { echo "bench: cannot read the frames of $1" >&2; exit 1; }
    [ "$got" = "$want" ] || { echo "bench: $1 has $got frames, expected $want" >&2; exit 1; }
}

# One render with its output kept, then its frames checked.
checked_render() { # OUT.wav SECONDS COMMAND...
    local out=$1 secs=$2 status=0
    shift 2
    "$@" >"$TMP/render.log" 2>&1 || status=$?
    [ "$status" -eq 0 ] || failed "$status" "$TMP/render.log" "$@"
    check_frames "$out" "$secs"
}

# median wall seconds of RUNS runs of a command (after one warm-up run)
wall() {
    if command -v hyperfine >/dev/null; then
        hyperfine -N --runs "$RUNS" --warmup 1 --export-json "$TMP/hf.json" "$*" >"$TMP/hf.log" 2>&1 ||
            failed "$?" "$TMP/hf.log" "$@"
        "$PY" -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' "$TMP/hf.json"
    else
        "$@" >"$TMP/run.log" 2>&1 || failed "$?" "$TMP/run.log" "$@"
        local times=()
        for _ in $(seq "$RUNS"); do
            local t0 t1 status=0
            t0=$(date +%s%N); "$@" >"$TMP/run.log" 2>&1 || status=$?; t1=$(date +%s%N)
            [ "$status" -eq 0 ] || failed "$status" "$TMP/run.log" "$@"
            times+=("$(( t1 - t0 ))")
        done
        printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.6f\n", a[int((NR+1)/2)]/1e9}'
    fi
}

declare -A UNITS=([osc]=256 [voice]=128 [all]=1)
declare -A OURS
CASES=(osc voice all)

# The render command of a case, into CMD; the old output is removed so that
# only a file this command writes is checked.
render_cmd() { # CASE OUT.wav SECONDS
    rm -f "$2"
    local events=()
    [ -f "$TMP/$1.events" ] && events=(--events "$TMP/$1.events")
    CMD=("${PIN[@]}" "$BIN" "${DATA[@]}" --render "$2" --seconds "$3" "${events[@]}" "$TMP/$1.tsy")
}

# Every render must work before any figure is printed.
for case in "${CASES[@]}"; do
    render_cmd "$case" "$TMP/$case.wav" "$DUR"
    checked_render "$TMP/$case.wav" "$DUR" "${CMD[@]}"
    render_cmd "$case" "$TMP/short.wav" 0.01
    checked_render "$TMP/short.wav" 0.01 "${CMD[@]}"
done

printf '%-6s %6s %10s %10s %8s %14s %14s\n' case units "wall ms" "start ms" RTF "ns/unit-smp" "(net)"
for case in "${CASES[@]}"; do
    # The timed runs are checked too: their status, and the frames of the last.
    render_cmd "$case" "$TMP/$case.wav" "$DUR"
    full_s=$(wall "${CMD[@]}")
    check_frames "$TMP/$case.wav" "$DUR"
    render_cmd "$case" "$TMP/short.wav" 0.01
    short_s=$(wall "${CMD[@]}")
    check_frames "$TMP/short.wav" 0.01
    read -r rtf raw net < <(awk -v w="$full_s" -v s="$short_s" -v d="$DUR" -v u="${UNITS[$case]}" \
        'BEGIN { n = d * 44100 * u; printf "%.1f %.2f %.2f\n", d / w, w / n * 1e9, (w - s) / n * 1e9 }')
    OURS[$case]=$net
    printf '%-6s %6d %10.1f %10.1f %8s %14s %14s\n' "$case" "${UNITS[$case]}" \
        "$(awk -v w="$full_s" 'BEGIN{print w*1000}')" "$(awk -v s="$short_s" 'BEGIN{print s*1000}')" \
        "$rtf" "$raw" "$net"
done

if command -v pd >/dev/null && [ -x "$PEERS_DIR/run_peers.sh" ]; then
    echo
    echo "Peers on the same graphs (run_peers.sh $DUR $RUNS):"
    "$PEERS_DIR/run_peers.sh" "$DUR" "$RUNS" "pd sc" "osc voice" | tee "$TMP/peers.txt"
    echo
    # ours/peer: our time over the peer's for the same work (below 1: we are faster).
    printf '%-6s %-4s %5s %12s %12s %10s\n' case peer blk "peer ns" "ours ns" "ours/peer"
    # Lines look like: "pd osc blk=64 ... ns/unit-sample (net of X ms start-up: Y)"
    awk '/ns\/unit-sample/ { peer=$1; c=$2; blk=$3; sub("blk=","",blk);
                             for (i = 1; i < NF; i++) if ($i == "start-up:") { net=$(i+1); sub("\\)","",net) }
                             print c, peer, blk, net }' \
        "$TMP/peers.txt" >"$TMP/peer_ns.txt"
    while read -r c peer blk net; do
        ours=${OURS[$c]:-}
        [ -n "$ours" ] || continue
        printf '%-6s %-4s %5s %12s %12s %10s\n' "$c" "$peer" "$blk" "$net" "$ours" \
            "$(awk -v p="$net" -v o="$ours" 'BEGIN{printf "%.2f", o/p}')"
    done <"$TMP/peer_ns.txt"
    echo
    # The goals: per sample as fast as Pure Data computing blocks of 64.
    for goal in "osc 0.80" "voice 1.00"; do
        read -r c limit <<<"$goal"
        net=$(awk -v c="$c" '$1 == c && $2 == "pd" && $3 == 64 { print $4 }' "$TMP/peer_ns.txt")
        [ -n "$net" ] || { echo "goal $c: no Pd block-64 figure"; continue; }
        awk -v c="$c" -v p="$net" -v o="${OURS[$c]}" -v g="$limit" 'BEGIN {
            r = o / p; printf "goal %-5s ours/Pd block 64 = %.2f (goal <= %.2f): %s\n", c, r, g,
            (r <= g ? "met" : "NOT met") }'
    done
else
    echo "(Pure Data not installed: no peer comparison; see $PEERS_DIR/README.md)"
fi
