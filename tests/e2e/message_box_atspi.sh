#!/usr/bin/env bash
# The real zorvan with a damaged keys.dat, under Xvfb with the accessibility bus on as a screen
# reader turns it on: the accessibility tree must hold the box (its title and text) with its
# OK button focused; Enter closes it and the game ends with status 1, the text on stderr.
# Then the question asked when there is no profile: the same, with Yes focused; Escape is No.
# Usage: message_box_atspi.sh GAME_DIR WORK_DIR
set -euo pipefail
game=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
# A session bus of our own, as a desktop session has.
if [[ -z ${ZORVAN_TEST_SESSION:-} ]]; then
  ZORVAN_TEST_SESSION=1 exec dbus-run-session -- "$0" "$@"
fi
source "$here/access_lib.sh"
setup_game
put_data keys.dat 'garbage\r\n'
start_xvfb

# What Orca does at start: the accessibility bus starts on demand and is told a screen reader runs.
for property in IsEnabled ScreenReaderEnabled; do
  gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Set org.a11y.Status "$property" '<true>' >/dev/null
done

title='error!'
text='the keys.dat file was tampered with! please reinstall the software'
start_zorvan
/usr/bin/python3 "$here/atspi_box.py" "$title" "$text" || fail "the box is not in the accessibility tree as it should be"
await_focus "$title"
xdotool key Return
finished
[[ $status -eq 1 ]] || fail "zorvan ended with status $status, not 1"
grep -qF "$text" "$work/zorvan.out" || fail "the box's text is not on stderr"
echo "ok: Enter closed the box; zorvan ended with status 1"

put_data keys.dat ' 38 \r\n 37 \r\n 39 \r\n 40 \r\n 17 \r\n 16 \r\n 9 \r\n 76 \r\n 13 \r\n 73 \r\n 80 \r\n'
put_data config.dat '0\r\n0\r\n0\r\n'
start_zorvan
/usr/bin/python3 "$here/atspi_box.py" 'Zorvan! no player profile' 'Open Configuration now?' ||
  fail "the question is not in the accessibility tree as it should be"
await_focus 'Zorvan! no player profile'
xdotool key Escape
finished
[[ $status -eq 1 ]] || fail "no profile, declined: status $status, not 1"
echo "ok: the question is read too; Escape declined it and zorvan ended with status 1"
