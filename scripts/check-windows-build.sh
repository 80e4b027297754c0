#!/usr/bin/env bash
# Cross-compiles for Windows with MinGW-w64: the Win32 serial link, the
# measurement core, the simulator's interpreter, the plot engine, ivra-run.exe
# and the serial link probe. The desktop program needs wxWidgets for MinGW,
# which scripts/windows-gui.sh builds. Needs root for the one package it installs.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  apt-get update
  apt-get install -y --no-install-recommends cmake g++-mingw-w64-x86-64-posix
fi
cmake -S . -B build/windows-check -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DIVRA_BUILD_GUI=OFF -DIVRA_BUILD_TESTS=OFF -DIVRA_BUILD_BENCH=OFF
cmake --build build/windows-check -j "$(nproc)"
echo "Windows build check: OK"
