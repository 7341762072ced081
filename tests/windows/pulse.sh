# start_pulse: a PulseAudio server of the test's own, as an ordinary process with a private
# XDG_RUNTIME_DIR, whose default sink is a null sink named "zorvan"; its monitor records what
# programs play. stop_pulse ends it. Needs $work.
start_pulse() {
  export XDG_RUNTIME_DIR=$work/runtime
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
  HOME=$work pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n \
    --load="module-native-protocol-unix auth-anonymous=1" \
    --load="module-null-sink sink_name=zorvan rate=48000" \
    --load="module-always-sink" >"$work/pulse.log" 2>&1 &
  pulse_pid=$!
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && { pactl set-default-sink zorvan; return 0; }
    kill -0 "$pulse_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "could not start PulseAudio" >&2
  cat "$work/pulse.log" >&2
  return 1
}

stop_pulse() {
  [[ -n ${pulse_pid:-} ]] && kill "$pulse_pid" 2>/dev/null || true
}

# The RMS amplitude of what the sink plays during $1 seconds.
record_rms() {
  timeout "$1" parec -d zorvan.monitor --format=s16le --rate=48000 --channels=2 >"$work/monitor.raw" 2>/dev/null || true
  sox -t raw -r 48000 -e signed -b 16 -c 2 "$work/monitor.raw" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}'
}
