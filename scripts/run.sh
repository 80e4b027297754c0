#!/usr/bin/env bash
# Installs what is missing, builds the program and opens its window. Without a
# --comN=PATH argument it runs on the simulated SourceMeter 2400 (--simulate);
# with one (e.g. --com1=/dev/ttyUSB0) it talks to the real instrument.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j "$(nproc)" --target ivra ivra-sim ivra-run
args=("$@")
if ! printf '%s\n' "${args[@]}" | grep -q -E '^--com[1-4]='; then
  args+=(--simulate)
fi
exec ./build/default/ivra "${args[@]}"
