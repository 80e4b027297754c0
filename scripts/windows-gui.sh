#!/usr/bin/env bash
# The desktop program for Windows: builds wxWidgets for MinGW-w64 once (cached,
# see scripts/build-wx-mingw.sh), cross-builds ivra.exe and runs it under Wine
# on Xvfb against ivra-sim on COM1: it opens; Measurement > Start and the Setup
# dialog filled in by xdotool (10 s, output file) run a measurement; the data
# file holds 10 lines and the output goes off at the end; a screenshot goes to
# build/windows-gui/ivra-wine.png; File > Export Plot... writes a PNG through
# the program's own encoder (kept as build/windows-gui/ivra-wine-export.png).
# ivra-plot.exe draws a data file as a PNG (the same encoder) and as an SVG:
# the PNG must decode at its size and not be blank, the SVG must parse and
# hold both axis titles (kept as build/windows-gui/ivra-plot-wine.png/.svg).
# Then the NSIS installer made from this build (build/windows-gui/package)
# installs silently, its Start-menu entry and the programs are checked, the
# installed ivra-run.exe runs once through COM1, and the uninstaller removes it
# all again.
# Builds the native ivra-sim of the default preset first. Part of the test
# command; the wxWidgets build (about 25 minutes on 2 cores) is made once and
# cached outside the work tree.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
native=$root/build/default
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target ivra-sim
out=$root/build/windows-gui
wx_prefix=$(bash scripts/build-wx-mingw.sh | tail -1)

cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DwxWidgets_CONFIG_EXECUTABLE="$wx_prefix/bin/wx-config" \
  -DIVRA_BUILD_GUI=ON -DIVRA_BUILD_TESTS=OFF -DIVRA_BUILD_BENCH=OFF
cmake --build "$out" -j "$(nproc)" --target ivra ivra-run ivra-plot
t0=$(date +%s)

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
# Setup opens with what the profile remembers: start from none, as on a new machine.
timeout 60 wine reg delete 'HKCU\Software\Ivra' /f >/dev/null 2>&1 || true

# Starts ivra-sim logging to $work/sim.log, with COM1 linked to its terminal.
start_sim() {
  rm -f "$work/sim.log" "$work/sim.out"
  "$native/ivra-sim" "$@" --log "$work/sim.log" >"$work/sim.out" 2>/dev/null &
  sim_pid=$!
  for _ in $(seq 100); do [[ -s "$work/sim.out" ]] && break; sleep 0.05; done
  wine_com1 "$(head -1 "$work/sim.out")"
}
stop_sim() {
  for _ in $(seq 60); do grep -q 'OUTP OFF' "$work/sim.log" 2>/dev/null && break; sleep 0.05; done
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=
}
# Measurement > Start, until the Setup dialog is there: a window that has
# only just been mapped (Wine on a busy machine) may not take the first click.
open_setup() {
  setup=
  for _ in 1 2 3; do
    xdotool mousemove 70 33 click 1; sleep 1
    xdotool mousemove 70 52 click 1
    for _ in $(seq 50); do
      setup=$(xdotool search --name '^Setup$' 2>/dev/null | head -1) || true
      # Typing starts once the dialog has settled on its first control.
      [[ -n "$setup" ]] && { sleep 1; return; }
      sleep 0.2
    done
    xdotool key Escape; sleep 1
  done
}
start_sim

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
# dialog: its tab order is OK, port, (the network address, greyed while a
# serial port is chosen, takes no focus), GPIB address, interval, measurement
# time, output file.
open_setup
[[ -n "$setup" ]] && pass "the Setup dialog opened from the menu" || fail "no Setup dialog"
xdotool key Tab Tab Tab Tab ctrl+a; xdotool type 10
xdotool key Tab ctrl+a; xdotool type "$(wine_path "$data")"
xdotool key Return
for _ in $(seq 300); do grep -q 'OUTP OFF' "$work/sim.log" 2>/dev/null && break; sleep 0.1; done
sleep 1
import -window root "$out/ivra-wine.png"
lines=$(grep -c -E '^[0-9]+\.[0-9]{2}'$'\t''s'$'\t''[-0-9.e+]+'$'\t''uA'$'\r''?$' "$data" 2>/dev/null || true)
[[ $lines -eq 10 ]] && pass "10 data lines in the output file" || fail "$lines data lines in the output file"
[[ $(cut -f2 "$work/sim.log" | tail -1) == ':OUTP OFF\r' ]] && pass "output switched off at the end" || fail "no :OUTP OFF"
echo "screenshot: $out/ivra-wine.png"

echo "== File > Export Plot... as PNG (the Windows build's wxWidgets has no libpng)"
picture="$work/plot.png"
xdotool mousemove 20 33 click 1; sleep 1
xdotool mousemove 40 90 click 1
chooser=
for _ in $(seq 50); do chooser=$(xdotool search --name '^Export Plot$' 2>/dev/null | head -1) && [[ -n "$chooser" ]] && break; sleep 0.2; done
if [[ -n "$chooser" ]]; then
  sleep 1
  xdotool key ctrl+a; xdotool type "$(wine_path "$picture")"; xdotool key Return
  sizes=
  for _ in $(seq 50); do sizes=$(xdotool search --name '^Picture Size$' 2>/dev/null | head -1) && [[ -n "$sizes" ]] && break; sleep 0.2; done
  sleep 0.5
  xdotool key Return
  for _ in $(seq 50); do [[ -s "$picture" ]] && break; sleep 0.2; done
fi
cp "$picture" "$out/ivra-wine-export.png" 2>/dev/null || true
colours=$(identify -format '%k' "$picture" 2>/dev/null || echo 0)
size=$(identify -format '%wx%h' "$picture" 2>/dev/null || echo none)
[[ $colours -gt 2 ]] && pass "plot exported: a ${size} PNG with ${colours} colours" \
  || fail "no plot PNG (dialog: ${chooser:-none}, size dialog: ${sizes:-none}, picture: $size)"

echo "== ivra-plot.exe: a data file as PNG and as SVG"
# A slow wave with one spike, in the Windows program's line ends.
awk 'BEGIN { for (i = 0; i < 4000; i++) printf "%.2f\ts\t%.6g\tuA\r\n", i * 0.5, 3 * sin(i / 200) + (i == 1234 ? 20 : 0) }' \
  >"$work/plot-data.txt"
for format in png svg; do
  picture="$work/plot-data.$format"
  rc=0
  timeout 120 wine "$out/ivra-plot.exe" "$(wine_path "$work/plot-data.txt")" --output "$(wine_path "$picture")" \
    --width 800 --height 500 2>"$work/plot-$format.err" || rc=$?
  [[ $rc -eq 0 && -s "$picture" ]] && cp "$picture" "$out/ivra-plot-wine.$format" \
    || fail "ivra-plot.exe --output .$format: status $rc, $(cat "$work/plot-$format.err")"
done
colours=$(identify -format '%k' "$work/plot-data.png" 2>/dev/null || echo 0)
size=$(identify -format '%wx%h' "$work/plot-data.png" 2>/dev/null || echo none)
[[ $size == 800x500 && $colours -gt 2 ]] && pass "ivra-plot.exe: an 800x500 PNG with ${colours} colours" \
  || fail "ivra-plot.exe PNG: size $size, $colours colours"
if python3 - "$work/plot-data.svg" <<'PY'
import sys
import xml.etree.ElementTree as ElementTree
root = ElementTree.parse(sys.argv[1]).getroot()
texts = {"".join(element.itertext()) for element in root.iter("{http://www.w3.org/2000/svg}text")}
sys.exit(root.get("width") != "800" or not {"Time [s]", "Current [uA]"} <= texts)
PY
then
  pass "ivra-plot.exe: the SVG parses and holds both axis titles"
else
  fail "ivra-plot.exe SVG: not XML, or no 800-wide picture with Time [s] and Current [uA]"
fi

echo "== Measurement > Stop while a silent instrument holds the reply"
stop_sim
start_sim --silent
open_setup
xdotool key Tab Tab Tab Tab ctrl+a; xdotool type 60
xdotool key Tab ctrl+a; xdotool type "$(wine_path "$work/silent.txt")"
xdotool key Return
# The first tick's :READ? gets no answer; its read would last 20 s.
for _ in $(seq 200); do grep -q 'READ' "$work/sim.log" 2>/dev/null && break; sleep 0.05; done
sleep 0.5
stop_sent=$(date +%s%N)
xdotool mousemove 70 33 click 1; sleep 0.5
xdotool mousemove 70 71 click 1
for _ in $(seq 300); do grep -q 'OUTP OFF' "$work/sim.log" 2>/dev/null && break; sleep 0.1; done
took=$(( ($(date +%s%N) - stop_sent) / 1000000 ))
if grep -q 'OUTP OFF' "$work/sim.log" && [[ $took -lt 8000 ]]; then
  pass "output off ${took} ms after Stop (the 20 s read was ended)"
else
  fail "after Stop: $(cut -f2 "$work/sim.log" | tail -1), ${took} ms"
fi
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
stop_sim

echo "== the installer: silent install, Start menu, one run of the installed ivra-run.exe, uninstall"
rm -rf "$out/package"
(cd "$out" && cpack >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
installer=$(ls "$out"/package/Ivra-*-win64.exe 2>/dev/null | head -1)
installed="$WINEPREFIX/drive_c/Program Files/Ivra"
# The Start menu of all users, or of the user when the installer runs without
# administrator rights.
shortcut() {
  find "$WINEPREFIX/drive_c/ProgramData" "$WINEPREFIX/drive_c/users" -path '*/Start Menu/Programs/*' \
    -iname 'Ivra.lnk' 2>/dev/null | head -1
}
if [[ -n "$installer" ]] && timeout 120 wine "$installer" /S; then
  [[ -f "$installed/bin/ivra.exe" && -f "$installed/bin/ivra-run.exe" && -f "$installed/bin/ivra-plot.exe" ]] \
    && pass "$(basename "$installer") installed ivra.exe, ivra-run.exe and ivra-plot.exe into C:\\Program Files\\Ivra\\bin" \
    || fail "the installer did not install the three programs: $(ls "$installed/bin" 2>&1 | tr '\n' ' ')"
  link=$(shortcut)
  # A .lnk holds its target's path in UTF-16 as well as in ANSI.
  if [[ -n "$link" ]] && grep -aq 'ivra.exe' "$link"; then
    pass "Start menu: ${link#"$WINEPREFIX/drive_c/"} points at ivra.exe"
  else
    fail "no Start-menu entry Ivra.lnk for ivra.exe ($link)"
  fi
  [[ -f "$installed/Uninstall.exe" ]] && pass "an uninstaller is installed" || fail "no Uninstall.exe"

  start_sim
  data="$work/installed.txt"
  rc=0
  timeout 60 wine 'C:\Program Files\Ivra\bin\ivra-run.exe' --time 10 --output "$(wine_path "$data")" \
    2>"$work/installed.err" || rc=$?
  stop_sim
  lines=$(grep -c -E '^[0-9]+\.[0-9]{2}'$'\t''s'$'\t''[-0-9.e+]+'$'\t''uA'$'\r''?$' "$data" 2>/dev/null || true)
  [[ $rc -eq 0 && $lines -eq 10 ]] && pass "the installed ivra-run.exe took 10 samples through COM1" \
    || fail "installed ivra-run.exe: status $rc, $lines data lines: $(cat "$work/installed.err")"
  [[ $(cut -f2 "$work/sim.log" | tail -1) == ':OUTP OFF\r' ]] && pass "output switched off at the end" \
    || fail "no :OUTP OFF from the installed ivra-run.exe"

  timeout 60 wine 'C:\Program Files\Ivra\Uninstall.exe' /S || true
  # The uninstaller runs on from a copy of itself.
  for _ in $(seq 150); do [[ -e "$installed" || -n "$(shortcut)" ]] || break; sleep 0.2; done
  [[ ! -e "$installed" ]] && pass "uninstalled: C:\\Program Files\\Ivra is gone" || fail "the uninstaller left $installed"
  [[ -z "$(shortcut)" ]] && pass "uninstalled: the Start-menu entry is gone" || fail "the uninstaller left $(shortcut)"
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ivra' >/dev/null 2>&1 \
    && fail "the uninstall entry is still registered" || pass "uninstalled: the uninstall entry is gone"
else
  fail "the installer did not run: $(tail -3 "$work/cpack.log")"
fi
echo "== Windows GUI under Wine: $(( $(date +%s) - t0 )) s, $failures failure(s)"
[[ $failures -eq 0 ]]
