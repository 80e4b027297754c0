#!/usr/bin/env bash
# Installs what is missing, checks that every C++ source is in the tree's one
# style and that the #include lines match the README's Architecture drawing,
# then builds and runs every test twice: a normal
# build and one under AddressSanitizer + UndefinedBehaviorSanitizer; then the
# measurement, serial, GUI and publishing tests under ThreadSanitizer; then
# each fuzz target for 30 s; then builds the Debian package and checks it;
# then the Windows build of ivra-run and the serial link under Wine against
# ivra-sim, and the desktop program and its installer under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
echo "== style and architecture"
bash scripts/check-format.sh
python3 scripts/check-architecture.py
jobs=$(nproc)
# Tests kill runs on purpose: their unfinished-run entries go to a state folder
# of the test command's own, never the user's.
XDG_STATE_HOME=$(mktemp -d)
export XDG_STATE_HOME
for preset in default sanitize; do
  echo "== ${preset}: configure and build"
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  echo "== ${preset}: tests"
  ctest --preset "$preset" -j "$jobs"
done
echo "== tsan: configure, build and the measurement, serial, GUI and publishing tests"
cmake --preset tsan
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan -j "$jobs"
echo "== fuzz: each libFuzzer target for 30 s under AddressSanitizer + UndefinedBehaviorSanitizer"
IVRA_JOBS=$jobs bash scripts/fuzz.sh 30
echo "== package"
bash scripts/check-package.sh
echo "== windows: MinGW-w64 build, run under Wine"
bash scripts/windows-test.sh
echo "== windows: the desktop program and its installer under Wine"
bash scripts/windows-gui.sh
