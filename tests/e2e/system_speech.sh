#!/usr/bin/env bash
# The real game with speech=system against a real speech-dispatcher that this test starts in a
# private runtime folder (PulseAudio with a null sink as its sound card, a generic module that
# appends every utterance it gets to a file): the game's words reach it in order, each message
# whole, the same words the event log says; and the game's recorded speech is silent in its mix
# (SDL's disk audio driver), measured against the same keys in the recorded voice.
# Usage: system_speech.sh GAME_DIR WORK_DIR
set -euo pipefail
game=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/access_lib.sh"

source "$here/speechd.sh"
stop_services() {
  stop_speechd  # first: cleanup waits for every child
  cleanup
}
trap stop_services EXIT

setup_game
start_xvfb
words=$work/words.txt
start_speechd "$words"

# play MODE: the same keys in the main menu with speech=MODE; the mix up to the last prompt is
# kept in $work/MODE.raw, the event log in $work/MODE.log.
play() {
  local mode=$1
  rm -f "$work/sound.raw"
  rm -rf "$work/config" && mkdir -p "$work/config"
  printf '[zorvan]\nspeech=%s\n' "$mode" >"$work/config/Kestrine.ini"
  "$work/game/zorvan" --log "$work/$mode.log" >"$work/zorvan.out" 2>&1 &
  app_pid=$!
  local window
  window=$(await_window 'Zorvan!')
  xdotool windowfocus --sync "$window"
  sleep 1; xdotool key --window "$window" space
  sleep 1; xdotool key --window "$window" space
  sleep 5   # the main menu's prompt, said to its end
  xdotool key --window "$window" Down
  sleep 0.3  # cut off by the next
  xdotool key --window "$window" Down
  sleep 2
  xdotool key --window "$window" h
  sleep 3
  xdotool key --window "$window" v
  sleep 3
  # The farewell is a jingle with words, heard in both modes: the mix is taken before it.
  head -c "$(stat -c %s "$work/sound.raw")" "$work/sound.raw" >"$work/$mode.raw"
  leave_game "$window"
  [[ $status -eq 0 ]] || fail "zorvan ended with status $status in the $mode mode"
  if grep -q 'system speech cannot be used' "$work/zorvan.out"; then fail "the game could not reach speech-dispatcher"; fi
}

play system
expected=$'Main menu. Up and down arrows move, Enter chooses. New game.\nLoad saved game.\nSubmit score online.\nYour high score is 0\nVersion 1.2'
# The generic module runs once a message reaches it; one cut off before that is not written.
got=$(grep -v '^$' "$words" || true)
said=$(sed -n 's/^[0-9]* speak //p' "$work/system.log")
[[ $said == "$expected" ]] || fail "the event log says other words: $(printf '%q' "$said")"
[[ $got == "$expected" ]] ||
  fail "speech-dispatcher got $(printf '%q' "$got"), not $(printf '%q' "$expected")"
grep -q ' speak-stop$' "$work/system.log" || fail "the entry cut off by the next was not stopped"
echo "ok: speech-dispatcher got the game's words in order, numbers and the version whole"

play recorded
[[ -z $(grep -v '^$' "$words" | sed -n '6,$p') ]] || fail "the recorded voice sent words to speech-dispatcher"

# The loudest 100 ms of each mix after the opening (3 s): the menu music alone in the system
# mode, the music and the prompts in the recorded one.
read -r sys rec < <(/usr/bin/python3 - "$work/system.raw" "$work/recorded.raw" <<'PY'
import sys, numpy as np
def loudest(path):
    x = np.fromfile(path, dtype=np.float32).reshape(-1, 2)[3 * 48000:]
    n = len(x) // 4800
    blocks = x[: n * 4800].reshape(n, 4800, 2)
    rms = np.sqrt((blocks ** 2).mean(axis=(1, 2)))
    return 20 * np.log10(max(rms.max(), 1e-9))
print(f"{loudest(sys.argv[1]):.1f} {loudest(sys.argv[2]):.1f}")
PY
)
echo "loudest 100 ms after the opening: system $sys dBFS, recorded $rec dBFS"
awk -v s="$sys" -v r="$rec" 'BEGIN { exit !(s > -60 && s <= r - 6) }' ||
  fail "the recorded speech is not silent in the system mode (system $sys dBFS, recorded $rec dBFS)"
echo "ok: the recorded speech is silent in the mix, the music plays on"
