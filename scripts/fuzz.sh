#!/usr/bin/env bash
# Builds the fuzz preset, checks the targets' own second readings, then runs
# each libFuzzer target in fuzz/ for a bounded time from a copy of its seed
# corpus (the tree is never written to). Prints each target's executions per
# second and run time; fails on any crash, broken promise, leak, time-out or
# memory blow-up, and keeps the input that caused it in build/fuzz/findings/.
#   scripts/fuzz.sh [SECONDS per target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=build/fuzz
cmake --preset fuzz
cmake --build --preset fuzz -j "${IVRA_JOBS:-$(nproc)}"
"$build/fuzz_oracles_test" --gtest_brief=1

work=$(mktemp -d /tmp/ivra-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
summary=()
for corpus in fuzz/corpus/*/; do
  name=$(basename "$corpus")
  mkdir -p "$work/$name/corpus" "$work/$name/findings"
  cp "$corpus"* "$work/$name/corpus/"
  log="$work/$name/log"
  started=$SECONDS
  echo "== fuzz_$name: ${seconds} s"
  status=0
  "$build/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/$name/findings/" "$work/$name/corpus" > "$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  summary+=("$(printf '%-16s %8s exec/s %10s runs %4d s' "$name" "${execs:-?}" "${runs:-?}" $((SECONDS - started)))")
  if ((status != 0)) || grep -q -E '^==[0-9]+==ERROR|^SUMMARY: |broken promise' "$log"; then
    failed+=("$name")
    echo "fuzz_$name failed (status $status); the end of its log:" >&2
    tail -n 60 "$log" >&2
    mkdir -p "$build/findings/$name"
    for finding in "$work/$name/findings/"*; do
      [[ -e "$finding" ]] || continue
      cp "$finding" "$build/findings/$name/"
      echo "input kept in $build/findings/$name/$(basename "$finding"):" >&2
      od -A d -c "$finding" | head -n 20 >&2
    done
  fi
done
printf '%s\n' "${summary[@]}"
if ((${#failed[@]} > 0)); then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing: no faults"
