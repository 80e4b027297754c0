#!/usr/bin/env bash
# A bias schedule's figures against ivra-sim: the voltage set for each sample
# (the data file's fifth column) beside the voltage commands the instrument
# received, for 3 steps repeated twice with a ramp; and the time from a stop
# signal to the output going off on a way down from 10 V at 1 V/s.
#
#   bench/measurement/schedule_figures.sh BUILD_DIR
set -euo pipefail
build=${1:?build directory holding ivra-run and ivra-sim}
work=$(mktemp -d)
trap 'kill "${sim:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

# Sets sim (its pid) and port (where a client connects).
start_sim() {
  "$build/ivra-sim" --log "$work/$1.log" > "$work/$1.port" &
  sim=$!
  for _ in $(seq 100); do [[ -s "$work/$1.port" ]] && break; sleep 0.05; done
  port=$(head -1 "$work/$1.port")
}

start_sim table
"$build/ivra-run" --port "$port" --step 1:2 --step 2:2 --step -1:2 --repeat 2 --ramp 0.5 \
  --output "$work/table.dat" 2> "$work/table.err"
kill "$sim"; wait "$sim" 2>/dev/null || true
echo "3 steps (1 V, 2 V, -1 V; 2 s each), 2 passes, ramp 0.5 V/s, 1 s interval"
printf '%-10s %-14s %s\n' "elapsed" "set voltage" "command received"
# The commands from the output going on: one voltage command before each sample.
grep -o ':SOUR:VOLT [^\\]*\|:OUTP [A-Z]*' "$work/table.log" | sed -n '/:OUTP ON/,$p' > "$work/commands"
head -1 "$work/commands" | sed 's/^/(start)                   /'
paste -d' ' <(awk -F'\t' '{ printf "%-10s %-14s\n", $1 " s", $5 " V" }' "$work/table.dat") \
  <(sed -n "2,$(( $(wc -l < "$work/table.dat") + 1 ))p" "$work/commands")
tail -n +"$(( $(wc -l < "$work/table.dat") + 2 ))" "$work/commands" | sed 's/^/(end)                     /'

start_sim stop
"$build/ivra-run" --port "$port" --voltage 10 --time 600 --ramp 1 --output "$work/stop.dat" 2> "$work/stop.err" &
run=$!
until [[ "$(awk -F'\t' 'END { print $5 }' "$work/stop.dat" 2>/dev/null)" == "10" ]]; do sleep 0.2; done
signalled=$(date +%s.%N)
kill -TERM "$run"
wait "$run" || true
off=$(date +%s.%N)
kill "$sim"; wait "$sim" 2>/dev/null || true
echo
awk -v a="$signalled" -v b="$off" 'BEGIN { printf "SIGTERM at 10 V with a ramp of 1 V/s: output off %.1f s later\n", b - a }'
grep -c ':SOUR:VOLT' "$work/stop.log" | sed 's/^/voltage commands in the whole run: /'
