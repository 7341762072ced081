#!/usr/bin/env bash
# zorvan.exe's boxes under wine, found by their titles: a damaged keys.dat shows "error!",
# Return dismisses it and the game ends with status 1; with no profile the Yes/No offer opens
# Configuration.exe (here a stand-in that saves a profile), after which the game starts again
# and ends normally.
#   boxes.sh WINDOWS_GAME STAND_IN_CONFIGURATION WORK
set -euo pipefail
wgame=$1 configuration=$2 work=$3
source "$(dirname "$0")/wine_lib.sh"
rm -rf "$work"
mkdir -p "$work"
start_xvfb
start_pulse
win="$work/Zoë's game/zorvan"
portable_game "$wgame" "$win"
mkdir -p "$win/data"

# 1. A damaged keys.dat.
printf 'Ada Lovelace\r\nnun\r\nGB\r\n' >"$win/data/config.dat"
printf 'garbage\r\n' >"$win/data/keys.dat"
start_game "$win" --log "$(winpath "$work/keys.log")"
focus 'error!' >/dev/null
xdotool key Return
finished
[[ $status -eq 1 ]] || fail "damaged keys.dat: status $status"
grep -q 'msgbox "error!" "the keys.dat file was tampered with' "$work/keys.log" ||
  fail "damaged keys.dat: the box is not in the log: $(grep msgbox "$work/keys.log")"
echo "ok: damaged keys.dat: the box \"error!\", Return, status 1"

# 2. No profile: Yes opens Configuration.exe, which saves one; the game starts again.
rm -rf "$win/data"
mkdir -p "$win/data"
printf '0\r\n0\r\n0\r\n' >"$win/data/config.dat"
cp "$configuration" "$win/Configuration.exe"
start_game "$win" --log "$(winpath "$work/profile.log")"
focus 'Zorvan! no player profile' >/dev/null
xdotool key Return
for _ in $(seq 600); do
  grep -q 'play sounds/' "$work/profile.log" 2>/dev/null && [[ -s $win/data/configuration-ran ]] && break
  kill -0 "$app_pid" 2>/dev/null || fail "no profile: the game ended instead of starting again"
  sleep 0.1
done
[[ -s $win/data/configuration-ran ]] || fail "no profile: Configuration.exe did not run"
grep -q 'Ada Lovelace' "$win/data/config.dat" || fail "no profile: no profile was saved"
window=$(focus 'Zorvan!')
sleep 2
for _ in $(seq 20); do
  kill -0 "$app_pid" 2>/dev/null || break
  xdotool key --window "$window" Escape 2>/dev/null || true
  sleep 1.5
  xdotool key --window "$window" Return 2>/dev/null || true
  sleep 0.5
done
finished
[[ $status -eq 0 ]] || fail "after Configuration: status $status"
echo "ok: no profile: Configuration.exe opened from the box, the game started again and ended normally"
