#!/usr/bin/env bash
# The real Configuration program in a real X server: xdotool types a profile as a player would
# and saves it with Alt+S; config.dat must then hold it. A second run leaves with Alt+E.
# Usage: e2e.sh PATH/TO/Configuration
set -euo pipefail
program=$1
work=$(mktemp -d)
xvfb_pid=
app_pid=

cleanup() {
  [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null || true
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  [[ -s $work/app.log ]] && { echo "--- program output:" >&2; cat "$work/app.log" >&2; }
  [[ -s $work/xvfb.log ]] && { echo "--- Xvfb output:" >&2; cat "$work/xvfb.log" >&2; }
  exit 1
}

source "$(dirname "$0")/../e2e/xvfb.sh"
start_xvfb
export QT_QPA_PLATFORM=xcb

# The program runs from a folder of its own and writes to the player's data folder.
mkdir "$work/game"
cp "$program" "$work/game/Configuration"
export XDG_DATA_HOME="$work/data"
profile="$XDG_DATA_HOME/zorvan/config.dat"

start() {
  rm -f "$profile"
  "$work/game/Configuration" >"$work/app.log" 2>&1 &
  app_pid=$!
}

# Waits until the window that has the keyboard is titled exactly $1. No window manager runs
# here, so this also checks that the program itself hands the keyboard to each new window and
# back to the form when a message box closes.
await_focus() {
  local name=
  for _ in $(seq 100); do
    name=$(xdotool getwindowfocus getwindowname 2>/dev/null || true)
    [[ $name == "$1" ]] && { sleep 0.2; return 0; }
    kill -0 "$app_pid" 2>/dev/null || fail "the program ended while waiting for \"$1\""
    sleep 0.1
  done
  fail "the keyboard is in \"$name\", not in \"$1\""
}

# Waits for the program to end by itself and checks that it ended well.
finished() {
  for _ in $(seq 100); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$app_pid" 2>/dev/null && fail "the program did not end"
  local status=0
  wait "$app_pid" || status=$?
  app_pid=
  [[ $status -eq 0 ]] || fail "the program ended with status $status"
}

# 1. Save with only the first name is refused while the country list has the focus; the
#    focus then goes to the last name, where the player goes on typing.
start
await_focus welcome
xdotool key Return
await_focus Configuration
xdotool type --delay 30 'John'
xdotool key Tab Tab Tab
xdotool key alt+s
await_focus 'Error!'
xdotool key Return
await_focus Configuration
xdotool type --delay 30 'Smith'
xdotool key Tab
xdotool type --delay 30 'john.smith@example.org'
xdotool key Tab
xdotool type --delay 30 'GB'
xdotool key alt+s
await_focus 'Zorvan configuration'
xdotool key Return
finished
printf 'John Smith\r\njohn.smith@example.org\r\nGB\r\n' | cmp - "$profile" ||
  fail "config.dat: $(od -c "$profile" 2>&1)"
echo "ok: a profile typed and saved with Alt+S"

# 2. Exit saves nothing, even after typing.
start
await_focus welcome
xdotool key space
await_focus Configuration
xdotool type --delay 30 'Jane'
xdotool key alt+e
await_focus 'Zorvan configuration'
xdotool key space
finished
[[ ! -e $profile ]] || fail "Exit wrote config.dat"
[[ ! -e $work/game/config.dat ]] || fail "Configuration wrote into its program folder"
echo "ok: Exit saves nothing"
echo "2 passed, 0 failed"
