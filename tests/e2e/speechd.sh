# start_speechd WORDS_FILE: PulseAudio with a null sink and speech-dispatcher, both of this run
# alone, in $work/run (exported as XDG_RUNTIME_DIR, where libspeechd looks for the socket).
# speech-dispatcher's one module appends every message it is given to WORDS_FILE, one a line,
# after the time it got it (ns since the epoch) when STAMP=1; the module would cut a message at
# its sentence ends, which "~" (in none of the game's words) stops. stop_speechd ends both.
# Source it after setting `work` and defining `fail`.
pulse_pid=
speechd_pid=

start_speechd() {
  local words=$1 stamp=
  [[ ${STAMP:-0} == 1 ]] && stamp="\$(date +%s%N) "
  for tool in speech-dispatcher pulseaudio pactl; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/packages-test.txt)"
  done
  export HOME=$work XDG_RUNTIME_DIR=$work/run PULSE_RUNTIME_PATH=$work/run/pulse
  mkdir -p "$PULSE_RUNTIME_PATH" "$work/speechd/modules" "$work/speechd-log"
  chmod 700 "$XDG_RUNTIME_DIR" "$PULSE_RUNTIME_PATH"
  unset SPEECHD_ADDRESS

  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    --load="module-null-sink sink_name=speech rate=48000" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$PULSE_RUNTIME_PATH/native" \
    >"$work/pulse.log" 2>&1 &
  pulse_pid=$!
  export PULSE_SERVER=unix:$PULSE_RUNTIME_PATH/native
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl info >/dev/null 2>&1 || fail "PulseAudio did not start: $(cat "$work/pulse.log")"

  : >"$words"
  cat >"$work/speechd/speechd.conf" <<CONF
CommunicationMethod "unix_socket"
SocketPath "default"
AudioOutputMethod "pulse"
LogLevel 3
DefaultModule words
AddModule "words" "sd_generic" "words.conf"
CONF
  cat >"$work/speechd/modules/words.conf" <<CONF
GenericExecuteSynth "printf '%s\\\\n' \"$stamp\"\'\$DATA\' >> $words"
GenericStripPunctChars ""
GenericDelimiters "~"
AddVoice "en" "MALE1" "en"
DefaultVoice "en"
CONF
  speech-dispatcher -s -t 0 -C "$work/speechd" -L "$work/speechd-log" >"$work/speechd.out" 2>&1 &
  speechd_pid=$!
  local socket=$XDG_RUNTIME_DIR/speech-dispatcher/speechd.sock
  for _ in $(seq 100); do [[ -S $socket ]] && break; sleep 0.1; done
  [[ -S $socket ]] || fail "speech-dispatcher did not start: $(cat "$work/speechd.out")"
}

stop_speechd() {
  [[ -n $speechd_pid ]] && kill "$speechd_pid" 2>/dev/null || true
  [[ -n $pulse_pid ]] && kill "$pulse_pid" 2>/dev/null || true
  speechd_pid= pulse_pid=
}
