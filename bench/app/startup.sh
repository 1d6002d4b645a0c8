#!/usr/bin/env bash
# Start-up time under a private Xvfb: from starting the program to its main window on screen
# (its title names the station), with STATIONS position files (default 5,000) in the data
# folder and, with CONFIG_MB set, a Config.ini padded with that many megabytes of other keys.
# Target: under 1 s with 5,000 stations. Runs RUNS times (default 5) and prints each and the median.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "${BUILD:-$root/build}" && pwd)/bin
out=${OUT:-$(mktemp -d /tmp/quadrantel-startup.XXXXXX)}
stations=${STATIONS:-5000}
runs=${RUNS:-5}
. "$root/bench/app/lib.sh"
station="BENCH N050.01.59.880 E008.34.14.160"

start_xvfb
machine
export QUADRANTEL_TSREMOTE=$bin/libTSRemote.so QUADRANTEL_VOICE_STATE=$out/voice.state
write_config 1 "$station"
for ((i = 0; i < stations; i++)); do
  printf '[Setup]\r\nId=S%05d N050.00.00.000 E008.00.00.000\r\n' "$i" >"$data/gonio_S$(printf %05d "$i")_N050.00.00.000_E008.00.00.000.position"
done
if [[ -n ${CONFIG_MB:-} ]]; then
  # Other sections' keys first: a reader must get through them to reach [Setup].
  awk -v mb="$CONFIG_MB" 'BEGIN { printf "[Padding]\r\n"; n = mb * 1048576 / 40; for (i = 0; i < n; i++) printf "Key%030d=x\r\n", i }' >"$data/pad.ini"
  cat "$data/pad.ini" "$data/Config.ini" >"$data/Config.new" && mv "$data/Config.new" "$data/Config.ini" && rm "$data/pad.ini"
fi
echo "data folder: $stations position files, Config.ini $(stat -c %s "$data/Config.ini") bytes"

times=()
for ((run = 1; run <= runs; run++)); do
  start=$(date +%s%N)
  AppData=$out/AppData "$bin/quadrantel" >"$out/quadrantel-$run.log" 2>&1 </dev/null &
  program=$!
  pids+=($program)
  shown=
  for _ in $(seq 6000); do
    if xwininfo -root -tree 2>/dev/null | grep -q "\"Quadrantel - BENCH"; then
      shown=$(date +%s%N)
      break
    fi
    sleep 0.01
  done
  [[ -n $shown ]] || { echo "startup: no main window within 60 s (see $out/quadrantel-$run.log)" >&2; exit 1; }
  ms=$(((shown - start) / 1000000))
  echo "run $run: main window after $ms ms, VmHWM $(awk '/^VmHWM:/ { print $2 }' "/proc/$program/status") kB"
  times+=("$ms")
  kill "$program"
  wait "$program" 2>/dev/null || true
done
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
echo "startup: median $median ms over $runs runs"
