#!/usr/bin/env bash
# CPU that the real game uses, as a share of one core, idling in the main menu (target under
# 0.5 %) or during a race (target under 5 %), and how often its game thread wakes up (idle menu:
# at most 10 times a second): the thread's context switches, as each wake-up after a wait is one.
#   bench/game/game_cpu.sh GAME_FOLDER menu|race [SECONDS]
# GAME_FOLDER holds the zorvan program and the sound pack (build/game). The game runs in its
# window under a private Xvfb with SDL's dummy audio driver, which pulls the mix at real-time
# pace like a sound card. "race" chooses a new game with the Lego car (no road events, so no
# hole ends the race early) on "easy" and starts the car; /proc/PID/stat is then sampled while
# computer cars approach, pass and hit.
set -euo pipefail
game=$(cd "${1:?usage: game_cpu.sh GAME_FOLDER menu|race [SECONDS]}" && pwd)
what=${2:?usage: game_cpu.sh GAME_FOLDER menu|race [SECONDS]}
seconds=${3:-20}
[[ -x "$game/zorvan" && -d "$game/sounds" ]] || { echo "game_cpu.sh: $game needs zorvan and sounds/" >&2; exit 2; }
source "$(dirname "$0")/start_game.sh"
key() { xdotool key --window "$window" "$1"; sleep "${2:-1}"; }
sleep 1; key space; key space 5   # past the logo and the intro; the main menu has spoken
if [[ $what == race ]]; then
  key Return 2   # main menu entry 1: new game -> the car menu
  key Return 2   # the Lego car -> the difficulty menu
  key Return 3   # "easy": the race starts
  key Up 3       # the start key
fi
kill -0 "$pid" 2>/dev/null || { echo "game_cpu.sh: zorvan ended early" >&2; exit 1; }
ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
thread() { awk '{print $14 + $15}' "/proc/$pid/task/$pid/stat"; }
switches() { awk '/ctxt_switches/ {n += $2} END {print n}' "/proc/$pid/task/$pid/status"; }
before=$(cpu); mine=$(thread); woke=$(switches); sleep "$seconds"; after=$(cpu); ours=$(thread); woken=$(switches)
awk -v a="$before" -v b="$after" -v c="$mine" -v d="$ours" -v t="$ticks" -v s="$seconds" -v w="$what" -v x="$woke" -v y="$woken" \
  'BEGIN { printf "zorvan (%s): %.2f %% of one core over %d s (game thread %.2f %%, the rest is the audio thread mixing); game thread woke %.1f times a second\n",
           w, 100 * (b - a) / t / s, s, 100 * (d - c) / t / s, (y - x) / s }'
