#!/usr/bin/env bash
# Builds ivra-run.exe and the serial link probe for Windows (MinGW-w64) and runs
# them under Wine against the native ivra-sim, whose pseudo-terminal is COM1:
# the command bytes against the Linux build's, read time-outs, the stop request
# during a silent read, exclusive use of the port, a line that drops, a serial
# bridge on TCP (Winsock) and a Prologix controller on COM1; then the
# NSIS installer installs silently, its ivra-run.exe runs once, and it
# uninstalls. Builds the native ivra-sim and ivra-run of the default preset
# first: the Windows programs are checked against them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
native=$root/build/default
win=$root/build/windows-check
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target ivra-sim ivra-run
bash scripts/check-windows-build.sh
source scripts/wine-env.sh

work=$(mktemp -d)
sim_pid=
cleanup() {
  [[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null || true
  wine_stop
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Starts ivra-sim with the given options, logging to $work/sim.log; sets $device.
start_sim() {
  rm -f "$work/sim.log" "$work/sim.out"
  "$native/ivra-sim" "$@" --log "$work/sim.log" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do
    [[ -s "$work/sim.out" ]] && break
    sleep 0.05
  done
  device=$(head -1 "$work/sim.out")
  wine_com1 "$device"
}
stop_sim() {
  # A loaded machine may not have let the simulator read the last command yet.
  for _ in $(seq 60); do grep -q 'OUTP OFF' "$work/sim.log" 2>/dev/null && break; sleep 0.05; done
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=
}
commands() { cut -f2 "$1"; }

wine_start
t0=$(date +%s)

echo "== the Linux build's commands for a 10 s run"
start_sim
"$native/ivra-run" "--com1=$device" --time 10 --output "$work/linux.txt" 2>"$work/linux.err"
stop_sim
commands "$work/sim.log" >"$work/linux.commands"

echo "== ivra-run.exe --time 10 through COM1"
start_sim
rc=0
timeout 60 wine "$win/ivra-run.exe" --time 10 --output "$(wine_path "$work/windows.txt")" 2>"$work/windows.err" || rc=$?
stop_sim
commands "$work/sim.log" >"$work/windows.commands"
[[ $rc -eq 0 ]] && pass "exit status 0" || fail "exit status $rc: $(cat "$work/windows.err")"
lines=$(grep -c -E '^[0-9]+\.[0-9]{2}'$'\t''s'$'\t''[-0-9.e+]+'$'\t''uA'$'\r''?$' "$work/windows.txt" || true)
[[ $lines -eq 10 ]] && pass "10 data lines" || fail "$lines data lines in the data file"
if cmp -s "$work/linux.commands" "$work/windows.commands"; then
  pass "the simulator logged the Linux build's command sequence ($(wc -l <"$work/windows.commands") commands)"
else
  fail "command sequences differ:"; diff "$work/linux.commands" "$work/windows.commands" || true
fi
[[ $(tail -1 "$work/windows.commands") == ':OUTP OFF\r' ]] && pass "the last command is :OUTP OFF, before the close" \
  || fail "last command: $(tail -1 "$work/windows.commands")"

echo "== read time-outs against a silent instrument"
start_sim --silent
timeout 60 wine "$win/serial_link_probe.exe" read-times 1 5 10 | tr -d '\r' | tee "$work/times.txt"
for n in 1 5 10; do
  ms=$(sed -n "s/^read $n: 0 bytes in \([0-9]*\) ms$/\1/p" "$work/times.txt")
  want=$((200 * n + 100))
  # Never early; late by at most a loaded machine's scheduling.
  if [[ -n "$ms" && $ms -ge $((want - 20)) && $ms -le $((want + 1500)) ]]; then
    pass "read of $n: ${ms} ms (${want} ms expected)"
  else
    fail "read of $n: '${ms}' ms, expected ${want}"
  fi
done
out=$(timeout 60 wine "$win/serial_link_probe.exe" request-abort 500 | tr -d '\r')
ms=$(sed -n 's/^requested abort: 0 bytes in \([0-9]*\) ms$/\1/p' <<<"$out")
[[ -n "$ms" && $ms -lt 5000 ]] && pass "a stop request ends a silent read after ${ms} ms" || fail "stop request during a read: $out"
ms=$(sed -n 's/^after clear: 0 bytes in \([0-9]*\) ms$/\1/p' <<<"$out")
[[ -n "$ms" && $ms -ge 280 ]] && pass "after ClearStopRequest a read waits its time-out again (${ms} ms)" \
  || fail "read after ClearStopRequest: $out"

echo "== exclusive use of COM1"
timeout 60 wine "$win/serial_link_probe.exe" hold 8000 >"$work/hold.out" &
holder=$!
for _ in $(seq 100); do grep -q held "$work/hold.out" 2>/dev/null && break; sleep 0.1; done
out=$(timeout 60 wine "$win/serial_link_probe.exe" hold 10 | tr -d '\r') && rc=0 || rc=$?
[[ $rc -eq 1 && $out == "cannot open COM1" ]] && pass "a second open of COM1 fails" || fail "second open: $rc $out"
rc=0
timeout 60 wine "$win/ivra-run.exe" --time 10 --output "$(wine_path "$work/busy.txt")" 2>"$work/busy.err" || rc=$?
[[ $rc -eq 1 ]] && grep -q "Can't open serial port" "$work/busy.err" && pass "ivra-run.exe on a held port: status 1, message shown" \
  || fail "ivra-run.exe on a held port: status $rc, $(cat "$work/busy.err")"
wait "$holder" || true
stop_sim

echo "== Ctrl+C during a silent read"
start_sim --silent
wine "$win/ivra-run.exe" --time 60 --output "$(wine_path "$work/stopped.txt")" 2>"$work/stopped.err" &
run=$!
# Tick 1 sends :READ? at about 1.3 s, whose reply read would last 20 s.
for _ in $(seq 200); do grep -q 'READ' "$work/sim.log" 2>/dev/null && break; sleep 0.05; done
sleep 0.5
stop_sent=$(date +%s%N)
kill -INT "$run"
rc=0; wait "$run" || rc=$?
took=$(( ($(date +%s%N) - stop_sent) / 1000000 ))
stop_sim
[[ $rc -eq 130 ]] && pass "exit status 130" || fail "exit status $rc after Ctrl+C"
[[ $took -lt 5000 ]] && pass "stopped ${took} ms after Ctrl+C" || fail "stopped only ${took} ms after Ctrl+C"
[[ $(commands "$work/sim.log" | tail -1) == ':OUTP OFF\r' ]] && pass "output switched off" || fail "no :OUTP OFF after Ctrl+C"

echo "== the line drops during a run"
start_sim --hang-up-after 3
rc=0
start=$(date +%s)
timeout 60 wine "$win/ivra-run.exe" --time 10 --output "$(wine_path "$work/dropped.txt")" 2>"$work/dropped.err" || rc=$?
took=$(( $(date +%s) - start ))
stop_sim
lines=$(grep -c uA "$work/dropped.txt" || true)
# The line drops in the middle of the fourth reply, which may still parse.
[[ $lines -ge 3 && $lines -le 4 ]] && pass "the samples before the drop are in the data file ($lines)" \
  || fail "$lines data lines around the drop"
[[ $took -le 30 ]] && pass "the run ended (status $rc) after ${took} s" || fail "the run took ${took} s after the drop"

echo "== ivra-run.exe through a serial bridge on TCP (Winsock)"
start_sim --listen 0
address=$device  # tcp://127.0.0.1:PORT on the Linux side, the same loopback under Wine
rc=0
timeout 60 wine "$win/ivra-run.exe" --port "$address" --time 10 --output "$(wine_path "$work/bridge.txt")" \
  2>"$work/bridge.err" || rc=$?
stop_sim
[[ $rc -eq 0 ]] && pass "exit status 0 through $address" || fail "through the bridge: status $rc, $(cat "$work/bridge.err")"
lines=$(grep -c uA "$work/bridge.txt" || true)
[[ $lines -eq 10 ]] && pass "10 data lines through the bridge" || fail "$lines data lines through the bridge"
if cmp -s "$work/linux.commands" <(commands "$work/sim.log"); then
  pass "the instrument heard the serial port's command sequence"
else
  fail "command sequences differ:"; diff "$work/linux.commands" <(commands "$work/sim.log") || true
fi

echo "== ivra-run.exe through a Prologix GPIB-USB controller on COM1"
start_sim --prologix
rc=0
timeout 60 wine "$win/ivra-run.exe" --gpib 24 --time 10 --output "$(wine_path "$work/gpib.txt")" \
  2>"$work/gpib.err" || rc=$?
stop_sim
[[ $rc -eq 0 ]] && pass "exit status 0 through the controller" || fail "through the controller: status $rc, $(cat "$work/gpib.err")"
lines=$(grep -c uA "$work/gpib.txt" || true)
[[ $lines -eq 10 ]] && pass "10 data lines through the controller" || fail "$lines data lines through the controller"
[[ $(commands "$work/sim.log" | tail -1) == ':OUTP OFF\n' ]] && pass "the instrument heard :OUTP OFF last, ended by the controller's LF" \
  || fail "last command behind the controller: $(commands "$work/sim.log" | tail -1)"

echo "== the installer: silent install, one run of the installed ivra-run.exe, uninstall"
(cd "$win" && cpack >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
installer=$(ls "$win"/package/Ivra-*-win64.exe 2>/dev/null | head -1)
installed="$WINEPREFIX/drive_c/Program Files/Ivra"
if [[ -n "$installer" ]] && timeout 120 wine "$installer" /S && [[ -f "$installed/bin/ivra-run.exe" ]]; then
  pass "installed into C:\\Program Files\\Ivra"
  start_sim
  rc=0
  timeout 60 wine 'C:\Program Files\Ivra\bin\ivra-run.exe' --time 10 --output "$(wine_path "$work/installed.txt")" \
    2>"$work/installed.err" || rc=$?
  # Right after an install on a loaded machine Wine has been seen to fail to
  # start the program at all (status 1, nothing written, its own errors muted
  # by WINEDEBUG): that is Wine, not the program, so it gets one more try.
  if [[ $rc -eq 1 && ! -s "$work/installed.err" && ! -e "$work/installed.txt" ]]; then
    echo "Wine did not start the installed ivra-run.exe; trying once more"
    sleep 2
    rc=0
    timeout 60 wine 'C:\Program Files\Ivra\bin\ivra-run.exe' --time 10 --output "$(wine_path "$work/installed.txt")" \
      2>"$work/installed.err" || rc=$?
  fi
  stop_sim
  lines=$(grep -c uA "$work/installed.txt" || true)
  [[ $rc -eq 0 && $lines -eq 10 ]] && pass "the installed ivra-run.exe took 10 samples" \
    || fail "installed ivra-run.exe: status $rc, $lines lines: $(cat "$work/installed.err")"
  timeout 60 wine 'C:\Program Files\Ivra\Uninstall.exe' /S || true
  # The uninstaller runs on from a copy of itself.
  for _ in $(seq 150); do [[ -e "$installed" ]] || break; sleep 0.2; done
  if [[ ! -e "$installed" ]] && ! wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ivra' >/dev/null 2>&1; then
    pass "uninstalled: folder and uninstall entry gone"
  else
    fail "the uninstaller left $installed or its registry entry"
  fi
else
  fail "the installer did not install ivra-run.exe"
fi

echo "== Windows tests under Wine: $(( $(date +%s) - t0 )) s, $failures failure(s)"
[[ $failures -eq 0 ]]
