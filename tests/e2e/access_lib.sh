# Shared by the end-to-end tests of the game's messages and window: a copy of the game folder,
# an X server of its own, and waits on windows. Source it after setting `game` and `work`.
# No window manager runs: the programs must hand the keyboard to their windows themselves.

app_pid=
xvfb_pid=

cleanup() {
  [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null || true
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  [[ -s $work/zorvan.out ]] && { echo "--- zorvan's output:" >&2; cat "$work/zorvan.out" >&2; }
  exit 1
}

# A copy of the game folder with a profile, and the player's folders inside $work. The data
# files go both beside the program and into the data folder, wherever this build reads them.
setup_game() {
  rm -rf "$work"
  mkdir -p "$work/config" "$work/data/zorvan"
  cp -r "$game" "$work/game"
  export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
  export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/sound.raw
  export QT_QPA_PLATFORM=xcb
  put_data config.dat 'Ada Lovelace\r\nnun\r\nGB\r\n'
}

# put_data NAME PRINTF-FORMAT: one data file, in both places.
put_data() {
  rm -rf "$work/game/$1" "$work/data/zorvan/$1"
  printf "$2" >"$work/game/$1"
  printf "$2" >"$work/data/zorvan/$1"
}

# folder_in_place NAME: a folder where the data file should be, which nobody can read as a file.
folder_in_place() {
  rm -rf "$work/game/$1" "$work/data/zorvan/$1"
  mkdir "$work/game/$1" "$work/data/zorvan/$1"
}

source "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"

start_zorvan() {
  "$work/game/zorvan" >"$work/zorvan.out" 2>&1 &
  app_pid=$!
}

# await_focus TITLE: the window that has the keyboard is titled exactly TITLE.
await_focus() {
  local name=
  for _ in $(seq 150); do
    name=$(xdotool getwindowfocus getwindowname 2>/dev/null || true)
    [[ $name == "$1" ]] && { sleep 0.3; return 0; }
    kill -0 "$app_pid" 2>/dev/null || fail "zorvan ended while waiting for \"$1\""
    sleep 0.1
  done
  fail "the keyboard is in \"$name\", not in \"$1\""
}

# await_window TITLE: prints the id of the first window titled TITLE.
await_window() {
  local id
  id=$(timeout 30 xdotool search --sync --name "^$1\$" | head -n 1) || true
  [[ -n $id ]] || fail "no window \"$1\""
  echo "$id"
}

# finished: zorvan ends within 30 s; sets `status`.
finished() {
  for _ in $(seq 300); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$app_pid" 2>/dev/null && fail "zorvan did not end"
  status=0
  wait "$app_pid" || status=$?
  app_pid=
}

# leave_game WINDOW: Escape and Enter at the game's window until it has ended (from the main
# menu, or from a race by its question first), then `finished`.
leave_game() {
  for _ in $(seq 20); do
    xdotool key --window "$1" Escape 2>/dev/null || true
    sleep 1
    xdotool key --window "$1" Return 2>/dev/null || true
    kill -0 "$app_pid" 2>/dev/null || break
  done
  finished
}
