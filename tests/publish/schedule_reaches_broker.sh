#!/usr/bin/env bash
# A run with steps and a ramp publishes each reading's set voltage, equal to
# its data line's, and a status that names the step in force.
ivra_run=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/broker_fixture.sh"
start_broker
start_watcher "$fixture/watch.txt"

status=0
"$ivra_run" --simulate --step 0.5:3 --step 1:3 --ramp 2 --output "$fixture/run.dat" \
  --mqtt "mqtt://bench1@127.0.0.1:$port/lab/bench1" --mqtt-password-file "$password_file" \
  --stdout jsonl > "$fixture/stdout" 2> "$fixture/stderr" || status=$?
cat "$fixture/stderr"
(( status == 0 )) || { echo "ivra-run ended with status $status" >&2; exit 1; }

wait_for_line "$fixture/watch.txt" '"state":"completed"'
python3 "$here/check_readings.py" mqtt "$fixture/run.dat" "$fixture/watch.txt"
python3 "$here/check_readings.py" jsonl "$fixture/run.dat" "$fixture/stdout"
python3 - "$fixture/watch.txt" <<'PY'
import json, sys
steps = set()
for line in open(sys.argv[1]):
    topic, _, payload = line.rstrip("\n").partition(" ")
    if topic.endswith("/status") and payload.startswith("{"):
        state = json.loads(payload)
        if state.get("step"):
            assert state["step"]["of"] == 2, state
            steps.add(state["step"]["number"])
        assert "setVoltage" in state, state
assert steps == {1, 2}, "the status named steps %s, not 1 and 2" % sorted(steps)
PY
echo "a schedule reaches the broker: OK"
