#!/usr/bin/env bash
# The WebSocket voice source under load, under a private Xvfb: voice-sim --websocket --flood sends RATE
# events a second (default 1000: kRxBegin and kRxEnd in turn, pilots of the strip list, so
# every kRxBegin runs the speaker cycle and moves the reading) to the real program, linked to
# linkar-sim, for LOAD_SECONDS (default 60) after a 10 s warm-up. Samples VmRSS every 10 s.
# TICK_MS (default 1) sends the events in bursts that far apart: 1 is the worst case, one
# frame and one wake-up of the program per event.
# Pass: CPU under 5 % of one core; no sample above the first by more than 1 MB.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "${BUILD:-$root/build}" && pwd)/bin
out=${OUT:-$(mktemp -d /tmp/quadrantel-voice.XXXXXX)}
seconds=${LOAD_SECONDS:-60}
rate=${RATE:-1000}
. "$root/bench/app/lib.sh"
hz=$(getconf CLK_TCK)
station="BENCH N050.01.59.880 E008.34.14.160"
pilots=DLH123,BAW456,AFR789,KLM12,RYR8QK,EZY42,SWR34,AUA56
status=0

start_xvfb
machine
start_linkar "$out/linkar-sim.log" --station 50.0333,8.5706 --aircraft 8 --callsigns "$pilots" --range 60 --seed 7
"$bin/voice-sim" --websocket 0 --pilots "$pilots" --flood "$rate" --flood-tick "${TICK_MS:-1}" >"$out/voice-sim.log" 2>&1 </dev/null &
pids+=($!)
voice_port=
for _ in $(seq 100); do
  voice_port=$(sed -n 's/^voice-sim websocket on \([0-9]*\)$/\1/p' "$out/voice-sim.log" 2>/dev/null || true)
  [[ -n $voice_port ]] && break
  sleep 0.1
done
[[ -n $voice_port ]] || { echo "voice-sim did not start its WebSocket (see $out/voice-sim.log)" >&2; exit 1; }
write_config "$port" "$station"
printf 'VoiceSource=WebSocket\r\nVoiceURL=ws://127.0.0.1:%s/ws\r\n' "$voice_port" >>"$data/Config.ini"
"$bin/towrix-sim" --connected --position 0,560 >"$out/towrix-sim.log" 2>&1 </dev/null &
pids+=($!)
AppData=$out/AppData "$bin/quadrantel" >"$out/quadrantel.log" 2>&1 </dev/null &
program=$!
pids+=($program)
sleep 10
t0=$(cpu_ticks "$program")
first=$(rss_kb "$program")
peak=$first
samples="$first"
for ((s = 10; s <= seconds; s += 10)); do
  sleep 10
  r=$(rss_kb "$program")
  samples="$samples $r"
  ((r > peak)) && peak=$r
done
t1=$(cpu_ticks "$program")
cpu=$(awk -v d="$((t1 - t0))" -v h="$hz" -v s="$seconds" 'BEGIN { printf "%.2f", d / h * 100 / s }')
echo "voice events at $rate events/s (bursts ${TICK_MS:-1} ms apart) for $seconds s: CPU $cpu % of one core ($((t1 - t0)) ticks at $hz/s)"
echo "voice events VmRSS kB every 10 s: $samples (peak $peak, first $first)"
awk -v c="$cpu" 'BEGIN { exit !(c < 5) }' || { echo "voice events: CPU over 5 %" >&2; status=1; }
((peak <= first + 1024)) || { echo "voice events: memory grew" >&2; status=1; }
echo "voice events: output in $out"
exit $status
