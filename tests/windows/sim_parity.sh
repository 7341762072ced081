#!/usr/bin/env bash
# The same run on both systems: zorvan-sim.exe under wine, from a folder whose path has a
# space and a non-ASCII letter, and the Linux zorvan-sim play one scripted game with one seed
# and write the same event log byte for byte; the replay the Windows run records, played by
# the Linux runner, gives that log again and the same data files.
#   sim_parity.sh WINDOWS_GAME LINUX_SIM LINUX_GAME WORK
set -euo pipefail
wgame=$1 sim=$2 game=$3 work=$4
source "$(dirname "$0")/wine_lib.sh"
rm -rf "$work"
mkdir -p "$work/config"
win="$work/Zoë games/zorvan"
portable_game "$wgame" "$win"
cp -r "$game" "$work/linux"
for folder in "$win" "$work/linux"; do printf 'Zoë Lovelace\r\nnun\r\nGB\r\n' >"$folder/config.dat"; done
cat >"$work/keys.txt" <<'KEYS'
400 Space     # the logo
+700 Space    # the introduction
+2500 Enter   # new game
+1500 Down
+300 Enter    # the second car
+1800 Down
+200 Enter    # medium
+2600 Up      # the car starts
+1700 Left
+90 Right
+2300 P       # a pause
+1500 P
+1200 Escape  # leave the race?
+900 Enter
+3000 Escape  # the exit
KEYS

for seed in 7 1234; do
  XDG_CONFIG_HOME=$work/config "$sim" --folder "$work/linux" --keys "$work/keys.txt" --seed $seed --until 90000 \
    --log "$work/linux-$seed.log" 2>"$work/linux.err" || fail "the Linux runner failed: $(cat "$work/linux.err")"
  "$wine64" "$win/zorvan-sim.exe" --folder "$(winpath "$win")" --keys "$(winpath "$work/keys.txt")" --seed $seed \
    --until 90000 --log "$(winpath "$work/windows-$seed.log")" --record "$(winpath "$work/windows-$seed.replay")" \
    >"$work/zorvan.out" 2>&1 || fail "zorvan-sim.exe failed under wine"
  if ! cmp -s "$work/linux-$seed.log" "$work/windows-$seed.log"; then
    diff "$work/linux-$seed.log" "$work/windows-$seed.log" | head -n 20 >&2
    fail "seed $seed: the event logs of the two systems differ"
  fi
  grep -q ' play sounds/car/' "$work/windows-$seed.log" || fail "seed $seed: no race was played"
  [[ $(tail -n 1 "$work/windows-$seed.log") == *" exit 0" ]] || fail "seed $seed: the run did not end by the exit"
  mkdir -p "$work/untouched"
  XDG_CONFIG_HOME=$work/untouched "$sim" --folder "$game" --replay "$work/windows-$seed.replay" \
    --data "$work/again-$seed" --log "$work/replayed-$seed.log" 2>"$work/linux.err" ||
    fail "seed $seed: the Linux runner could not replay the Windows replay: $(cat "$work/linux.err")"
  cmp -s "$work/windows-$seed.log" "$work/replayed-$seed.log" || fail "seed $seed: the replayed log differs"
  for f in config.dat keys.dat ls.dat stats.txt savegame.dat; do
    if [[ -e $win/$f ]]; then
      cmp -s "$win/$f" "$work/again-$seed/$f" || fail "seed $seed: $f differs after the replay"
    fi
  done
  echo "seed $seed: $(wc -l <"$work/windows-$seed.log") log lines, identical on both systems and in the replay"
done
# Portable: the settings went beside the program, none to the roaming folder.
[[ -d $win/data/settings ]] || fail "the portable game kept no settings in its data folder"
