# Sourced by the game benchmarks: a copy of GAME_FOLDER ($game) with a player profile in a data
# folder of its own, under a private Xvfb with SDL's dummy audio driver; sets $work, $pid (the
# game), $xvfb and $window, and cleans up on exit. The player's own data folder is never touched.
work=$(mktemp -d)
trap 'kill ${pid:-} ${xvfb:-} 2>/dev/null || true; rm -rf "$work"' EXIT
cp -r "$game" "$work/game"
mkdir -p "$work/data/zorvan"
printf 'Bench Player\r\nnun\r\nGB\r\n' > "$work/data/zorvan/config.dat"
for n in $(seq 140 170); do [[ -e /tmp/.X$n-lock ]] || { display=":$n"; break; }; done
Xvfb "$display" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
export DISPLAY=$display XDG_CONFIG_HOME="$work" XDG_DATA_HOME="$work/data" SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$work/game/zorvan" 2>"$work/stderr" & pid=$!
window=$(timeout 30 xdotool search --sync --name '^Zorvan!$' | head -n 1)
xdotool windowfocus --sync "$window"
