#!/usr/bin/env bash
# The desktop program for Windows: builds wxWidgets for MinGW-w64 once (cached,
# see scripts/build-wx-mingw.sh), cross-builds ivra.exe and runs it under Wine
# on Xvfb against ivra-sim on COM1: it opens; Measurement > Start and the Setup
# dialog filled in by xdotool (10 s, output file) run a measurement; the data
# file holds 10 lines and the output goes off at the end; a screenshot goes to
# build/windows-gui/ivra-wine.png. (`cmake --build build/windows-gui --target
# package` then makes the installer with ivra.exe in it.)
# Needs the native build of the default preset (ivra-sim). Not part of the test
# command: the first wxWidgets build alone takes longer than the rest of CI.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
native=$root/build/default
out=$root/build/windows-gui
wx_prefix=$(bash scripts/build-wx-mingw.sh | tail -1)

cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DwxWidgets_CONFIG_EXECUTABLE="$wx_prefix/bin/wx-config" \
  -DIVRA_BUILD_GUI=ON -DIVRA_BUILD_TESTS=OFF -DIVRA_BUILD_BENCH=OFF
cmake --build "$out" -j "$(nproc)" --target ivra ivra-run

source scripts/wine-env.sh
work=$(mktemp -d)
sim_pid=
xvfb_pid=
cleanup() {
  [[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null || true
  wine_stop
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# A display of our own: the first free number from 90 up.
display=90
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=:$display
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

wine_start

"$native/ivra-sim" --log "$work/sim.log" >"$work/sim.out" 2>/dev/null &
sim_pid=$!
for _ in $(seq 100); do [[ -s "$work/sim.out" ]] && break; sleep 0.05; done
wine_com1 "$(head -1 "$work/sim.out")"

echo "== ivra.exe under Wine"
data="$work/gui.txt"
wine "$out/ivra.exe" >/dev/null 2>&1 &
app=$!
window=
for _ in $(seq 300); do
  window=$(xdotool search --name 'Ivra' 2>/dev/null | head -1) && [[ -n "$window" ]] && break
  sleep 0.2
done
[[ -n "$window" ]] && pass "the main window opened" || fail "no main window"

# Measurement > Start (the menu bar has no window manager around it: the
# window's client area starts at the screen's top left), then the Setup
# dialog: its tab order is OK, port, interval, measurement time, output file.
xdotool mousemove 70 33 click 1; sleep 1
xdotool mousemove 70 52 click 1
setup=
for _ in $(seq 50); do setup=$(xdotool search --name '^Setup$' 2>/dev/null | head -1) && [[ -n "$setup" ]] && break; sleep 0.2; done
[[ -n "$setup" ]] && pass "the Setup dialog opened from the menu" || fail "no Setup dialog"
xdotool key Tab Tab Tab ctrl+a; xdotool type 10
xdotool key Tab ctrl+a; xdotool type "$(wine_path "$data")"
xdotool key Return
for _ in $(seq 300); do grep -q 'OUTP OFF' "$work/sim.log" 2>/dev/null && break; sleep 0.1; done
sleep 1
import -window root "$out/ivra-wine.png"
lines=$(grep -c -E '^[0-9]+\.[0-9]{2}'$'\t''s'$'\t''[-0-9.e+]+'$'\t''uA'$'\r''?$' "$data" || true)
[[ $lines -eq 10 ]] && pass "10 data lines in the output file" || fail "$lines data lines in the output file"
[[ $(cut -f2 "$work/sim.log" | tail -1) == ':OUTP OFF\r' ]] && pass "output switched off at the end" || fail "no :OUTP OFF"
echo "screenshot: $out/ivra-wine.png"
kill "$app" 2>/dev/null || true
echo "== Windows GUI under Wine: $failures failure(s)"
[[ $failures -eq 0 ]]
