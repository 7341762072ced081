#!/usr/bin/env bash
# The real zorvan when something is wrong at start: no sound output, a profile that cannot be
# read, no profile at all. Each must be said in a box (closed with Enter) and in plain words on
# stderr, and end with the right status; a missing profile offers Configuration and the game
# starts once a profile is saved there.
# Usage: failure_messages.sh GAME_DIR WORK_DIR
set -euo pipefail
game=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/access_lib.sh"
setup_game
start_xvfb

# 1. No sound output: a driver that cannot open here (no OSS device in a container or on CI).
SDL_AUDIODRIVER=dsp start_zorvan
await_focus 'Zorvan! no sound'
# A player whose box is not read learns it from the terminal while the box is still open.
grep -q 'no sound output could be opened' "$work/zorvan.out" || fail "nothing on stderr while the box is open"
xdotool key Return
finished
[[ $status -ne 0 ]] || fail "no sound, yet status 0"
grep -q 'no sound output could be opened (SDL says: [^)]*dsp[^)]*)' "$work/zorvan.out" ||
  fail "no plain-words line with SDL's reason"
[[ $(grep -c 'no sound output could be opened' "$work/zorvan.out") -eq 1 ]] || fail "the line is printed more than once"
grep -q 'sound server.*output device.*SDL_AUDIODRIVER (now "dsp")' "$work/zorvan.out" ||
  fail "the line does not say what to check"
echo "ok: no sound output: box, reason and what to check, status $status"

# 1b. A driver that starts but whose device cannot open (an ALSA card that is never there).
SDL_AUDIODRIVER=alsa AUDIODEV=hw:99 start_zorvan
await_focus 'Zorvan! no sound'
xdotool key Return
finished
[[ $status -ne 0 ]] || fail "no sound device, yet status 0"
grep -q 'no sound output could be opened (SDL says: ALSA: .*; audio driver alsa)' "$work/zorvan.out" ||
  fail "no plain-words line with SDL's reason for the device"
echo "ok: no sound device: box, reason, status $status"

# 2. A profile that cannot be read (a folder in its place: root reads any file).
folder_in_place config.dat
start_zorvan
await_focus 'Zorvan! fatal error!'
xdotool key Return
finished
[[ $status -eq 1 ]] || fail "unreadable profile: status $status"
grep -q 'config.dat cannot be read: it is a folder, not a file' "$work/zorvan.out" ||
  fail "the unreadable profile is not named with its reason"
grep -q 'run Configuration first' "$work/zorvan.out" && fail "an unreadable profile taken for a missing one"
echo "ok: unreadable config.dat named with its reason, status 1"

# 2b. A profile only its owner may read, and the game run by another user (nobody).
if [[ $(id -u) -eq 0 ]] && command -v runuser >/dev/null; then
  other=$(mktemp -d /tmp/zorvan-nobody-XXXXXX)
  chmod 755 "$other"
  cp -r "$work/game" "$other/game"
  rm -rf "$other/game/config.dat"
  mkdir -p "$other/home/config" "$other/home/data/zorvan"
  printf 'Ada Lovelace\r\nnun\r\nGB\r\n' >"$other/game/config.dat"
  cp "$other/game/config.dat" "$other/home/data/zorvan/config.dat"
  chown -R nobody "$other/home"
  chown root "$other/game/config.dat" "$other/home/data/zorvan/config.dat"
  chmod 600 "$other/game/config.dat" "$other/home/data/zorvan/config.dat"
  runuser -u nobody -- env XDG_CONFIG_HOME="$other/home/config" XDG_DATA_HOME="$other/home/data" \
    SDL_DISKAUDIOFILE="$other/home/sound.raw" "$other/game/zorvan" >"$work/zorvan.out" 2>&1 &
  app_pid=$!
  await_focus 'Zorvan! fatal error!'
  xdotool key Return
  finished
  rm -rf "$other"
  [[ $status -eq 1 ]] || fail "profile not readable by the player: status $status"
  grep -q 'config.dat cannot be read: Permission denied' "$work/zorvan.out" ||
    fail "the profile nobody may read is not named with its reason"
  echo "ok: config.dat the player may not read named with its reason, status 1"
fi

# 3. No profile, and the player declines to open Configuration: the old end, status 1.
put_data config.dat '0\r\n0\r\n0\r\n'
start_zorvan
await_focus 'Zorvan! no player profile'
xdotool key Escape
finished
[[ $status -eq 1 ]] || fail "declined: status $status"
grep -q 'no player profile: run Configuration first' "$work/zorvan.out" || fail "declined: no stderr line"
echo "ok: no profile, Configuration declined: status 1"

# 4. No profile, Configuration opened from the box: once the profile is saved the game starts,
#    and Escape in its main menu ends it normally.
start_zorvan
await_focus 'Zorvan! no player profile'
xdotool key Return
await_focus welcome
xdotool key Return
await_focus Configuration
xdotool type --delay 30 'Ada'
xdotool key Tab
xdotool type --delay 30 'Lovelace'
xdotool key Tab
xdotool type --delay 30 'ada@example.org'
xdotool key Tab
xdotool type --delay 30 'GB'
xdotool key alt+s
await_focus 'Zorvan configuration'
xdotool key Return
window=$(await_window 'Zorvan!')
xdotool windowfocus --sync "$window"
sleep 1; xdotool key --window "$window" space
sleep 1; xdotool key --window "$window" space
sleep 2
kill -0 "$app_pid" 2>/dev/null || fail "the game did not start again after the profile was saved"
leave_game "$window"
[[ $status -eq 0 ]] || fail "after Configuration: status $status"
echo "ok: no profile, Configuration saved one, the game started and ended normally"

# 5. Without the accessible box program the game falls back to SDL's own box (drawn with the X
#    server's core fonts), still modal: Enter closes it and the game ends.
rm "$work/game/zorvan-message"
put_data keys.dat 'garbage\r\n'
start_zorvan
box=
for _ in $(seq 150); do
  box=$(xwininfo -root -tree | awk '$2 == "\"error!\":" {print $1}')
  [[ -n $box ]] && break
  kill -0 "$app_pid" 2>/dev/null || fail "zorvan ended without SDL's box"
  sleep 0.2
done
[[ -n $box ]] || fail "no SDL box \"error!\""
xdotool windowfocus --sync "$box"
sleep 0.3
xdotool key Return
finished
[[ $status -eq 1 ]] || fail "fallback box: status $status"
grep -q 'error!: the keys.dat file was tampered with' "$work/zorvan.out" || fail "fallback box: no stderr line"
echo "ok: without zorvan-message, SDL's box; Enter closes it, status 1"
