#!/usr/bin/env bash
# zorvan in a real window submits a pending score to a server that never answers; SIGTERM
# (which takes the way of closing the window) arrives while the request is under way. The
# game must end with status 0 without waiting for the request's 10 s time-out.
set -euo pipefail
game=$1 silent=$2 work=$3
rm -rf "$work"
mkdir -p "$work/config"
cp -r "$game" "$work/game"
printf 'Ada Lovelace\r\nnun\r\nGB\r\n' > "$work/game/config.dat"

source "$(dirname "$0")/xvfb.sh"
xvfb_pid=
"$silent" > "$work/server.out" &
server=$!
trap 'kill $xvfb_pid $server 2>/dev/null || true; [[ -n ${game_pid:-} ]] && kill $game_pid 2>/dev/null || true' EXIT
start_xvfb
for _ in $(seq 100); do [[ -s $work/server.out ]] && break; sleep 0.1; done
port=$(head -n 1 "$work/server.out")

# A pending score of 1500 points on "easy" with its check values, and the server's address.
printf '[zorvan]\nscoreserver=http://127.0.0.1:%s\n' "$port" > "$work/config/Kestrine.ini"
printf '[installation]\nrgsv=15009\nrgsv2=1\n[settings]\ngameLev=4\n[keyboard]\nidentify=50000\n' > "$work/config/zorvan.ini"
printf '[settings]\nsetupInfo=4147\n' > "$work/config/w32csp.ini"

export XDG_CONFIG_HOME="$work/config"
export SDL_AUDIODRIVER=disk
export SDL_DISKAUDIOFILE="$work/sound.raw"
"$work/game/zorvan" >"$work/zorvan.out" 2>&1 &
game_pid=$!
window=$(timeout 30 xdotool search --sync --name '^Zorvan!$' | head -n 1)
[[ -n $window ]] || { echo "the window 'Zorvan!' never appeared"; cat "$work/zorvan.out"; exit 1; }
xdotool windowfocus --sync "$window"
sleep 1; xdotool key --window "$window" space
sleep 1; xdotool key --window "$window" space
sleep 2
xdotool key --window "$window" Down; sleep 0.3
xdotool key --window "$window" Down; sleep 0.3
xdotool key --window "$window" Return  # main menu entry 3: the submission
for _ in $(seq 100); do grep -q '^connection 2' "$work/server.out" && break; sleep 0.05; done
grep -q '^connection 2' "$work/server.out" || { echo "the submission never reached the server"; cat "$work/server.out"; exit 1; }
sleep 0.5  # well inside the request

start=$(date +%s%N)
kill -TERM $game_pid
for _ in $(seq 1000); do kill -0 $game_pid 2>/dev/null || break; sleep 0.01; done
took=$(( ($(date +%s%N) - start) / 1000000 ))
set +e; wait $game_pid; status=$?; set -e
game_pid=""
echo "the game ended ${took} ms after SIGTERM, mid-request, with status $status"
[[ $status -eq 0 ]] || { echo "zorvan ended with status $status"; cat "$work/zorvan.out"; exit 1; }
# The request itself may take 10 s: ending long before that means it was not waited for.
[[ $took -lt 5000 ]] || { echo "the game waited for the server"; exit 1; }
