#!/usr/bin/env bash
# What the Orca screen reader says of Configuration and of the game's message boxes. Orca,
# speech-dispatcher (whose one voice appends every utterance to a text file), the accessibility
# bus and an X server are this test's own; xdotool types as a player would, and the words spoken
# are checked in order.
# Usage: orca_speech.sh GAME_DIR WORK_DIR
set -euo pipefail
game=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
# Orca refuses to start beside another Orca of the same user anywhere on the machine, and others
# may run one: a process namespace of its own, where this test's Orca is the only one (and where
# everything started here ends with the test). Then a session bus of its own.
if [[ -z ${ZORVAN_ORCA_NS:-} ]]; then
  if unshare --pid --fork --mount-proc true 2>/dev/null; then
    ZORVAN_ORCA_NS=1 exec unshare --pid --fork --mount-proc dbus-run-session -- "$0" "$@"
  fi
  ZORVAN_ORCA_NS=1 exec dbus-run-session -- "$0" "$@"
fi
source "$here/../e2e/access_lib.sh"
speechd_pid=
orca_pid=
stop_all() {
  for pid in $orca_pid $speechd_pid; do kill "$pid" 2>/dev/null || true; done
  cleanup
}
trap stop_all EXIT
setup_game
speech=$work/speech.log
: >"$speech"
start_xvfb

# speech-dispatcher with one output module: a command that appends each utterance to $speech.
# It accepts a module only with an audio output, so it gets one that plays nowhere.
mkdir -p "$work/speechd/modules" "$work/speechd-log" "$work/orca-prefs" "$work/run"
chmod 700 "$work/run"
export XDG_RUNTIME_DIR=$work/run
cat >"$work/speechd/speechd.conf" <<CONF
CommunicationMethod "unix_socket"
SocketPath "$work/run/speechd.sock"
LogDir "$work/speechd-log"
AudioOutputMethod "alsa"
AudioALSADevice "null"
AddModule "textlog" "sd_generic" "textlog.conf"
DefaultModule textlog
DefaultLanguage "en"
CONF
cat >"$work/speechd/modules/textlog.conf" <<CONF
GenericExecuteSynth "printf '%s\\\\n' \'\$DATA\' >> $speech"
GenericLanguage "en" "en" "utf-8"
AddVoice "en" "MALE1" "textlog"
CONF
export SPEECHD_ADDRESS=unix_socket:$work/run/speechd.sock
speech-dispatcher -s -t 0 -C "$work/speechd" -S "$work/run/speechd.sock" -c unix_socket >"$work/speechd.out" 2>&1 &
speechd_pid=$!
for _ in $(seq 50); do [[ -S $work/run/speechd.sock ]] && break; sleep 0.1; done
[[ -S $work/run/speechd.sock ]] || fail "speech-dispatcher did not start: $(cat "$work/speechd.out")"

# As a desktop does when the player turns the screen reader on; never --replace: it kills every
# other Orca of this user.
for property in IsEnabled ScreenReaderEnabled; do
  gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Set org.a11y.Status "$property" '<true>' >/dev/null
done
# The accessibility bus and its registry up before Orca, which gives up at once when they are
# slow to answer (a loaded machine).
a11y=$(gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus --method org.a11y.Bus.GetAddress |
  sed "s/^('\(.*\)',)\$/\1/")
for _ in $(seq 60); do
  gdbus call --address "$a11y" --dest org.a11y.atspi.Registry --object-path /org/a11y/atspi/accessible/root \
    --method org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1 && break
  sleep 0.5
done

mark=0
# heard TEXT...: within 15 s the lines spoken since the mark hold each TEXT as a whole line
# (blanks at the ends aside), in this order; the mark moves past the last one.
heard() {
  local line until=$((SECONDS + 15))
  while ((SECONDS <= until)); do
    if line=$(python3 - "$speech" "$mark" "$@" <<'PY'
import sys
lines = [l.strip() for l in open(sys.argv[1], encoding="utf-8", errors="replace").read().split("\n")]
at = int(sys.argv[2])
for want in sys.argv[3:]:
    while at < len(lines) and lines[at] != want:
        at += 1
    if at == len(lines):
        sys.exit(1)
    at += 1
print(at)
PY
    ); then
      mark=$line
      return 0
    fi
    sleep 0.2
  done
  echo "--- Orca said, from line $((mark + 1)):" >&2
  tail -n +"$((mark + 1))" "$speech" >&2
  fail "Orca did not say, in this order: $*"
}

# said_once TEXT: TEXT was spoken exactly once since line FROM.
said_once() {
  local n
  n=$(tail -n +"$((from + 1))" "$speech" | sed 's/^ *//; s/ *$//' | grep -cxF -- "$1" || true)
  [[ $n -eq 1 ]] || { tail -n +"$((from + 1))" "$speech" >&2; fail "\"$1\" was said $n times, not once"; }
}

for attempt in 1 2 3; do
  orca -u "$work/orca-prefs" >"$work/orca.out" 2>&1 &
  orca_pid=$!
  for _ in $(seq 150); do
    grep -q '^ *Screen reader on\. *$' "$speech" && break
    kill -0 "$orca_pid" 2>/dev/null || break
    sleep 0.2
  done
  grep -q '^ *Screen reader on\. *$' "$speech" && break
  kill "$orca_pid" 2>/dev/null || true
  wait "$orca_pid" 2>/dev/null || true
  echo "Orca did not start (try $attempt): $(tail -n 2 "$work/orca.out")" >&2
done
heard 'Screen reader on.'

welcome='on the next screen you will be asked to enter some information that will be used by the game ,feelds marked with an asterisc are required , other feelds are optional.'

# 1. Configuration filled once through: each field named on its first Tab, the country on each
#    Down, every box read once.
"$work/game/Configuration" >"$work/configuration.out" 2>&1 &
app_pid=$!
from=$mark
heard 'alert welcome.' "$welcome" 'OK push button.'
await_focus welcome
xdotool key Return
heard 'Configuration.' 'First name text.' 'required.'
said_once "$welcome"
xdotool type --delay 40 John
xdotool key Tab
heard 'Last Name text.' 'required.'
xdotool type --delay 40 Smith
xdotool key Tab
heard 'Email Address text.' 'optional.'
xdotool key Tab
heard 'please select a country editable combo box.' 'required.'
for country in 'CA: Canada' 'US: United States' 'AF: Afghanistan' 'AL: Albania'; do
  xdotool key Down
  heard "$country"
done
xdotool key Up
heard 'AF: Afghanistan'
grep -qi 'star' "$speech" && fail "an asterisk was read out"
from=$mark
xdotool key alt+s
heard 'congratulations ! your data was successfully saved!' 'OK push button.'
said_once 'congratulations ! your data was successfully saved!'
await_focus 'Zorvan configuration'
xdotool key Return
finished
printf 'John Smith\r\nnun\r\nAF\r\n' | cmp -s - "$work/data/zorvan/config.dat" ||
  fail "config.dat: $(od -c "$work/data/zorvan/config.dat")"
echo "ok: Configuration: fields named on their first Tab, the country on every Down, boxes read once"

# 2. A damaged keys.dat: the game's box, its text once.
put_data keys.dat 'garbage\r\n'
from=$mark
start_zorvan
tampered='the keys.dat file was tampered with! please reinstall the software.'
heard 'alert error!' "$tampered" 'OK push button.'
await_focus 'error!'
sleep 1
said_once "$tampered"
xdotool key Return
finished
echo "ok: the damaged keys.dat box is read once"

# 3. No profile: the question, read once; Yes hands over to Configuration, whose welcome must
#    be read every time.
put_data keys.dat ' 38 \r\n 37 \r\n 39 \r\n 40 \r\n 17 \r\n 16 \r\n 9 \r\n 76 \r\n 13 \r\n 73 \r\n 80 \r\n'
# Spoken sentence by sentence.
question='The game needs your profile (your name, e-mail address and country) before it starts.'
question2='Open Configuration now? The game starts again when you have saved your profile.'
for run in $(seq 10); do
  put_data config.dat '0\r\n0\r\n0\r\n'
  from=$mark
  start_zorvan
  heard 'alert Zorvan! no player profile.' "$question" "$question2" 'Yes push button.'
  await_focus 'Zorvan! no player profile'
  xdotool key Return
  heard 'alert welcome.' "$welcome" 'OK push button.'
  said_once "$question"
  await_focus welcome
  xdotool key Return
  heard 'Configuration.' 'First name text.'
  xdotool key alt+e
  heard 'alert Zorvan configuration.' 'your data was not saved.'
  await_focus 'Zorvan configuration'
  xdotool key Return
  finished
  [[ $status -eq 1 ]] || fail "run $run: no profile saved, yet status $status"
  echo "run $run: announced (${SECONDS} s into the test)"
done
echo "ok: the hand-over to Configuration was announced 10 times in a row"
echo "3 passed, 0 failed"
