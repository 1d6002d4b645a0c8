# Shared by the measurement scripts in bench/app: a private Xvfb, the simulators and the
# program on a fresh data folder, and samples of a process's memory and CPU time.
# Callers set: bin (the build's bin folder) and out (a scratch folder). Every process started
# here is stopped by cleanup (installed as the EXIT trap).

pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    { wait "${pids[i]}"; } 2>/dev/null || true
  done
  pids=()
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_xvfb() {
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$out/display" >"$out/xvfb.log" 2>&1 &
  pids+=($!)
  local number= _
  for _ in $(seq 200); do
    if [[ $(wc -l <"$out/display" 2>/dev/null || echo 0) -ge 1 ]]; then
      number=$(tr -dc 0-9 <"$out/display")
      break
    fi
    sleep 0.1
  done
  [[ -n $number ]] || { echo "no Xvfb display (see $out/xvfb.log)" >&2; exit 1; }
  export DISPLAY=:$number QT_QPA_PLATFORM=xcb
}

# start_linkar LOG ARGS...: starts linkar-sim on a free port; sets port and linkar.
start_linkar() {
  local log=$1 _
  shift
  "$bin/linkar-sim" --port 0 "$@" >"$log" 2>&1 </dev/null &
  linkar=$!
  pids+=($linkar)
  port=
  for _ in $(seq 100); do
    port=$(sed -n 's/^linkar-sim listening on \([0-9]*\)$/\1/p' "$log" 2>/dev/null || true)
    [[ -n $port ]] && return 0
    sleep 0.1
  done
  echo "linkar-sim did not start (see $log)" >&2
  exit 1
}

# write_config PORT STATION: a data folder whose program starts its main window at once.
write_config() {
  data=$out/AppData/Quadrantel
  mkdir -p "$data"
  printf '[Setup]\r\nAutoStart=1\r\nDebug=%s\r\nOnTop=0\r\nVID=1000001\r\nAddress=127.0.0.1\r\nPort=%s\r\nStation=%s\r\nLastX=0\r\nLastY=0\r\n' \
    "${DEBUG:-0}" "$1" "$2" >"$data/Config.ini"
  printf '[Setup]\r\nId=%s\r\n' "$2" >"$data/gonio_${2// /_}.position"
}

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
# User plus system CPU time in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
fd_count() { ls "/proc/$1/fd" | wc -l; }

machine() {
  echo "machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1), load $(cut -d' ' -f1-3 /proc/loadavg)"
}
