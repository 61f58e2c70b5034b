#!/usr/bin/env bash
# Engine benchmark (not a test): renders generated patches with --render as
# fast as possible on one pinned core and prints the realtime factor and the
# cost per unit-sample (one oscillator, one voice, or the whole patch).
# When Pure Data is installed, the peer engines render the same graphs
# (../shared/peers/run_peers.sh) and the ratios are printed from the same run.
#
#   bench/run.sh [SECONDS=20] [RUNS=5]       env BENCH_CPU=1  core to pin to
set -euo pipefail

DUR=${1:-20}
RUNS=${2:-5}
CPU=${BENCH_CPU:-1}
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
BIN=$ROOT/build/tmodular
PEERS_DIR=${PEERS_DIR:-$ROOT/../shared/peers}
PY=$(command -v /usr/bin/python3 || command -v python3)
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

[ -x "$BIN" ] || { echo "bench: build first (./setup.sh)"; exit 2; }
"$PY" "$HERE/gen_patches.py" "$TMP" "$DUR"
PIN=()
command -v taskset >/dev/null && PIN=(taskset -c "$CPU")

# median wall seconds of RUNS runs of a command (after one warm-up run)
wall() {
    if command -v hyperfine >/dev/null; then
        hyperfine -N --runs "$RUNS" --warmup 1 --export-json "$TMP/hf.json" "$*" >/dev/null 2>&1
        "$PY" -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' "$TMP/hf.json"
    else
        "$@" >/dev/null 2>&1
        local times=()
        for _ in $(seq "$RUNS"); do
            local t0 t1
            t0=$(date +%s%N); "$@" >/dev/null 2>&1; t1=$(date +%s%N)
            times+=("$(( t1 - t0 ))")
        done
        printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.6f\n", a[int((NR+1)/2)]/1e9}'
    fi
}

declare -A UNITS=([osc]=256 [voice]=128 [all]=1)
declare -A OURS
printf '%-6s %6s %10s %10s %8s %14s %14s\n' case units "wall ms" "start ms" RTF "ns/unit-smp" "(net)"
for case in osc voice all; do
    events=()
    [ -f "$TMP/$case.events" ] && events=(--events "$TMP/$case.events")
    cmd=("${PIN[@]}" "$BIN" --render "$TMP/$case.wav" --seconds "$DUR" "${events[@]}" "$TMP/$case.tsy")
    short=("${PIN[@]}" "$BIN" --render "$TMP/short.wav" --seconds 0.01 "${events[@]}" "$TMP/$case.tsy")
    full_s=$(wall "${cmd[@]}")
    short_s=$(wall "${short[@]}")
    read -r rtf raw net < <(awk -v w="$full_s" -v s="$short_s" -v d="$DUR" -v u="${UNITS[$case]}" \
        'BEGIN { n = d * 44100 * u; printf "%.1f %.2f %.2f\n", d / w, w / n * 1e9, (w - s) / n * 1e9 }')
    OURS[$case]=$net
    printf '%-6s %6d %10.1f %10.1f %8s %14s %14s\n' "$case" "${UNITS[$case]}" \
        "$(awk -v w="$full_s" 'BEGIN{print w*1000}')" "$(awk -v s="$short_s" 'BEGIN{print s*1000}')" \
        "$rtf" "$raw" "$net"
done
echo "goals: osc <= 3.0 ns per oscillator-sample, voice <= 8.0 ns per voice-sample (net)"

if command -v pd >/dev/null && [ -x "$PEERS_DIR/run_peers.sh" ]; then
    echo
    echo "Peers on the same graphs (run_peers.sh $DUR $RUNS):"
    "$PEERS_DIR/run_peers.sh" "$DUR" "$RUNS" "pd sc" "osc voice" | tee "$TMP/peers.txt"
    echo
    printf '%-6s %-4s %5s %12s %12s %8s\n' case peer blk "peer ns" "ours ns" "ratio"
    # Lines look like: "pd osc blk=64 ... ns/unit-sample (net of X ms start-up: Y)"
    awk '/ns\/unit-sample/ { peer=$1; c=$2; blk=$3; sub("blk=","",blk);
                             for (i = 1; i < NF; i++) if ($i == "start-up:") { net=$(i+1); sub("\\)","",net) }
                             print c, peer, blk, net }' \
        "$TMP/peers.txt" | while read -r c peer blk net; do
        ours=${OURS[$c]:-}
        [ -n "$ours" ] || continue
        printf '%-6s %-4s %5s %12s %12s %8s\n' "$c" "$peer" "$blk" "$net" "$ours" \
            "$(awk -v p="$net" -v o="$ours" 'BEGIN{printf "%.2fx", p/o}')"
    done
else
    echo "(Pure Data not installed: no peer comparison; see $PEERS_DIR/README.md)"
fi
