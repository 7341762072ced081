#!/usr/bin/env bash
# Configuration.exe under wine, driven by keys alone as a player would: every refusal of Save
# comes in its order with its title and text and hands the keyboard to the field named, Tab
# walks the form in order, and Save writes config.dat in %APPDATA%\Zorvan, names outside ASCII
# included. Usage: configuration.sh PATH/TO/Configuration.exe
set -euo pipefail
program=$1
work=$(mktemp -d)
xvfb_pid=
app_pid=
here=$(dirname "$0")


fail() {
  echo "FAIL: $*" >&2
  [[ -s $work/app.log ]] && { echo "--- program output:" >&2; tail -20 "$work/app.log" >&2; }
  exit 1
}

source "$here/../e2e/xvfb.sh"
source "$here/wine.sh"
trap end_test EXIT
start_xvfb
python3 "$here/keymap.py" ë || fail "no key for ë"
start_wine

game="$WINEPREFIX/drive_c/Program Files/Zorvan"
mkdir -p "$game"
cp "$program" "$game/Configuration.exe"
profile="$(windows_folder APPDATA)/Zorvan/config.dat"
[[ $profile == /* ]] || fail "no APPDATA folder in the prefix"

# Wine's trace of each message box names its text; the title is the window's.
start() {
  : >"$work/app.log"
  WINEDEBUG=-all,+msgbox wine "$game/Configuration.exe" >"$work/app.log" 2>&1 &
  app_pid=$!
  boxes=0
}

# expect_box TITLE TEXT: the next message box, which Return then closes.
expect_box() {
  boxes=$((boxes + 1))
  local shown=
  for _ in $(seq 150); do
    shown=$(grep -a MSGBOX_OnInit "$work/app.log" | sed -n "${boxes}p" || true)
    [[ -n $shown ]] && break
    kill -0 "$app_pid" 2>/dev/null || fail "the program ended before the box \"$1\""
    sleep 0.1
  done
  [[ -n $shown ]] || fail "no box came (expected \"$1\": \"$2\")"
  shown=$(sed 's/.*MSGBOX_OnInit L"\(.*\)"\r\?$/\1/' <<<"$shown")
  [[ $shown == "$2" ]] || fail "the box says \"$shown\", not \"$2\""
  await_window "$1" >/dev/null || fail "the box saying \"$2\" is not titled \"$1\""
  xdotool key Return
}

form() { await_window Configuration >/dev/null || fail "the form did not come back"; }

welcome="on the next screen you will be asked to enter some information that will be used by the game ,feelds marked with an asterisc are required , other feelds are optional."

# 1. The four refusals in their order, each leaving the keyboard where the player goes on.
start
expect_box welcome "$welcome"
form
xdotool key alt+s
expect_box 'Error!' 'please fill in the required feelds'
form
xdotool type --delay 40 'Jo'  # back in the first name
xdotool key alt+s
expect_box 'Error!' 'you did not type your last name!'
form
xdotool type --delay 40 'Smith'  # in the last name
xdotool key alt+f BackSpace  # the first name, all of it selected
xdotool key alt+s
expect_box 'Error!' 'you did not type your first name!'
form
xdotool type --delay 40 'Ann'
xdotool key alt+s
expect_box 'error!' 'please select a country!'
form
xdotool key Down Down Down  # in the country list: the third entry
xdotool key alt+s
expect_box 'Zorvan configuration' 'congratulations ! your data was successfully saved!'
await_exit
printf 'Ann Smith\r\nnun\r\nAF\r\n' | cmp - "$profile" || fail "config.dat: $(od -c "$profile" 2>&1)"
echo "ok: four refusals in order, then a profile saved with Alt+S"

# 2. Tab walks the fields in order and Space on Save saves; a comma is refused before it
#    can split a value, and an e-mail is written as typed over the older profile.
start
expect_box welcome "$welcome"
form
xdotool type --delay 40 'Zoë'
xdotool key Tab
xdotool type --delay 40 'Lee, Jr'
xdotool key Tab
xdotool type --delay 40 'ann@example.org'
xdotool key Tab Down Down  # the second entry
xdotool key Tab space
expect_box 'Error!' 'commas and double quotes cannot be saved, please remove them from this field!'
form
xdotool key End BackSpace BackSpace BackSpace BackSpace  # the last name loses its ", Jr"
xdotool key Tab Tab Tab space
expect_box 'Zorvan configuration' 'congratulations ! your data was successfully saved!'
await_exit
printf 'Zo\xc3\xab Lee\r\nann@example.org\r\nUS\r\n' | cmp - "$profile" || fail "config.dat: $(od -c "$profile" 2>&1)"
echo "ok: Tab order, a name outside ASCII, a comma refused, an e-mail kept as typed"

# 3. Exit saves nothing, even after typing: the older profile stays as it was.
cp "$profile" "$work/before"
start
expect_box welcome "$welcome"
form
xdotool type --delay 40 'Someone'
xdotool key Tab
xdotool type --delay 40 'Else'
xdotool key alt+e
expect_box 'Zorvan configuration' 'your data was not saved'
await_exit
cmp "$work/before" "$profile" || fail "Exit changed config.dat"
[[ ! -e $game/config.dat ]] || fail "Configuration wrote into its program folder"
echo "ok: Exit saves nothing"

# 4. Each label's mnemonic reaches its own field, which a screen reader also names after it.
start
expect_box welcome "$welcome"
form
xdotool key alt+l
xdotool type --delay 40 'Doe'
xdotool key alt+a
xdotool type --delay 40 'jan@example.org'
xdotool key alt+c Down
xdotool key alt+f
xdotool type --delay 40 'Jan'
xdotool key alt+s
expect_box 'Zorvan configuration' 'congratulations ! your data was successfully saved!'
await_exit
printf 'Jan Doe\r\njan@example.org\r\nCA\r\n' | cmp - "$profile" || fail "config.dat: $(od -c "$profile" 2>&1)"
echo "ok: the labels' mnemonics lead to their fields"
echo "4 passed, 0 failed"
