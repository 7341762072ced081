#!/usr/bin/env bash
# The game window shows what is said: the window's pixels change when a menu entry is spoken,
# the text is dark on light, it is redrawn at a new size, and during a race a status line
# appears at the bottom. The window dumps are kept as PNG files in WORK_DIR to look at.
# Usage: captions_window.sh GAME_DIR WORK_DIR
set -euo pipefail
game=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/access_lib.sh"
setup_game
start_xvfb
start_zorvan
window=$(await_window 'Zorvan!')
xdotool windowfocus --sync "$window"

# shot NAME [--band TOP BOTTOM]: dumps the window; prints width height light dark digest.
shot() {
  local name=$1
  shift
  xwd -silent -id "$window" >"$work/$name.xwd" || fail "cannot dump the window"
  /usr/bin/python3 "$here/window_pixels.py" "$work/$name.xwd" --png "$work/$name.png" "$@"
}

sleep 1; xdotool key --window "$window" space
sleep 1; xdotool key --window "$window" space
sleep 3  # the main menu's prompt
read -r _ _ light dark menu < <(shot menu)
awk -v l="$light" -v d="$dark" 'BEGIN { exit !(l > 0.80 && d > 0.005) }' ||
  fail "not dark text on a light window: light $light, dark $dark"
read -r _ _ _ bottom _ < <(shot menu --band 0.8 1.0)
xdotool key --window "$window" Down
sleep 1.5
read -r _ _ _ _ entry < <(shot entry)
[[ $entry != "$menu" ]] || fail "the window did not change when a menu entry was spoken"
echo "ok: the window changes when a menu entry is spoken (light $light, dark $dark)"
# Drawn in software on the window's own surface: no GL stack is loaded for it.
if grep -E 'lib(GL|EGL|GLX)[^/]*\.so' "/proc/$app_pid/maps" >"$work/gl.txt"; then
  fail "GL libraries are loaded: $(awk '{print $6}' "$work/gl.txt" | sort -u | tr '\n' ' ')"
fi

# xwd keeps to the screen (1024x768): the window goes to its corner first.
xdotool windowmove --sync "$window" 0 0 || true
xdotool windowsize --sync "$window" 1000 560 || true
sleep 1
read -r width height light dark _ < <(shot large)
[[ $width -eq 1000 && $height -eq 560 ]] || fail "the window was not resized: ${width}x$height"
awk -v l="$light" -v d="$dark" 'BEGIN { exit !(l > 0.80 && d > 0.005) }' ||
  fail "the resized window is not drawn: light $light, dark $dark"
echo "ok: redrawn at 1000x560"

# A race: New game, the first car, the first difficulty.
xdotool key --window "$window" Up
sleep 1.5; xdotool key --window "$window" Return
sleep 2.5; xdotool key --window "$window" Return
sleep 2.5; xdotool key --window "$window" Return
sleep 3
read -r _ _ _ race_bottom _ < <(shot race --band 0.8 1.0)
awk -v m="$bottom" -v r="$race_bottom" 'BEGIN { exit !(m < 0.001 && r > 0.005) }' ||
  fail "no race status at the bottom of the window (menu $bottom, race $race_bottom)"
echo "ok: the race status is shown at the bottom"

xdotool key --window "$window" Escape
sleep 1; xdotool key --window "$window" Return
sleep 2
leave_game "$window"
[[ $status -eq 0 ]] || fail "zorvan ended with status $status"
echo "ok: zorvan ended normally"
