#!/usr/bin/env bash
# Figures of the Windows game under wine: what WASAPI reports for the default output (a
# PulseAudio null sink), how long zorvan.exe takes from its start to its window, its first
# sound and the main menu's prompt, and the sizes of the programs.
#   figures.sh WINDOWS_GAME WASAPI_REPORT_EXE WORK [RUNS]
set -euo pipefail
wgame=$1 report=$2 work=$3 runs=${4:-3}
source "$(dirname "$0")/../../tests/windows/wine_lib.sh"
rm -rf "$work"
mkdir -p "$work"
start_xvfb
start_pulse
echo "WASAPI under wine: $("$wine64" "$report")"
ms() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }
for run in $(seq "$runs"); do
  win=$work/game$run
  portable_game "$wgame" "$win"
  mkdir -p "$win/data"
  printf 'Ada Lovelace\r\nnun\r\nGB\r\n' >"$win/data/config.dat"
  began=$(date +%s%N)
  start_game "$win" --log "$(winpath "$work/run$run.log")"
  await_window 'Zorvan!' >/dev/null
  window=$(ms "$began")
  until grep -q ' play ' "$work/run$run.log" 2>/dev/null; do sleep 0.01; done
  sound=$(ms "$began")
  until grep -q ' play sounds/menu/m_p.wav' "$work/run$run.log" 2>/dev/null; do sleep 0.01; done
  prompt=$(ms "$began")
  echo "run $run: window after $window ms, first sound after $sound ms, main menu prompt after $prompt ms" \
       "(of which $(grep ' play sounds/menu/m_p.wav' "$work/run$run.log" | head -n 1 | cut -d' ' -f1) ms the opening sounds)"
  kill "$app_pid"; wait "$app_pid" 2>/dev/null || true; app_pid=
done
for f in zorvan.exe zorvan-sim.exe Configuration.exe; do
  [[ -f $wgame/$f ]] && echo "$f: $(stat -c %s "$wgame/$f") bytes"
done
echo "game folder: $(du -sb "$wgame" | cut -f1) bytes"
