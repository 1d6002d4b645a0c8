#!/usr/bin/env bash
# Builds the version-resource fuzzer with clang's libFuzzer (not part of CI).
#   bench/fuzz/build.sh            build into build-fuzz/
#   build-fuzz/version_fuzz -max_total_time=120 build-fuzz/corpus bench/fuzz/corpus
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="${BUILD_FUZZ:-$root/build-fuzz}"
mkdir -p "$out/corpus"
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -I"$root/src" -I"$root/tests")
clang++ "${flags[@]}" -fsanitize=fuzzer,address,undefined \
  "$root/src/platform/VersionResource.cpp" "$root/bench/fuzz/VersionResourceFuzz.cpp" -o "$out/version_fuzz"
if [[ "${1:-}" == "--seeds" ]]; then
  clang++ "${flags[@]}" "$root/bench/fuzz/MakeSeeds.cpp" -o "$out/make_seeds"
  "$out/make_seeds" "$root/bench/fuzz/corpus"
fi
echo "built $out/version_fuzz"
