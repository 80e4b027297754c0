#!/usr/bin/env bash
# Publishing's cost, measured against a local Debian mosquitto broker:
#  - latency from a sample to a subscriber: the reading's time stamp on
#    ivra-run's stdout (taken right before it is handed to the broker; the
#    line is already in the data file) against mosquitto_sub's time of arrival;
#  - CPU per 1-s sample of ivra-run --simulate with and without --mqtt, the
#    way bench/cpu/cpu_per_sample.sh measures it (start-up left out).
#   bench/publish/publish_figures.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=$(cd "${1:?usage: publish_figures.sh BUILD_DIR [SECONDS]}" && pwd)
span=${2:-30}
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
ticks_per_s=$(getconf CLK_TCK)
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf 'user %s\nlistener %s 127.0.0.1\nallow_anonymous true\n' "$(id -un)" "$port" > "$work/broker.conf"
mosquitto -c "$work/broker.conf" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do mosquitto_pub -p "$port" -t probe -n 2>/dev/null && break; sleep 0.1; done

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
measure() {
  local pid=$1
  sleep 5
  local a; a=$(cpu_ticks "$pid")
  sleep "$span"
  local b; b=$(cpu_ticks "$pid")
  awk -v a="$a" -v b="$b" -v hz="$ticks_per_s" -v s="$span" 'BEGIN { printf "%.2f\n", (b - a) * 1000 / hz / s }'
}

"$build/ivra-run" --simulate --time $((span + 10)) --output "$work/plain.dat" 2>/dev/null &
pid=$!; pids+=($pid)
echo "CPU per sample, ivra-run --simulate:        $(measure "$pid") ms"
kill "$pid"; wait "$pid" 2>/dev/null || true

mosquitto_sub -p "$port" -t 'lab/b/reading' -F '%U %p' > "$work/arrivals" &
pids+=($!)
sleep 0.5
"$build/ivra-run" --simulate --time $((span + 10)) --output "$work/mqtt.dat" --stdout influx \
  --mqtt "mqtt://127.0.0.1:$port/lab/b" > "$work/points" 2>/dev/null &
pid=$!; pids+=($pid)
echo "CPU per sample, ivra-run --simulate --mqtt: $(measure "$pid") ms"
wait "$pid" || true
sleep 1
python3 - "$work/points" "$work/arrivals" <<'PY'
import json, re, statistics, sys
sent = {}
for line in open(sys.argv[1]):
    m = re.search(r'sample=(\d+)i,.* (\d+)$', line)
    sent[int(m[1])] = int(m[2])
lat = []
for line in open(sys.argv[2]):
    stamp, payload = line.split(" ", 1)
    seconds, _, nanos = stamp.partition(".")
    arrived = int(seconds) * 10**9 + int(nanos.ljust(9, "0")[:9])
    sample = json.loads(payload)["sample"]
    if sample in sent:
        lat.append((arrived - sent[sample]) / 1e6)
lat.sort()
print("latency sample -> subscriber over %d readings: median %.2f ms, 90%% %.2f ms, max %.2f ms"
      % (len(lat), statistics.median(lat), lat[int(len(lat) * 0.9)], lat[-1]))
PY
