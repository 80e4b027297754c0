#!/usr/bin/env bash
# The broker's trouble never costs a line or the exit status: a wrong password
# is told once, by broker and reason, while the run completes (with its line
# protocol on stdout); a broker that goes away mid-run and comes back gets the
# readings taken meanwhile.
ivra_run=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/broker_fixture.sh"
start_broker

echo "== wrong password"
status=0
IVRA_MQTT_PASSWORD=not-the-password "$ivra_run" --simulate --time 10 --output "$fixture/refused.dat" \
  --bench "bench,one" --mqtt "mqtt://bench1@127.0.0.1:$port/lab/bench1" --stdout influx \
  > "$fixture/refused.stdout" 2> "$fixture/refused.stderr" || status=$?
cat "$fixture/refused.stderr"
(( status == 0 )) || { echo "ivra-run ended with status $status" >&2; exit 1; }
python3 "$here/check_readings.py" influx "$fixture/refused.dat" "$fixture/refused.stdout"
[[ $(wc -l < "$fixture/refused.dat") -eq 10 ]]
[[ $(grep -c "warning: cannot publish to the MQTT broker mqtt://bench1@127.0.0.1:$port (not authorised)" \
      "$fixture/refused.stderr") -eq 1 ]] || { echo "expected one warning naming the broker and the reason" >&2; exit 1; }
[[ $(grep -c "warning" "$fixture/refused.stderr") -eq 1 ]]
! grep -q not-the-password "$fixture/refused.stderr" "$fixture/refused.dat.run.json"

echo "== broker away mid-run"
start_watcher "$fixture/watch.txt"
"$ivra_run" --simulate --time 16 --output "$fixture/run.dat" \
  --mqtt "mqtt://bench1@127.0.0.1:$port/lab/bench1" --mqtt-password-file "$password_file" \
  2> "$fixture/run.stderr" &
run_pid=$!
wait_for_line "$fixture/watch.txt" '"sample":3,'
stop_broker
sleep 4
start_broker
status=0
wait "$run_pid" || status=$?
cat "$fixture/run.stderr"
(( status == 0 )) || { echo "ivra-run ended with status $status" >&2; exit 1; }
[[ $(wc -l < "$fixture/run.dat") -eq 16 ]] || { echo "the data file is not complete" >&2; exit 1; }
# The watcher may have gone with the broker: its lasting session kept what
# was published for it since.
kill -0 "$watcher_pid" 2>/dev/null || start_watcher "$fixture/watch.txt"
wait_for_line "$fixture/watch.txt" '"state":"completed"'
python3 "$here/check_readings.py" mqtt "$fixture/run.dat" "$fixture/watch.txt"
grep -q "warning: cannot publish to the MQTT broker mqtt://bench1@127.0.0.1:$port" "$fixture/run.stderr"
grep -q "mqtt: 16 readings published to mqtt://bench1@127.0.0.1:$port, 0 dropped" "$fixture/run.stderr"
echo "broker trouble: OK"
