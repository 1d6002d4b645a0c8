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

# Every source is compiled on its own, through ccache when there is one, so a second run
# compiles only what changed.
cxx=(clang++)
if command -v ccache >/dev/null; then cxx=(ccache clang++); fi
mkdir -p "$out/obj"
object() { # source -> prints the object file
  local obj="$out/obj/${1//\//_}.o"
  "${cxx[@]}" "${flags[@]}" "${san[@]}" -fsanitize=fuzzer-no-link "${qtc[@]}" -c "$root/$1" -o "$obj"
  echo "$obj"
}

# The shared text, settings and runtime helpers.
common=(platform/Defaults.cpp platform/Runtime.cpp platform/ProfileFile.cpp platform/DataFolders.cpp
  shell/Config.cpp shell/LogFiles.cpp shell/Settings.cpp shell/TextRoutines.cpp)
objs=()
for src in "${common[@]}"; do objs+=("$(object "src/$src")"); done

build() { # name sources... [-llibrary...]
  local name=$1
  shift
  local own=()
  for s in "$@"; do [[ $s == -* ]] && own+=("$s") || own+=("$(object "$s")"); done
  clang++ "${san[@]}" -fsanitize=fuzzer "${own[@]}" "${objs[@]}" "${qtl[@]}" -o "$out/${name}_fuzz"
  mkdir -p "$out/corpus/$name"
  echo "built $out/${name}_fuzz"
}

for t in "${targets[@]}"; do
  case "$t" in
  version) build version src/platform/VersionResource.cpp bench/fuzz/VersionResourceFuzz.cpp ;;
  traffic) build traffic src/traffic/TrafficTable.cpp src/link/LinkData.cpp bench/fuzz/TrafficFuzz.cpp ;;
  settings) build settings bench/fuzz/SettingsFuzz.cpp ;;
  coordinates) build coordinates src/stations/CoordinateInput.cpp src/gonio/Geodesy.cpp bench/fuzz/CoordinatesFuzz.cpp ;;
  geodesy) build geodesy src/gonio/Geodesy.cpp bench/fuzz/GeodesyFuzz.cpp ;;
  airports) build airports src/stations/Airports.cpp bench/fuzz/AirportsFuzz.cpp ;;
  players) build players src/voice/modTSRemote.cpp src/platform/WindowSystem.cpp bench/fuzz/PlayersFuzz.cpp ;;
  voice) build voice src/voice/VoiceSettings.cpp src/voice/VoiceEvents.cpp src/voice/ClientPort.cpp src/voice/WebSocketVoiceClient.cpp \
    bench/fuzz/VoiceEventsFuzz.cpp ;;
  datafile) build datafile src/feed/FeedParser.cpp src/feed/FeedTime.cpp src/feed/FeedTraffic.cpp src/gonio/Geodesy.cpp \
    bench/fuzz/DataFileFuzz.cpp -lsimdjson ;;
  *) echo "unknown target $t" >&2; exit 2 ;;
  esac
done

if [[ $seeds == 1 ]]; then
  clang++ -std=c++20 -O1 -I"$root/tests" "$root/bench/fuzz/MakeSeeds.cpp" -o "$out/make_seeds"
  mkdir -p "$root/bench/fuzz/corpus/version"
  "$out/make_seeds" "$root/bench/fuzz/corpus/version"
fi
