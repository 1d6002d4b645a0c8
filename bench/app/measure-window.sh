#!/usr/bin/env bash
# The main window's two running figures under a private Xvfb:
#  1. idle CPU: the window with its three timers running, no link, nobody talking, over
#     IDLE_SECONDS (default 60) — target under 1 % of one core;
#  2. resident memory with 2,000 aircraft in the table (linkar-sim --aircraft 2000, connected,
#     sampled after TABLE_SECONDS, default 60) — target under 80 MB.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "${BUILD:-$root/build}" && pwd)/bin
out=${OUT:-$(mktemp -d /tmp/quadrantel-window.XXXXXX)}
idle=${IDLE_SECONDS:-60}
table=${TABLE_SECONDS:-60}
. "$root/bench/app/lib.sh"
hz=$(getconf CLK_TCK)
station="BENCH N050.01.59.880 E008.34.14.160"
status=0

start_xvfb
export QUADRANTEL_TSREMOTE=$bin/libTSRemote.so QUADRANTEL_VOICE_STATE=$out/voice.state
"$bin/voice-sim" --pilots DLH123 --quiet --position 600,0 >"$out/voice-sim.log" 2>&1 </dev/null &
pids+=($!)
machine

# 1. Idle: no ATC client, so no connection; the three timers run.
out1=$out/idle
mkdir -p "$out1"
top=$out
out=$out1
write_config 1 "$station"
AppData=$out1/AppData "$bin/quadrantel" >"$out1/quadrantel.log" 2>&1 </dev/null &
program=$!
pids+=($program)
sleep 5
t0=$(cpu_ticks "$program")
sleep "$idle"
t1=$(cpu_ticks "$program")
cpu=$(awk -v d="$((t1 - t0))" -v h="$hz" -v s="$idle" 'BEGIN { printf "%.2f", d / h * 100 / s }')
echo "window idle: CPU $cpu % of one core over $idle s ($((t1 - t0)) ticks at $hz/s), VmRSS $(rss_kb "$program") kB"
awk -v c="$cpu" 'BEGIN { exit !(c < 1) }' || { echo "window idle: over 1 %" >&2; status=1; }
kill "$program"
wait "$program" 2>/dev/null || true

# 2. 2,000 aircraft: the ATC client connected, the link up.
out2=$out/table
mkdir -p "$out2"
out=$out2
start_linkar "$out2/linkar-sim.log" --station 50.0333,8.5706 --aircraft 2000 --range 250 --seed 11
write_config "$port" "$station"
"$bin/towrix-sim" --connected --position 0,560 >"$out2/towrix-sim.log" 2>&1 </dev/null &
pids+=($!)
AppData=$out2/AppData "$bin/quadrantel" >"$out2/quadrantel.log" 2>&1 </dev/null &
program=$!
pids+=($program)
sleep "$table"
strips=$(grep -c '^@' "$(ls "$out2"/AppData/Quadrantel/Dump_*.TXT | head -1)" 2>/dev/null || echo 0)
rss=$(rss_kb "$program")
echo "window with 2000 aircraft: VmRSS $rss kB ($(awk -v r="$rss" 'BEGIN { printf "%.1f", r / 1024 }') MB) after $table s; $strips position lines dumped"
((rss < 80 * 1024)) || { echo "window with 2000 aircraft: over 80 MB" >&2; status=1; }
echo "window: output in $top"
exit $status
