#!/usr/bin/env bash
# More SIGKILLs than the test suite makes: the killed-run tests of
# tests/recovery with IVRA_KILLS kills per case (every second, four times a
# second, a bias schedule, the broker on), each kill followed in turn by
# --resume and --recover, against ivra-sim. Prints each case's kills, the
# samples missed as interrupted and those lost beyond the downtime.
#   bench/measurement/kill_runs.sh BUILD_DIR [KILLS_PER_CASE] [SEED]
set -euo pipefail
build=${1:?usage: kill_runs.sh BUILD_DIR [KILLS_PER_CASE] [SEED]}
kills=${2:-40}
seed=${3:-$RANDOM}
export XDG_STATE_HOME
XDG_STATE_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_STATE_HOME"' EXIT
echo "seed $seed, $kills kills per case"
IVRA_KILLS=$kills IVRA_KILL_SEED=$seed "$build/ivra_killed_run_tests" \
  --gtest_filter='KilledRun.EverySecond:KilledRun.FourTimesASecond:KilledRun.OnABiasSchedule:KilledRun.WithTheBrokerOn' |
  grep -E '^\[ RUN|kills over|^\[  (FAILED|PASSED)|OK \]'
