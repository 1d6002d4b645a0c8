#!/usr/bin/env bash
# Runs the built fuzzers one after the other, one process each (CI: 20 s each).
#   [FUZZ_JOBS=n] bench/fuzz/run.sh [seconds] [target...]     default: 600 seconds, every target
# The growing corpus is build-fuzz/corpus/<target>/, the log build-fuzz/logs/<target>/fuzz-0.log,
# anything found build-fuzz/artifacts/<target>-*.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="${BUILD_FUZZ:-$root/build-fuzz}"
seconds="${1:-600}"
shift || true
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(version traffic settings coordinates geodesy airports players voice datafile)
mkdir -p "$out/artifacts"
# FUZZ_JOBS targets at once (default 1, so that each has a core to itself for measurements).
jobs=${FUZZ_JOBS:-1}

fuzz() { # target
  local t=$1 status=0
  mkdir -p "$out/corpus/$t" "$out/logs/$t"
  (cd "$out/logs/$t" && "$out/${t}_fuzz" -max_total_time="$seconds" -timeout=10 -jobs=1 -workers=1 \
    -print_final_stats=1 -artifact_prefix="$out/artifacts/$t-" "$out/corpus/$t" "$root/bench/fuzz/corpus/$t") ||
    status=1
  echo "$t: $(grep -E '^(stat::number_of_executed_units|Done)' "$out/logs/$t/fuzz-0.log" | tr '\n' ' ')"
  return $status
}

status=0
running=0
for t in "${targets[@]}"; do
  if ((running >= jobs)); then
    wait -n || status=1
    running=$((running - 1))
  fi
  fuzz "$t" &
  running=$((running + 1))
done
for ((; running > 0; running--)); do
  wait -n || status=1
done
exit $status
