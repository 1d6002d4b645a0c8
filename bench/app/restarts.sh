#!/usr/bin/env bash
# AutoConnect restarts under a private Xvfb: linkar-sim killed and started again on the same port
# RESTARTS times (default 200) while the program runs with the ATC client connected; after each
# start the program must log in again. Passes when the open descriptors end where they were after
# three warm-up restarts and VmRSS grew by at most 10 % (2 MB at least).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "${BUILD:-$root/build}" && pwd)/bin
out=${OUT:-$(mktemp -d /tmp/quadrantel-restarts.XXXXXX)}
restarts=${RESTARTS:-200}
. "$root/bench/app/lib.sh"
station="E2E N050.00.00.000 E008.00.00.000"
linkar_args=(--station 50,8 --aircraft 3 --interval 500 --seed 3)

start_xvfb
machine
export QUADRANTEL_TSREMOTE=$bin/libTSRemote.so QUADRANTEL_VOICE_STATE=$out/voice.state
start_linkar "$out/linkar-0.log" "${linkar_args[@]}"
write_config "$port" "$station"
"$bin/towrix-sim" --connected --callsign TESTB --position 0,560 >"$out/towrix-sim.log" 2>&1 </dev/null &
pids+=($!)
"$bin/voice-sim" --pilots DLH123 --talk 1 --gap 0.5 --position 600,0 >"$out/voice-sim.log" 2>&1 </dev/null &
pids+=($!)
AppData=$out/AppData "$bin/quadrantel" >"$out/quadrantel.log" 2>&1 </dev/null &
program=$!
pids+=($program)

identified() { # LOG: waits up to 30 s for the program's identification line
  local _
  for _ in $(seq 300); do
    grep -q 'identified !CQuadrantel' "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "restarts: no login (see $1)" >&2
  exit 1
}
restart() { # N
  kill -9 "$linkar"
  wait "$linkar" 2>/dev/null || true
  "$bin/linkar-sim" --port "$port" "${linkar_args[@]}" >"$out/linkar-$1.log" 2>&1 </dev/null &
  linkar=$!
  pids+=($linkar)
  identified "$out/linkar-$1.log"
}

identified "$out/linkar-0.log"
for i in 1 2 3; do restart "w$i"; done # warm-up: caches and pools filled once
fd0=$(fd_count "$program") rss0=$(rss_kb "$program") t0=$SECONDS
for ((i = 1; i <= restarts; i++)); do restart "$i"; done
sleep 2
fd1=$(fd_count "$program") rss1=$(rss_kb "$program")
echo "restarts $restarts in $((SECONDS - t0)) s: descriptors $fd0 -> $fd1, VmRSS $rss0 kB -> $rss1 kB"
status=0
((fd1 <= fd0)) || { echo "restarts: descriptors leaked" >&2; status=1; }
limit=$((rss0 / 10 > 2048 ? rss0 / 10 : 2048))
((rss1 <= rss0 + limit)) || { echo "restarts: VmRSS grew by more than $limit kB" >&2; status=1; }
kill -0 "$program" || { echo "restarts: the program ended" >&2; status=1; }
echo "restarts: output in $out"
exit $status
