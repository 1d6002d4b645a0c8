#!/usr/bin/env bash
# Valgrind memcheck over the end-to-end run: the real program under memcheck, driven by the
# end-to-end test (its deadlines stretched). Passes when memcheck reports no error; leaks count
# only when definitely lost. Reports from system libraries are suppressed with memcheck.supp
# (SUPPRESSIONS names another file).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${BUILD:-$root/build}" && pwd)
out=${OUT:-$(mktemp -d /tmp/quadrantel-memcheck.XXXXXX)}
command -v valgrind >/dev/null || { echo "memcheck: valgrind is not installed" >&2; exit 1; }
test=$(find "$build/tests/e2e" -maxdepth 2 -type f -name 'e2e_DemoEndToEndTest' | head -1)
[[ -x $test ]] || { echo "memcheck: build the end-to-end test first" >&2; exit 1; }
args=(--tool=memcheck --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite
  --track-origins=no --log-file="$out/memcheck.%p.log")
args+=(--suppressions="${SUPPRESSIONS:-$root/bench/app/memcheck.supp}")
QT_QPA_PLATFORM=offscreen QUADRANTEL_E2E_WRAPPER="valgrind ${args[*]}" QUADRANTEL_E2E_SLOW=${SLOW:-8} \
  "$test" --gtest_filter='DemoEndToEnd.ConnectsFollowsTalkingPilotsAndReconnects' | tee "$out/test.log"
status=0
for log in "$out"/memcheck.*.log; do
  summary=$(grep -h 'ERROR SUMMARY' "$log" || echo "no summary")
  echo "memcheck: $(basename "$log"): $summary"
  grep -q 'ERROR SUMMARY: 0 errors' "$log" || status=1
  grep -h -A1 'definitely lost:\|indirectly lost:' "$log" | sed 's/^==[0-9]*== /memcheck:   /' | head -4
done
echo "memcheck: logs in $out"
exit $status
