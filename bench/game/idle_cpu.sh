#!/usr/bin/env bash
# CPU that the real game uses while it idles in the main menu, as a share of one core.
#   bench/game/idle_cpu.sh build/game [seconds]
# Runs zorvan in its window under a private Xvfb with SDL's dummy audio driver (which pulls
# the mix at real-time pace like a sound card), skips the opening sounds, then samples
# /proc/PID/stat over the given time.
set -euo pipefail
game=$(cd "${1:?usage: idle_cpu.sh GAME_FOLDER [SECONDS]}" && pwd)
seconds=${2:-20}
work=$(mktemp -d)
trap 'kill ${pid:-} ${xvfb:-} 2>/dev/null || true; rm -rf "$work"' EXIT
cp -r "$game" "$work/game"
printf 'Bench Player\r\nnun\r\nGB\r\n' > "$work/game/config.dat"
for n in $(seq 100 130); do [[ -e /tmp/.X$n-lock ]] || { display=":$n"; break; }; done
Xvfb "$display" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
export DISPLAY=$display XDG_CONFIG_HOME="$work" SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$work/game/zorvan" & pid=$!
window=$(timeout 30 xdotool search --sync --name '^Zorvan!$' | head -n 1)
xdotool windowfocus --sync "$window"
sleep 1; xdotool key --window "$window" space; sleep 1; xdotool key --window "$window" space
sleep 5  # the main menu's prompt has been said; only the music loops now
ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
before=$(cpu); sleep "$seconds"; after=$(cpu)
awk -v a="$before" -v b="$after" -v t="$ticks" -v s="$seconds" \
  'BEGIN { printf "zorvan idle in the main menu: %.2f %% of one core over %d s\n", 100 * (b - a) / t / s, s }'
