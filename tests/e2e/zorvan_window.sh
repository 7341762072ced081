#!/usr/bin/env bash
# Starts zorvan in a copy of the game folder under its own Xvfb, waits for its window, skips
# the opening sounds, leaves from the main menu with Escape, and checks the exit status and
# that the sound it made is not silence. Then starts it again and ends it with SIGTERM, which
# must take the same way out as closing the window: status 0 and the key map saved.
set -euo pipefail
game=$1
work=$2
rm -rf "$work"
mkdir -p "$work/config"
cp -r "$game" "$work/game"
# The player's files live in the data folder; the game seeds the rest of them.
export XDG_DATA_HOME="$work/data"
data="$XDG_DATA_HOME/zorvan"
mkdir -p "$data"
printf 'Ada Lovelace\r\nnun\r\nGB\r\n' > "$data/config.dat"

source "$(dirname "$0")/xvfb.sh"
xvfb_pid=
trap 'kill $xvfb_pid 2>/dev/null || true; [[ -n ${game_pid:-} ]] && kill $game_pid 2>/dev/null || true' EXIT
start_xvfb

export XDG_CONFIG_HOME="$work/config"
export SDL_AUDIODRIVER=disk
export SDL_DISKAUDIOFILE="$work/sound.raw"
"$work/game/zorvan" >"$work/zorvan.out" 2>&1 &
game_pid=$!

window=$(timeout 30 xdotool search --sync --name '^Zorvan!$' | head -n 1)
[[ -n $window ]] || { echo "the window 'Zorvan!' never appeared"; cat "$work/zorvan.out"; exit 1; }
xdotool windowfocus --sync "$window"

# Skip the logo and the introduction, give the main menu time to speak, then leave.
sleep 1; xdotool key --window "$window" space
sleep 1; xdotool key --window "$window" space
sleep 2
status=""
for _ in $(seq 30); do
  xdotool key --window "$window" Escape 2>/dev/null || true
  sleep 1
  xdotool key --window "$window" Return 2>/dev/null || true  # cuts the farewell short
  if ! kill -0 $game_pid 2>/dev/null; then
    set +e; wait $game_pid; status=$?; set -e
    break
  fi
done
game_pid=""
[[ -n $status ]] || { echo "zorvan did not end after Escape in the main menu"; exit 1; }
[[ $status -eq 0 ]] || { echo "zorvan ended with status $status"; cat "$work/zorvan.out"; exit 1; }

# SDL's disk driver writes the device's format: 32-bit float stereo at 48 kHz.
rms=$(sox -t raw -r 48000 -e floating-point -b 32 -c 2 "$work/sound.raw" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
echo "exit status 0; RMS amplitude of the recorded sound: $rms"
awk -v r="$rms" 'BEGIN { exit !(r > 0.001) }' || { echo "the recorded sound is silent"; exit 1; }

# Second run: SIGTERM in the main menu. keys.dat is given in a form the reader takes but the
# writer never makes, so the saved file shows that the key map was written on the way out.
printf '38\r\n37\r\n39\r\n40\r\n17\r\n16\r\n9\r\n76\r\n13\r\n73\r\n80\r\n' > "$data/keys.dat"
"$work/game/zorvan" >"$work/zorvan2.out" 2>&1 &
game_pid=$!
window=$(timeout 30 xdotool search --sync --name '^Zorvan!$' | head -n 1)
xdotool windowfocus --sync "$window"
sleep 1; xdotool key --window "$window" space
sleep 1; xdotool key --window "$window" space
sleep 2
kill -TERM $game_pid
set +e; timeout 20 tail --pid=$game_pid -f /dev/null; wait $game_pid; status=$?; set -e
game_pid=""
[[ $status -eq 0 ]] || { echo "zorvan ended with status $status after SIGTERM"; cat "$work/zorvan2.out"; exit 1; }
expected=$(printf ' 38 \r\n 37 \r\n 39 \r\n 40 \r\n 17 \r\n 16 \r\n 9 \r\n 76 \r\n 13 \r\n 73 \r\n 80 \r\n' | od -An -c)
actual=$(od -An -c "$data/keys.dat")
[[ "$expected" == "$actual" ]] || { echo "keys.dat was not saved on SIGTERM:"; od -c "$data/keys.dat"; exit 1; }
echo "SIGTERM: exit status 0, key map saved"
