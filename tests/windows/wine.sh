# start_wine: a wine prefix of the test's own in $work/prefix, exported as WINEPREFIX, copied
# from a template prefix: $ZORVAN_WINE_TEMPLATE, else the WINEPREFIX that `make test-windows`
# keeps, else one in the user's cache folder that the first test to need it makes (wineboot
# takes about 20 s, a copy about one).
# stop_wine ends the prefix's own wineserver and every program in it.
# Needs $work, and DISPLAY when the programs open windows.
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer pops up in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="

start_wine() {
  local template=${ZORVAN_WINE_TEMPLATE:-}
  if [[ -z $template && -n ${WINEPREFIX:-} && -f $WINEPREFIX/system.reg ]]; then
    template=$WINEPREFIX
    cp -a "$template" "$work/prefix"
    export WINEPREFIX=$work/prefix
    return 0
  fi
  template=${template:-${XDG_CACHE_HOME:-$HOME/.cache}/zorvan/wine-prefix}
  mkdir -p "$(dirname "$template")"
  (
    flock 9
    if [[ ! -f $template/.complete ]]; then
      rm -rf "$template"
      WINEPREFIX=$template wine wineboot --init >"$work/wineboot.log" 2>&1 || exit 1
      WINEPREFIX=$template wineserver -w
      touch "$template/.complete"
    fi
  ) 9>"$template.lock" || { echo "could not make the wine prefix $template" >&2; cat "$work/wineboot.log" >&2; return 1; }
  cp -a "$template" "$work/prefix"
  export WINEPREFIX=$work/prefix
}

stop_wine() {
  [[ -n ${WINEPREFIX:-} && -d $WINEPREFIX ]] && wineserver -k 2>/dev/null || true
}

# The Unix path of a folder that Windows names by a variable such as APPDATA.
windows_folder() {
  local path
  path=$(wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r')
  winepath -u "$path" 2>/dev/null
}

# await_window TITLE: the id of a window titled exactly TITLE, once it has the keyboard. No
# window manager runs, so the test hands the keyboard over as a player's system would.
await_window() {
  local id=
  for _ in $(seq 150); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -1 || true)
    if [[ -n $id ]] && xdotool windowfocus --sync "$id" 2>/dev/null; then
      sleep 0.3
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# await_exit: waits for the program $app_pid to end by itself; fails unless with status 0.
await_exit() {
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

# end_test, a test's trap: ends its program, wine, PulseAudio and the X server, and removes $work.
end_test() {
  [[ -n ${app_pid:-} ]] && kill "$app_pid" 2>/dev/null || true
  stop_wine
  if declare -F stop_pulse >/dev/null; then stop_pulse; fi
  [[ -n ${xvfb_pid:-} ]] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
