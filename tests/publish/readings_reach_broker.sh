#!/usr/bin/env bash
# ivra-run --simulate publishes over TLS with a password from a file: a
# watcher gets every sample, equal to the data file's lines, the retained
# state ends as completed, stdout carries the same readings as JSON lines, and
# the password shows nowhere.
ivra_run=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/broker_fixture.sh"
start_broker
start_watcher "$fixture/watch.txt"

status=0
"$ivra_run" --simulate --time 12 --output "$fixture/run.dat" --bench "bench one" \
  --mqtt "mqtts://bench1@localhost:$tls_port/lab/bench1" --mqtt-cafile "$fixture/ca.crt" \
  --mqtt-password-file "$password_file" --stdout jsonl > "$fixture/stdout" 2> "$fixture/stderr" || status=$?
cat "$fixture/stderr"
(( status == 0 )) || { echo "ivra-run ended with status $status" >&2; exit 1; }

wait_for_line "$fixture/watch.txt" '"state":"completed"'
python3 "$here/check_readings.py" mqtt "$fixture/run.dat" "$fixture/watch.txt"
python3 "$here/check_readings.py" jsonl "$fixture/run.dat" "$fixture/stdout"
retained=$(retained_status)
python3 "$here/check_readings.py" status completed <<<"$retained"
python3 - "$retained" <<'PY'
import json, sys
state = json.loads(sys.argv[1])
assert state["bench"] == "bench one", state
assert state["counters"]["samplesTaken"] == 12 and state["counters"]["readingsDropped"] == 0, state
assert state["settings"]["measurementTime"] == 12, state
PY
python3 - "$fixture/run.dat.run.json" <<'PY'
import json, sys
mqtt = json.load(open(sys.argv[1]))["mqtt"]
assert mqtt["readings_published"] == 12 and mqtt["readings_dropped"] == 0, mqtt
PY
grep -q "mqtt: 12 readings published to mqtts://bench1@localhost:$tls_port, 0 dropped" "$fixture/stderr"
if grep -rq bench-secret "$fixture/stderr" "$fixture/stdout" "$fixture/run.dat.run.json"; then
  echo "the password shows in the program's output or the run record" >&2
  exit 1
fi
echo "readings reach the broker: OK"
