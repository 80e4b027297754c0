#!/usr/bin/env bash
# The desktop program's CPU at 50 samples a second: ivra --simulate on a
# display of its own, with a profile that sets 0.02 s, 57600 baud, NPLC 0.01
# and auto-zero off, started through Measurement > Start and Setup's OK by
# xdotool. Prints the CPU the whole process (window, sampling worker and the
# simulator inside) used per second over SECONDS, per thread, and the samples
# written meanwhile.
#
#   bench/measurement/window_cpu.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=${1:?build directory holding ivra}
seconds=${2:-20}
work=$(mktemp -d)
display=95
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
xvfb_pid=
app=
cleanup() {
  [[ -n "$app" ]] && kill "$app" 2>/dev/null || true
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/home"
cat >"$work/home/.Ivra" <<EOF
[Setup]
SampleInterval=0.02
MeasurementTime=600
OutputVoltage=1
OutputFile=$work/run.dat
[Instrument]
NPLC=0.01
AutoZero=off
Baud=57600
EOF
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=:$display HOME=$work/home
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$build/ivra" --simulate >/dev/null 2>&1 &
app=$!
sleep 3
# Measurement > Start, then OK (the window has no frame around it: its menu
# bar is at the top of the screen).
xdotool mousemove 92 12 click 1
sleep 0.7
xdotool mousemove 85 37 click 1
sleep 1.5
xdotool key Return
for _ in $(seq 100); do [[ -s "$work/run.dat" ]] && break; sleep 0.1; done
sleep 2
ticks() { awk '{ print $14 + $15 }' "$1"; }
declare -A before
for task in /proc/$app/task/*; do before[$task]=$(ticks "$task/stat"); done
total0=$(ticks /proc/$app/stat)
lines0=$(wc -l <"$work/run.dat")
sleep "$seconds"
total1=$(ticks /proc/$app/stat)
lines1=$(wc -l <"$work/run.dat")
hz=$(getconf CLK_TCK)
echo "ivra --simulate at 0.02 s over $seconds s: $(((total1 - total0) * 1000 / hz / seconds)) ms CPU a second," \
  "$(((lines1 - lines0) / seconds)) samples a second (goal: at most 150 ms)"
for task in /proc/$app/task/*; do
  [[ -n "${before[$task]:-}" ]] || continue
  echo "  thread $(basename "$task") ($(cat "$task/comm")): $((($(ticks "$task/stat") - before[$task]) * 1000 / hz / seconds)) ms/s"
done
