#!/usr/bin/env bash
# The Windows packages as a player meets them, under wine with its own Xvfb and PulseAudio:
# the installer, run with /S in a fresh prefix, installs the game, its Start menu entries and
# its entry in Apps and Features; the installed game reaches its main menu and is heard; the
# silent uninstaller removes the programs and keeps the player's data. The portable zip,
# unpacked in a folder whose path has a blank and a letter outside ASCII, keeps its data in
# "data" beside the programs. Prints the sizes of both packages and the time of the install.
# Usage: packages.sh STAGE_DIR VERSION   (STAGE_DIR: the assembled Windows game folder)
set -euo pipefail
stage=$(cd "$1" && pwd)
version=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
xvfb_pid=
app_pid=


fail() {
  echo "FAIL: $*" >&2
  for log in app.log game.log; do
    [[ -s $work/$log ]] && { echo "--- $log:" >&2; tail -20 "$work/$log" >&2; }
  done
  exit 1
}

source "$here/../e2e/xvfb.sh"
source "$here/wine.sh"
source "$here/pulse.sh"
trap end_test EXIT
start_xvfb
python3 "$here/keymap.py" ë || fail "no key for ë"
start_pulse
start_wine

"$here/../../packaging/windows/make-packages.sh" "$stage" "$work/out" "$version" >/dev/null ||
  fail "make-packages.sh failed"
setup=$work/out/zorvan-$version-setup.exe
zip=$work/out/zorvan-$version-windows-portable.zip
echo "installer: $(stat -c %s "$setup") bytes; portable zip: $(stat -c %s "$zip") bytes"

# 1. A silent install into the fresh prefix.
started=$(date +%s%N)
wine "$setup" /S >"$work/app.log" 2>&1 || fail "the installer ended with status $?"
echo "silent install: $(( ($(date +%s%N) - started) / 1000000 )) ms"
program="$WINEPREFIX/drive_c/Program Files/Zorvan"
(cd "$stage" && find . -type f ! -path ./portable.txt ! -path './data/*' | LC_ALL=C sort) >"$work/staged"
(cd "$program" && find . -type f ! -path ./uninstall.exe | LC_ALL=C sort) >"$work/installed"
diff "$work/staged" "$work/installed" >&2 || fail "the installed files differ from the staged ones"
while IFS= read -r file; do
  cmp -s "$stage/$file" "$program/$file" || fail "$file was installed changed"
done <"$work/staged"
[[ -f $program/uninstall.exe ]] || fail "no uninstaller"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
for entry in "Zorvan" "Zorvan player profile"; do
  [[ -f $menu/$entry.lnk ]] || fail "no Start menu entry \"$entry\""
done
grep -a -q 'Configuration.exe' "$menu/Zorvan player profile.lnk" || fail "\"Zorvan player profile\" does not start Configuration.exe"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zorvan'
wine reg query "$key" 2>/dev/null | tr -d '\r' >"$work/uninstall-key"
expect_value() {
  grep -q -F -x "    $1    REG_SZ    $2" "$work/uninstall-key" || fail "Apps and Features: $1 is not \"$2\": $(cat "$work/uninstall-key")"
}
expect_value DisplayName 'Zorvan'
expect_value DisplayVersion "$version"
expect_value Publisher 'Zorvan developers'
expect_value UninstallString '"C:\Program Files\Zorvan\uninstall.exe"'
expect_value QuietUninstallString '"C:\Program Files\Zorvan\uninstall.exe" /S'
echo "ok: installed silently, with its Start menu entries and its entry in Apps and Features"

# 2. The installed game, with a profile in %APPDATA%\Zorvan, reaches its main menu and is heard.
data="$(windows_folder APPDATA)/Zorvan"
mkdir -p "$data"
printf 'Ada Lovelace\r\nnun\r\nGB\r\n' >"$data/config.dat"
started=$(date +%s%N)
wine "$program/zorvan.exe" --log 'C:\zorvan-run.log' >"$work/game.log" 2>&1 &
app_pid=$!
run_log="$WINEPREFIX/drive_c/zorvan-run.log"
window=$(await_window 'Zorvan!') || fail "the game's window never appeared"
# The logo and the introduction, skipped as a player does.
for _ in $(seq 40); do
  grep -q 'play sounds/menu/music.wav' "$run_log" 2>/dev/null && break
  xdotool key --window "$window" space 2>/dev/null || true
  sleep 0.5
done
grep -q 'play sounds/menu/music.wav' "$run_log" 2>/dev/null || fail "the installed game did not reach its main menu"
echo "installed game: main menu $(( ($(date +%s%N) - started) / 1000000 )) ms after its start"
pactl list short sink-inputs | grep -q . || fail "the game plays nothing into PulseAudio"
rms=$(record_rms 2)
awk -v r="$rms" 'BEGIN { exit !(r > 0.001) }' || fail "what PulseAudio gets from the game is silent (RMS $rms)"
echo "ok: the installed game reached its main menu and PulseAudio heard it (RMS $rms)"
for _ in $(seq 30); do
  xdotool key --window "$window" Escape 2>/dev/null || true
  sleep 1
  xdotool key --window "$window" Return 2>/dev/null || true  # cuts the farewell short
  kill -0 "$app_pid" 2>/dev/null || break
done
kill -0 "$app_pid" 2>/dev/null && fail "the game did not end after Escape in its main menu"
status=0
wait "$app_pid" || status=$?
app_pid=
[[ $status -eq 0 ]] || fail "the game ended with status $status"
[[ ! -e $program/config.dat ]] || fail "the installed game wrote into its program folder"

# 3. The silent uninstaller, which runs on from a copy of itself, removes the programs, the
#    Start menu entries and the Apps and Features entry, and keeps the player's data.
(cd "$data" && find . -type f -exec md5sum {} + | LC_ALL=C sort) >"$work/data-before"
wine "$program/uninstall.exe" /S >>"$work/app.log" 2>&1 || fail "the uninstaller ended with status $?"
for _ in $(seq 100); do
  [[ -e $program ]] || break
  sleep 0.2
done
[[ ! -e $program ]] || fail "the uninstaller left $(cd "$program" && find . | head -5)"
for entry in "Zorvan" "Zorvan player profile"; do
  [[ ! -e $menu/$entry.lnk ]] || fail "the Start menu entry \"$entry\" is still there"
done
wine reg query "$key" >/dev/null 2>&1 && fail "the entry in Apps and Features is still there"
(cd "$data" && find . -type f -exec md5sum {} + | LC_ALL=C sort) | diff "$work/data-before" - >&2 ||
  fail "the uninstaller changed the player's data"
grep -q './config.dat' "$work/data-before" || fail "the player's data was not there to keep"
echo "ok: uninstalled silently; the player's data is kept"

# 4. The portable zip in "C:\Games\My Zoë Games": Configuration saves beside the programs.
games="$WINEPREFIX/drive_c/Games/My Zoë Games"
mkdir -p "$games"
(cd "$games" && unzip -q "$zip") || fail "the zip did not unpack"
portable="$games/zorvan-$version"
[[ -f $portable/portable.txt && -f $portable/zorvan.exe && -f $portable/Configuration.exe ]] ||
  fail "the zip holds no zorvan-$version folder with zorvan.exe, Configuration.exe and portable.txt"
(cd "$portable" && find . -type f ! -path ./portable.txt | LC_ALL=C sort) | diff "$work/staged" - >&2 ||
  fail "the zip's files differ from the staged ones"
cp "$data/config.dat" "$work/installed-profile"
wine "$portable/Configuration.exe" >"$work/app.log" 2>&1 &
app_pid=$!
await_window welcome >/dev/null || fail "the portable Configuration did not greet"
xdotool key Return
await_window Configuration >/dev/null || fail "the portable Configuration shows no form"
xdotool type --delay 40 'Zoë'
xdotool key Tab
xdotool type --delay 40 'Stick'
xdotool key Tab Tab Down alt+s
await_window 'Zorvan configuration' >/dev/null || fail "the portable Configuration did not save"
xdotool key Return
await_exit
printf 'Zo\xc3\xab Stick\r\nnun\r\nCA\r\n' | cmp - "$portable/data/config.dat" ||
  fail "no profile in data beside the portable programs"
cmp -s "$work/installed-profile" "$data/config.dat" || fail "the portable Configuration changed %APPDATA%\\Zorvan"
echo "ok: the portable game keeps its data beside itself, in a path with a blank and \"ë\""
echo "4 passed, 0 failed"
