#!/usr/bin/env bash
# Runs ivra-run on the simulated instrument and compares every sample's time
# stamp with the one-second tick grid: offset = time - k * interval for the
# k-th line. A constant offset is the tick-to-time-stamp latency; a growing one
# is drift.
#
#   bench/measurement/tick_drift.sh BUILD_DIR [SECONDS] [INTERVAL]
set -euo pipefail
build=${1:?build directory holding ivra-run}
seconds=${2:-60}
interval=${3:-1}
data=$(mktemp)
trap 'rm -f "$data"' EXIT
"$build/ivra-run" --simulate --time "$seconds" --interval "$interval" --output "$data"
awk -v interval="$interval" '
  { k = NR; t = $1; off = t - k * interval
    n++; sum += off; sk += k; skk += k * k; sko += k * off
    if (n == 1 || off < min) min = off
    if (n == 1 || off > max) max = off
    if (n == 1) first = off
    last = off }
  END {
    if (n < 2) { print "fewer than two samples"; exit 1 }
    slope = (n * sko - sk * sum) / (n * skk - sk * sk)
    printf "%d samples\n", n
    printf "offset from the grid: first %.0f ms, last %.0f ms, mean %.0f ms, min %.0f ms, max %.0f ms\n",
           first * 1000, last * 1000, sum / n * 1000, min * 1000, max * 1000
    printf "drift (least squares): %.3f ms per sample, %.1f ms over the run\n",
           slope * 1000, slope * 1000 * (n - 1)
  }' "$data"
