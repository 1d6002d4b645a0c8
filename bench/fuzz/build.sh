#!/usr/bin/env bash
# Builds the libFuzzer targets into build-fuzz/ (CI builds and runs each for a short while).
#   bench/fuzz/build.sh [--seeds] [target...]   targets: version traffic settings coordinates geodesy airports players voice datafile
#   build-fuzz/traffic_fuzz -max_total_time=600 -jobs=1 -workers=1 build-fuzz/corpus/traffic bench/fuzz/corpus/traffic
# --seeds rewrites the version seeds in bench/fuzz/corpus/version/ from tests/support/VersionBytes.h.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="${BUILD_FUZZ:-$root/build-fuzz}"
seeds=0
if [[ "${1:-}" == "--seeds" ]]; then
  seeds=1
  shift
fi
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(version traffic settings coordinates geodesy airports players voice datafile)

read -r -a qtc <<<"$(pkg-config --cflags Qt6Core Qt6Network Qt6WebSockets)"
read -r -a qtl <<<"$(pkg-config --libs Qt6Core Qt6Network Qt6WebSockets)"
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fPIC -ffp-contract=off -I"$root/src" -I"$root/tests")
san=(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
link=()
if command -v ld.lld >/dev/null; then link=(-fuse-ld=lld); fi

# Every source is compiled once, however many targets use it, through ccache when there is
# one (a second run compiles only what changed), JOBS at once (default: one per core).
cxx=(clang++)
if command -v ccache >/dev/null; then cxx=(ccache clang++); fi
jobs=${JOBS:-$(nproc)}
mkdir -p "$out/obj"
object() { # source -> its object file
  echo "$out/obj/${1//\//_}.o"
}

# The shared text, settings and runtime helpers.
common=(src/platform/Defaults.cpp src/platform/Runtime.cpp src/platform/ProfileFile.cpp src/platform/DataFolders.cpp
  src/shell/Config.cpp src/shell/LogFiles.cpp src/shell/Settings.cpp src/shell/TextRoutines.cpp)

declare -A inputs # target -> its own sources and libraries
for t in "${targets[@]}"; do
  case "$t" in
  version) inputs[$t]="src/platform/VersionResource.cpp bench/fuzz/VersionResourceFuzz.cpp" ;;
  traffic) inputs[$t]="src/traffic/TrafficTable.cpp src/link/LinkData.cpp bench/fuzz/TrafficFuzz.cpp" ;;
  settings) inputs[$t]="bench/fuzz/SettingsFuzz.cpp" ;;
  coordinates) inputs[$t]="src/stations/CoordinateInput.cpp src/gonio/Geodesy.cpp bench/fuzz/CoordinatesFuzz.cpp" ;;
  geodesy) inputs[$t]="src/gonio/Geodesy.cpp bench/fuzz/GeodesyFuzz.cpp" ;;
  airports) inputs[$t]="src/stations/Airports.cpp bench/fuzz/AirportsFuzz.cpp" ;;
  players) inputs[$t]="src/voice/modTSRemote.cpp src/platform/WindowSystem.cpp bench/fuzz/PlayersFuzz.cpp" ;;
  voice) inputs[$t]="src/voice/VoiceSettings.cpp src/voice/VoiceEvents.cpp src/voice/ClientPort.cpp src/voice/WebSocketVoiceClient.cpp
    bench/fuzz/VoiceEventsFuzz.cpp" ;;
  datafile) inputs[$t]="src/feed/FeedParser.cpp src/feed/FeedTime.cpp src/feed/FeedTraffic.cpp src/feed/Motion.cpp src/gonio/Geodesy.cpp
    bench/fuzz/DataFileFuzz.cpp -lsimdjson" ;;
  *) echo "unknown target $t" >&2; exit 2 ;;
  esac
done

status=0
running=0
for src in $(printf '%s\n' "${common[@]}" ${inputs[*]} | grep -v '^-' | sort -u); do
  if ((running >= jobs)); then
    wait -n || status=1
    running=$((running - 1))
  fi
  "${cxx[@]}" "${flags[@]}" "${san[@]}" -fsanitize=fuzzer-no-link "${qtc[@]}" -c "$root/$src" -o "$(object "$src")" &
  running=$((running + 1))
done
for (( ; running > 0; running--)); do
  wait -n || status=1
done
[[ $status -eq 0 ]] || exit 1

objs=()
for src in "${common[@]}"; do objs+=("$(object "$src")"); done
for t in "${targets[@]}"; do
  own=()
  for s in ${inputs[$t]}; do [[ $s == -* ]] && own+=("$s") || own+=("$(object "$s")"); done
  clang++ "${san[@]}" "${link[@]}" -fsanitize=fuzzer "${own[@]}" "${objs[@]}" "${qtl[@]}" -o "$out/${t}_fuzz"
  mkdir -p "$out/corpus/$t"
  echo "built $out/${t}_fuzz"
done

if [[ $seeds == 1 ]]; then
  clang++ -std=c++20 -O1 -I"$root/tests" "$root/bench/fuzz/MakeSeeds.cpp" -o "$out/make_seeds"
  mkdir -p "$root/bench/fuzz/corpus/version"
  "$out/make_seeds" "$root/bench/fuzz/corpus/version"
fi
