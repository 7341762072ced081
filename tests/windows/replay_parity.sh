#!/usr/bin/env bash
# Replays across systems: zorvan.exe in a real window under wine (Xvfb, WASAPI into a
# PulseAudio null sink), driven by xdotool through whole games with keys at random moments
# (during prompts, waits and a pause) and the exit question, writes its event log with --log
# and its replay in its data folder; the Linux zorvan-sim --replay of that replay gives the
# identical event log and the same data files and settings. The first run submits a pending
# score to a Linux zorvan-scores, which replays it with the Linux game up to the submission
# and finds the score pending from before the run.
#   replay_parity.sh WINDOWS_GAME LINUX_SIM LINUX_GAME ZORVAN_SCORES WORK [RUNS]
# RUNS: "seed:car:difficulty ..."
set -euo pipefail
wgame=$1 sim=$2 game=$3 scores=$4 work=$5
runs=${6:-"11:1:1 23:2:3 37:3:2"}
source "$(dirname "$0")/wine_lib.sh"

server_pid=
stop_server() { [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null || true; server_pid=; }
trap 'stop_server; cleanup' EXIT

root=$work
rm -rf "$root"
mkdir -p "$root/setup"
work=$root/setup
start_xvfb
start_pulse

# key NAME: one press to the game's window.
key() { xdotool key --window "$window" "$1" 2>/dev/null || true; }
# pause MIN MAX: a random wait, in ms, from MIN to MAX.
pause() { sleep "$(awk -v ms=$(( $1 + RANDOM % ($2 - $1 + 1) )) 'BEGIN { printf "%.3f", ms / 1000 }')"; }
# Keys of a race and of its pauses, by their xdotool names; P pauses and resumes.
race_keys=(Up Up Up Left Right Left Right Down Control_L Shift_L Tab l i p Return Prior Next h Up Left Right)

# heard PATTERN: how many times the real game's log says it played PATTERN so far (the log is
# written as the game goes, so the test follows what the player would hear).
heard() { grep -c "play sounds/$1" "$work/real.log" || true; }
# await_sound PATTERN COUNT [SECONDS]: within SECONDS (4) the game plays PATTERN more than
# COUNT times.
await_sound() {
  for _ in $(seq $(( ${3:-4} * 10 ))); do (( $(heard "$1") > $2 )) && return 0; sleep 0.1; done
  return 1
}

# Escape in a race asks whether to leave it (not while paused); Enter says yes.
leave_race() {
  for _ in $(seq 8); do
    # The race may have ended by itself (no lifes left): the menu's music is back.
    local music=$(grep -n 'play sounds/menu/music.wav' "$work/real.log" | tail -n 1 | cut -d: -f1)
    local engine=$(grep -n 'play sounds/car/' "$work/real.log" | tail -n 1 | cut -d: -f1)
    (( ${music:-0} > ${engine:-0} )) && return 0
    if [[ $(grep -o 'play sounds/tetriss/p\(In\|Out\)' "$work/real.log" | tail -n 1) == *pIn ]]; then
      key p; pause 300 800
    fi
    local asked=$(heard speech/exitPrompt)
    key Escape
    if await_sound speech/exitPrompt "$asked"; then
      pause 100 900; key Return        # at a random moment of the question
      return 0
    fi
  done
  fail "the race never asked whether to leave it"
}

play_one() {
  local seed=$1 car=$2 difficulty=$3 submit=$4
  RANDOM=$seed
  work=$root/run$seed
  mkdir -p "$work"
  local win="$work/Zoë's games/zorvan"
  portable_game "$wgame" "$win"
  data=$win/data
  local settings=$data/settings
  mkdir -p "$settings"
  printf 'Zoë Lovelace\r\nnun\r\nGB\r\n' >"$data/config.dat"
  if [[ $submit == yes ]]; then
    "$scores" --db "$work/scores.db" --port 0 --quiet --game "$game" >"$work/server.out" 2>&1 &
    server_pid=$!
    for _ in $(seq 100); do grep -q 'listening on' "$work/server.out" 2>/dev/null && break; sleep 0.1; done
    port=$(sed -n 's/.*listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/server.out" | head -n 1)
    [[ -n $port ]] || fail "the score server did not start: $(cat "$work/server.out")"
    printf '[zorvan]\r\nscoreserver=http://127.0.0.1:%s\r\n' "$port" > "$settings/Kestrine.ini"
    # A pending score of 1500 points on "easy" with its check values, for main menu entry 3.
    printf '[installation]\r\nrgsv=15009\r\nrgsv2=1\r\n[settings]\r\ngameLev=4\r\n[keyboard]\r\nidentify=50000\r\n' \
      > "$settings/zorvan.ini"
    printf '[settings]\r\nsetupInfo=4147\r\n' > "$settings/w32csp.ini"
  else
    # Nothing listens here: the game's requests fail at once, and that is replayed too.
    printf '[zorvan]\r\nscoreserver=http://127.0.0.1:9\r\n' > "$settings/Kestrine.ini"
  fi

  start_game "$win" --log "$(winpath "$work/real.log")"
  window=$(focus 'Zorvan!')
  # The game has started when its first sound is in the log.
  for _ in $(seq 300); do grep -q ' play ' "$work/real.log" 2>/dev/null && break; sleep 0.1; done

  pause 200 1500; key space            # the logo, at a random moment of it
  pause 300 2500; key space            # the introduction
  if [[ $submit == yes ]]; then
    pause 300 1000; key Down; pause 150 500; key Down; pause 150 500
    local music=$(heard menu/music.wav)
    key Return                         # main menu entry 3: the pending score to the server
    # The outcome and the table are said, then the menu's music comes back.
    await_sound menu/music.wav "$music" 30 || fail "run $seed: the main menu did not come back after the submission"
    pause 300 1000; key Home
  fi
  pause 300 1500; key Return           # a new game (the prompt stands for entry 1)
  pause 300 1200
  for _ in $(seq 2 "$car"); do key Down; pause 150 600; done
  key Return                           # the car
  pause 300 1200
  for _ in $(seq 2 "$difficulty"); do key Down; pause 150 600; done
  key Return                           # the difficulty
  pause 1500 3000
  key Up                               # the car starts
  local until=$(( SECONDS + 14 + RANDOM % 8 ))
  while (( SECONDS < until )); do
    pause 40 700
    key "${race_keys[RANDOM % ${#race_keys[@]}]}"
  done
  leave_race
  pause 2000 3500
  # Leave from the main menu, cutting the farewell short; whatever the game was still saying
  # ends first.
  for _ in $(seq 20); do
    kill -0 "$app_pid" 2>/dev/null || break
    key Escape; pause 600 1200; key Return; pause 400 800
  done
  finished 90
  if [[ $submit == yes ]]; then
    # The replay the game sent with the score is played by the server with the Linux game, up
    # to the submission. Keys at random moments of a real window cannot earn the 1000 points a
    # submission needs, so the score here was pending before the run, which the server finds
    # only once it has followed the whole Windows replay to the submission: that rejection is
    # the one verdict that shows it did. A Windows score earned in play and verified is
    # windows_verify's (verify.sh).
    for _ in $(seq 600); do grep -q 'points: \(verified\|rejected\)' "$work/server.out" && break; sleep 0.1; done
    grep -q "points: rejected: the score was already pending when the replayed run began" "$work/server.out" ||
      fail "run $seed: the server could not follow the Windows player's replay: $(grep -i verif "$work/server.out" | tail -n 3)"
  fi
  stop_server
  [[ $status -eq 0 ]] || fail "run $seed: zorvan ended with status $status"

  local replays=("$data"/replays/*)
  [[ ${#replays[@]} -eq 1 && -s ${replays[0]} ]] || fail "run $seed: no replay in $data/replays"
  # The runner plays it with the user's settings out of reach.
  mkdir -p "$work/untouched"
  XDG_CONFIG_HOME=$work/untouched "$sim" --folder "$game" --replay "${replays[0]}" --data "$work/again" \
    --log "$work/sim.log" 2>"$work/sim.err" || fail "run $seed: zorvan-sim --replay failed: $(cat "$work/sim.err")"
  if ! cmp -s "$work/real.log" "$work/sim.log"; then
    diff "$work/real.log" "$work/sim.log" | head -n 20 >&2
    fail "run $seed: the replayed event log differs from the real game's"
  fi
  for f in config.dat keys.dat ls.dat stats.txt savegame.dat; do
    if [[ -e $data/$f || -e $work/again/$f ]]; then
      cmp -s "$data/$f" "$work/again/$f" || fail "run $seed: $f differs after the replay"
    fi
  done
  for app in zorvan w32csp Kestrine; do
    if [[ -e $settings/$app.ini || -e $work/again/settings/$app.ini ]]; then
      cmp -s "$settings/$app.ini" "$work/again/settings/$app.ini" ||
        fail "run $seed: the settings of $app differ after the replay"
    fi
  done
  grep -q ' key ' "$work/real.log" || fail "run $seed: the game took no key"
  grep -q 'play sounds/car/' "$work/real.log" || fail "run $seed: no race was played"
  if [[ $submit == yes ]]; then
    grep -q '^[0-9]* http [0-9]* ok 200 ' "${replays[0]}" || fail "run $seed: no reply of the score server was recorded"
  fi
  echo "run $seed (car $car, difficulty $difficulty): $(wc -l <"$work/real.log") log lines," \
       "$(grep -c ' key ' "$work/real.log") keys, $(grep -c '^[0-9]* wake ' "${replays[0]}" || true) late wake-ups: identical"
}

first=yes
for run in $runs; do
  IFS=: read -r seed car difficulty <<<"$run"
  submit=no
  [[ $first == yes && -n $scores ]] && submit=yes
  first=no
  play_one "$seed" "$car" "$difficulty" "$submit"
done
