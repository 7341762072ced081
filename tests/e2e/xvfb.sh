# start_xvfb: an X server of the test's own, its display exported as DISPLAY and its process in
# xvfb_pid; its output goes to $work/xvfb.log. Fails (status 1, with the log) when none starts.
#
# The display number is drawn far above the ones other X servers on this machine probe from 0
# upward. Xvfb takes the display's lock before it touches the display's socket, and ends at once
# when another server holds it; then another number is tried.
start_xvfb() {
  local display
  for _ in $(seq 20); do
    display=$((100 + RANDOM % 800))
    [[ -e /tmp/.X$display-lock ]] && continue
    Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
      kill -0 "$xvfb_pid" 2>/dev/null || break
      if DISPLAY=:$display xdotool getdisplaygeometry >/dev/null 2>&1; then
        export DISPLAY=:$display
        return 0
      fi
      sleep 0.1
    done
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  done
  echo "could not start Xvfb" >&2
  [[ -s $work/xvfb.log ]] && cat "$work/xvfb.log" >&2
  return 1
}
