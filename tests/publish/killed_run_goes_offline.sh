#!/usr/bin/env bash
# A run killed outright leaves "offline" as its retained state: the broker
# sends the last will when the connection drops.
ivra_run=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/broker_fixture.sh"
start_broker
start_watcher "$fixture/watch.txt"
"$ivra_run" --simulate --time 100 --output "$fixture/run.dat" \
  --mqtt "mqtt://bench1@127.0.0.1:$port/lab/bench1" --mqtt-password-file "$password_file" 2>/dev/null &
run_pid=$!
wait_for_line "$fixture/watch.txt" '"sample":2,'
python3 "$here/check_readings.py" status running <<<"$(retained_status)"
kill -KILL "$run_pid"
wait "$run_pid" 2>/dev/null || true
wait_for_line "$fixture/watch.txt" '"state":"offline"'
python3 "$here/check_readings.py" status offline <<<"$(retained_status)"
echo "killed run goes offline: OK"
