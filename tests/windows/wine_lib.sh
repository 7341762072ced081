# Shared by the tests of the Windows programs under wine. Source it after setting `work`.
# wine runs in the prefix `make test-windows` sets up (WINEPREFIX); each test keeps its own
# files in its own portable game folder, so tests may run side by side in one prefix.

wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

fail() {
  echo "FAIL: $*" >&2
  [[ -s $work/zorvan.out ]] && { echo "--- zorvan's output:" >&2; tail -n 30 "$work/zorvan.out" >&2; }
  exit 1
}

# winpath PATH: the path as a Windows program is given it (wine shows / as drive Z:).
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }

# portable_game FROM TO: a copy of the Windows game folder that keeps its data beside itself.
portable_game() {
  rm -rf "$2"
  mkdir -p "$(dirname "$2")"
  cp -a "$1" "$2"
  rm -rf "$2/data"
  printf 'portable\r\n' >"$2/portable.txt"
}

app_pid=
xvfb_pid=
pulse_pid=

cleanup() {
  [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null || true
  [[ -n $pulse_pid ]] && kill "$pulse_pid" 2>/dev/null || true
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

source "$(dirname "${BASH_SOURCE[0]}")/../e2e/xvfb.sh"

# start_pulse: a PulseAudio server of the test's own with one null sink, in a private
# XDG_RUNTIME_DIR, so that WASAPI under wine has a device to play into.
start_pulse() {
  export XDG_RUNTIME_DIR=$work/run
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  export PULSE_RUNTIME_PATH=$XDG_RUNTIME_DIR/pulse
  HOME=$work pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    --load=module-native-protocol-unix --load="module-null-sink sink_name=zorvan" \
    --load="module-always-sink" >"$work/pulse.log" 2>&1 &
  pulse_pid=$!
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && return 0
    kill -0 "$pulse_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$work/pulse.log" >&2
  fail "PulseAudio did not start"
}

# start_game FOLDER [ARGS]: zorvan.exe of FOLDER under wine, its output in $work/zorvan.out.
start_game() {
  local folder=$1
  shift
  (cd "$folder" && exec "$wine64" "$folder/zorvan.exe" "$@") >"$work/zorvan.out" 2>&1 &
  app_pid=$!
}

# await_window TITLE [SECONDS]: prints the id of the first window titled TITLE.
await_window() {
  local id
  id=$(timeout "${2:-90}" xdotool search --sync --name "^$1\$" 2>/dev/null | head -n 1) || true
  [[ -n $id ]] || fail "no window \"$1\""
  echo "$id"
}

# focus TITLE: the window titled TITLE gets the keyboard; prints its id.
focus() {
  local id
  id=$(await_window "$1")
  xdotool windowfocus --sync "$id" 2>/dev/null || true
  sleep 0.3
  echo "$id"
}

# finished [SECONDS]: the game ends within SECONDS (60); sets `status`.
finished() {
  for _ in $(seq $(( ${1:-60} * 10 ))); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$app_pid" 2>/dev/null && fail "zorvan.exe did not end"
  status=0
  wait "$app_pid" || status=$?
  app_pid=
}
