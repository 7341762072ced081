#!/usr/bin/env bash
# zorvan.exe's boxes under wine, found by their titles: a damaged keys.dat shows "error!",
# Return dismisses it and the game ends with status 1; with no profile the Yes/No offer opens
# the game folder's Configuration.exe, filled in by keys, after which the game starts with
# the new profile and ends normally.
#   boxes.sh WINDOWS_GAME WORK
set -euo pipefail
wgame=$1 work=$2
source "$(dirname "$0")/wine_lib.sh"
rm -rf "$work"
mkdir -p "$work"
start_xvfb
start_pulse
# The test before this one may leave the prefix's wineserver going down; a window asked for
# meanwhile was once refused ("Couldn't create window"). Start on a settled prefix.
wineserver -w 2>/dev/null || true
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

# 2. No profile: Yes opens the real Configuration.exe of the game folder, filled in by keys and
#    saved with Alt+S; the game then starts with that profile and speaks its main menu.
rm -rf "$win/data"
mkdir -p "$win/data"
printf '0\r\n0\r\n0\r\n' >"$win/data/config.dat"
[[ -f $win/Configuration.exe ]] || fail "no Configuration.exe in the game folder"
start_game "$win" --log "$(winpath "$work/profile.log")"
focus 'Zorvan! no player profile' >/dev/null
xdotool key Return
focus welcome >/dev/null
xdotool key Return
focus Configuration >/dev/null
xdotool key alt+f
xdotool type --delay 40 'Ada'
xdotool key alt+l
xdotool type --delay 40 'Lovelace'
xdotool key alt+c Down Down Down  # the third entry
xdotool key alt+s
focus 'Zorvan configuration' >/dev/null
xdotool key Return
for _ in $(seq 600); do
  grep -q 'play sounds/menu/m_p.wav' "$work/profile.log" 2>/dev/null && break
  kill -0 "$app_pid" 2>/dev/null || fail "no profile: the game ended instead of starting with the profile"
  sleep 0.1
done
grep -q 'play sounds/menu/m_p.wav' "$work/profile.log" || fail "no profile: the main menu never spoke"
printf 'Ada Lovelace\r\nnun\r\nAF\r\n' | cmp -s - "$win/data/config.dat" ||
  fail "no profile: config.dat holds $(od -c "$win/data/config.dat" | head -n 3)"
window=$(focus 'Zorvan!')
for _ in $(seq 20); do
  kill -0 "$app_pid" 2>/dev/null || break
  xdotool key --window "$window" Escape 2>/dev/null || true
  sleep 1.5
  xdotool key --window "$window" Return 2>/dev/null || true
  sleep 0.5
done
finished
[[ $status -eq 0 ]] || fail "after Configuration: status $status"
echo "ok: no profile: Configuration.exe opened from the box, filled in by keys, and the game started with it"
