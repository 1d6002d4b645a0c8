#!/usr/bin/env bash
# The demo: the goniometer against the three simulated outside programs, on a fresh data folder.
# With a display it runs there until Ctrl-C (or DEMO_SECONDS); without one it runs under Xvfb for
# DEMO_SECONDS (default 30), saves screenshots of the main window under build/demo/ and prints
# what the window showed. Every process it starts is stopped when it ends.
# VOICE=websocket stands in for the newer voice client (voice-sim --websocket) instead of the
# remote library, counting every frequency it receives: every second pilot keys up while the one
# before still talks (the reading moves to him, the other keeps a thin needle), one pilot talks on
# the second frequency, strangers key up over the caller on the advisory and guard frequencies
# (the caller on the controller's own frequency keeps the reading), a neighbour controller talks
# every fourth turn, every fourth transmission is re-keyed, every fifth loses its kRxEnd, and the
# client quits for 3 s every 40 s.
# POSITIONS=feed takes the aircraft from linkar-sim's data file over HTTP (a new file every 15 s,
# LAYOUT=a or b) instead of its relay; readings are then moved to the moment of the reading.
# POSITIONS=both takes both: the relay has only the aircraft within 30 NM, the file every one.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${BUILD:-$root/build}" && pwd)
bin=$build/bin
out=$build/demo
for program in quadrantel linkar-sim voice-sim towrix-sim x11-snap libTSRemote.so; do
  if [[ ! -e $bin/$program ]]; then
    echo "demo: $bin/$program is missing; build first (make demo does)" >&2
    exit 1
  fi
done

# Station near the simulated traffic (Frankfurt).
station_lat=50.0333
station_lon=8.5706
station_id="DEMO N050.01.59.880 E008.34.14.160"
pilots=DLH123,BAW456,AFR789,KLM12,RYR8QK

pids=()
cleanup() {
  local i
  # The display server goes last, so that the programs on it end cleanly.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    { wait "${pids[i]}"; } 2>/dev/null || true
  done
  pids=()
}
trap cleanup EXIT
trap 'exit 130' INT TERM

rm -rf "$out"
mkdir -p "$out/AppData/Quadrantel"
data=$out/AppData/Quadrantel

headless=0
if [[ -z ${DISPLAY:-} || ${DEMO_HEADLESS:-0} == 1 ]]; then
  headless=1
  command -v Xvfb >/dev/null || { echo "demo: no display and no Xvfb (scripts/install-deps installs it)" >&2; exit 1; }
  # Xvfb writes its display number once it accepts connections.
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1600x900x24 3>"$out/display" >"$out/xvfb.log" 2>&1 &
  pids+=($!)
  number=
  for _ in $(seq 200); do
    if [[ $(wc -l <"$out/display" 2>/dev/null || echo 0) -ge 1 ]]; then
      number=$(tr -dc 0-9 <"$out/display")
      break
    fi
    sleep 0.1
  done
  [[ -n $number ]] || { echo "demo: Xvfb did not start (see $out/xvfb.log)" >&2; exit 1; }
  export DISPLAY=:$number
fi
seconds=${DEMO_SECONDS:-$([[ $headless == 1 ]] && echo 30 || echo 0)}

start=$(date +%s.%N)
elapsed() { awk -v s="$start" -v n="$(date +%s.%N)" 'BEGIN { printf "%.1f", n - s }'; }

positions=${POSITIONS:-link}
feed_args=()
case $positions in
link) ;;
feed) feed_args=(--feed 0 --layout "${LAYOUT:-a}") ;;
both) feed_args=(--feed 0 --layout "${LAYOUT:-a}" --link-range 30) ;;
*)
  echo "demo: POSITIONS is link, feed or both, not $positions" >&2
  exit 1
  ;;
esac

# The network interface program, on a free port.
"$bin/linkar-sim" --port 0 --station "$station_lat,$station_lon" --aircraft 8 --far 2 --range 60 --seed 7 \
  "${feed_args[@]}" >"$out/linkar-sim.log" 2>&1 </dev/null &
pids+=($!)
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^linkar-sim listening on \([0-9]*\)$/\1/p' "$out/linkar-sim.log" 2>/dev/null || true)
  [[ -n $port ]] && break
  sleep 0.1
done
[[ -n $port ]] || { echo "demo: linkar-sim did not start (see $out/linkar-sim.log)" >&2; exit 1; }
position_settings=
if [[ $positions != link ]]; then
  feed_port=
  for _ in $(seq 100); do
    feed_port=$(sed -n 's/^linkar-sim feed on \([0-9]*\)$/\1/p' "$out/linkar-sim.log" 2>/dev/null || true)
    [[ -n $feed_port ]] && break
    sleep 0.1
  done
  [[ -n $feed_port ]] || { echo "demo: linkar-sim did not serve its data file (see $out/linkar-sim.log)" >&2; exit 1; }
  position_settings="PositionSource=${positions^}
FeedURL=http://127.0.0.1:$feed_port/feed.json
FeedInterval=15"
fi

voice=${VOICE:-tsremote}
voice_settings=
if [[ $voice == websocket ]]; then
  "$bin/voice-sim" --websocket 0 --pilots "$pilots" --elsewhere AFR789 --overlap-every 2 --ground EDDF_APP \
    --ground-every 4 --advisory EZY42 --guard SWR34 --stranger-every 3 --rekey-every 4 --lose-every 5 \
    --quit-every 40 --seed 7 \
    >"$out/voice-sim.log" 2>&1 </dev/null &
  pids+=($!)
  voice_port=
  for _ in $(seq 100); do
    voice_port=$(sed -n 's/^voice-sim websocket on \([0-9]*\)$/\1/p' "$out/voice-sim.log" 2>/dev/null || true)
    [[ -n $voice_port ]] && break
    sleep 0.1
  done
  [[ -n $voice_port ]] || { echo "demo: voice-sim did not start its WebSocket (see $out/voice-sim.log)" >&2; exit 1; }
  voice_settings="VoiceSource=WebSocket
VoiceURL=ws://127.0.0.1:$voice_port/ws
VoiceFrequencies="
elif [[ $voice != tsremote ]]; then
  echo "demo: VOICE is tsremote or websocket, not $voice" >&2
  exit 1
fi

cat >"$data/Config.ini" <<INI
[Setup]
ServerName=Quadrantel
Autostart=1
Debug=1
OnTop=0
VID=1000001
Address=127.0.0.1
Port=$port
Station=$station_id
LastX=000000008400
LastY=000000000000
$voice_settings
$position_settings
INI
printf '[Setup]\r\nId=%s\r\n' "$station_id" >"$data/gonio_${station_id// /_}.position"

export QUADRANTEL_VOICE_STATE=$out/voice.state
if [[ $voice == tsremote ]]; then
  "$bin/voice-sim" --pilots "$pilots" --seed 7 --position 0,260 >"$out/voice-sim.log" 2>&1 </dev/null &
  pids+=($!)
fi
"$bin/towrix-sim" --connect-after 1 --cycle "$pilots" --position 0,0 >"$out/towrix-sim.log" 2>&1 </dev/null &
pids+=($!)
AppData=$out/AppData QUADRANTEL_TSREMOTE=$bin/libTSRemote.so QT_QPA_PLATFORM=xcb \
  "$bin/quadrantel" >"$out/quadrantel.log" 2>&1 </dev/null &
quadrantel=$!
pids+=($quadrantel)

echo "demo: data folder $data, linkar-sim on port $port, positions $positions, voice $voice, display $DISPLAY"
[[ $headless == 1 ]] || echo "demo: press Ctrl-C to stop"

# Watches the main window's title: "Quadrantel - (DEMO) CALLSIGN QDR[xxx]  QDM[yyy]" during a reading.
last=
shots=0
first=
shown=
printed=0
while :; do
  if ! kill -0 "$quadrantel" 2>/dev/null; then
    echo "demo: quadrantel ended early (see $out/quadrantel.log)" >&2
    exit 1
  fi
  t=$(elapsed)
  if [[ $seconds != 0 ]] && awk -v t="$t" -v s="$seconds" 'BEGIN { exit !(t >= s) }'; then break; fi
  title=$("$bin/x11-snap" --title-prefix Quadrantel 2>/dev/null || true)
  if [[ -n $title && $title != "$last" ]]; then
    last=$title
    if [[ $title =~ ^Quadrantel\ -\ \((.*)\)\ ([^ ]+)\ QDR\[(.*)\]\ +QDM\[(.*)\]$ ]]; then
      speaker=${BASH_REMATCH[2]}
      [[ -n $first ]] || { first=$t; echo "demo: first reading after $t s"; }
      # The needle moves a few degrees while a pilot talks: one line per speaker and second.
      # A screenshot with each line (up to 24): other callers' needles come and go while one talks.
      if [[ $speaker != "$shown" ]] || awk -v t="$t" -v p="$printed" 'BEGIN { exit !(t - p >= 1) }'; then
        printf 'demo: %6ss  speaker %-8s QDR %s  QDM %s   title "%s"\n' "$t" "$speaker" "${BASH_REMATCH[3]}" \
          "${BASH_REMATCH[4]}" "$title"
        printed=$t
      fi
      if [[ $printed == "$t" ]] && ((shots < 24)); then
        shots=$((shots + 1))
        sleep 0.3 # let the needle be drawn
        "$bin/x11-snap" --title-prefix Quadrantel --png "$out/quadrantel-$shots.png" >/dev/null 2>>"$out/x11-snap.log" &&
          cp "$out/quadrantel-$shots.png" "$out/quadrantel.png"
      fi
      shown=$speaker
    else
      printf 'demo: %6ss  title "%s"\n' "$t" "$title"
      shown=
    fi
  fi
  sleep 0.2
done

if [[ -z $first ]]; then
  "$bin/x11-snap" --title-prefix Quadrantel --png "$out/quadrantel.png" >/dev/null 2>&1 || true
  echo "demo: no reading within $seconds s; see $data and $out/*.log" >&2
  exit 1
fi
echo "demo: $shots screenshot(s) of the main window in $out (latest: $out/quadrantel.png)"
echo "demo: log and dump files in $data"
