# Sourced by the publishing tests: Debian's mosquitto on free local ports, with
# a password file, an ACL that lets the bench's user write under its prefix
# only, and a TLS listener whose certificate is made here for the test.
#   bench user:   bench1 / bench-secret, may publish under lab/bench1/
#   watcher user: watcher / watcher-secret, may read lab/#
set -euo pipefail

fixture=$(mktemp -d /tmp/ivra-mqtt-test.XXXXXX)
# A killed run is listed as unfinished: in the test's folder, not the user's.
export XDG_STATE_HOME="$fixture/state"
broker_pid=""
cleanup_fixture() {
  for pid in $(jobs -p); do kill "$pid" 2>/dev/null || true; done
  [[ -n "$broker_pid" ]] && kill "$broker_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$fixture"
}
trap cleanup_fixture EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
port=$(free_port)
tls_port=$(free_port)

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Ivra test CA" \
  -keyout "$fixture/ca.key" -out "$fixture/ca.crt" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
  -keyout "$fixture/server.key" -out "$fixture/server.csr" 2>/dev/null
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\n' > "$fixture/san.ext"
openssl x509 -req -in "$fixture/server.csr" -CA "$fixture/ca.crt" -CAkey "$fixture/ca.key" -CAcreateserial \
  -days 2 -extfile "$fixture/san.ext" -out "$fixture/server.crt" 2>/dev/null

: > "$fixture/passwords"
mosquitto_passwd -b "$fixture/passwords" bench1 bench-secret
mosquitto_passwd -b "$fixture/passwords" watcher watcher-secret
cat > "$fixture/acl" <<ACL
user bench1
topic write lab/bench1/#

user watcher
topic read lab/#
ACL
mkdir -p "$fixture/db"
cat > "$fixture/mosquitto.conf" <<CONF
# As whoever runs the test (a broker started by root would otherwise become
# the mosquitto user, who cannot read the test's files).
user $(id -un)
per_listener_settings false
allow_anonymous false
password_file $fixture/passwords
acl_file $fixture/acl
persistence true
persistence_location $fixture/db/
autosave_interval 1
log_dest file $fixture/broker.log
log_type all
listener $port 127.0.0.1
listener $tls_port 127.0.0.1
cafile $fixture/ca.crt
certfile $fixture/server.crt
keyfile $fixture/server.key
CONF
chmod 0700 "$fixture"
chmod 0600 "$fixture/passwords" "$fixture/acl"

# Starts the broker and waits until it answers.
start_broker() {
  mosquitto -c "$fixture/mosquitto.conf" &
  broker_pid=$!
  for _ in $(seq 1 200); do
    if mosquitto_pub -h 127.0.0.1 -p "$port" -u watcher -P watcher-secret -t probe -n 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "the test broker did not start; its log:" >&2
  cat "$fixture/broker.log" >&2
  return 1
}

# Stops it as a crash or a restart would, saving its sessions.
stop_broker() {
  kill "$broker_pid"
  wait "$broker_pid" 2>/dev/null || true
  broker_pid=""
}

# A watcher with a lasting session: what is published while it is away waits
# for it on the broker. Prints each message as "TOPIC PAYLOAD" to FILE.
start_watcher() {
  mosquitto_sub -h 127.0.0.1 -p "$port" -u watcher -P watcher-secret -q 1 -c -i "watcher-$$" \
    -t 'lab/bench1/#' -v > "$1" 2>>"$fixture/watcher.log" &
  watcher_pid=$!
  # Subscribed once the probe comes through.
  for _ in $(seq 1 200); do
    grep -q '^lab/bench1/probe' "$1" 2>/dev/null && return 0
    mosquitto_pub -h 127.0.0.1 -p "$port" -u bench1 -P bench-secret -t lab/bench1/probe -m ready 2>/dev/null || true
    sleep 0.2
  done
  echo "the watcher did not subscribe" >&2
  return 1
}

# The retained run state: its JSON, or nothing within 20 s.
retained_status() {
  mosquitto_sub -h 127.0.0.1 -p "$port" -u watcher -P watcher-secret -t lab/bench1/status -C 1 -W 20 2>/dev/null || true
}

# Waits until FILE has a line matching PATTERN, 120 s at most.
wait_for_line() {
  for _ in $(seq 1 1200); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "no line matching '$2' in $1" >&2
  return 1
}

password_file="$fixture/bench1.password"
printf 'bench-secret\n' > "$password_file"
