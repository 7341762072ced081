#!/usr/bin/env bash
# Whether two builds of zorvan-sim play the same: several scripted sessions (menus, idle
# spells, races with steering, items, pause, saving and loading, both themes) run by each,
# their event logs and recorded mixes compared byte for byte.
#   bench/race/same_logs.sh OLD_ZORVAN_SIM NEW_ZORVAN_SIM GAME_FOLDER
# Prints the time each build took; exits 1 at the first difference.
set -euo pipefail
old=$(realpath "${1:?usage: same_logs.sh OLD_ZORVAN_SIM NEW_ZORVAN_SIM GAME_FOLDER}")
new=$(realpath "${2:?usage}")
game=$(cd "${3:?usage}" && pwd)
work=$(mktemp -d)
trap "[[ -n \${KEEP:-} ]] || rm -rf \"\$work\"" EXIT

steer() {  # N presses of lane and race keys from $1 ms on, every $2 ms
  awk -v t="$1" -v gap="$2" -v n="$3" 'BEGIN {
    split("Left Right Right Left Ctrl PageDown Left I Right Shift Tab L Enter PageUp Right Left", k, " ");
    for (i = 0; i < n; i++) print t + i * gap, k[i % 16 + 1] }'
}
script() {
  case $1 in
    menus) printf '%s\n' '500 Space' '+500 Space' '+20000 H' '+3000 V' '+60000 F5' '+2000 Down' '+400 Down' \
             '+400 Down' '+400 Down' '+400 Down' '+400 Enter' '+1500 Escape' '+30000 End' '+500 Home' '+500 H' '+40000 Up' ;;
    race) printf '%s\n' '500 Space' '+500 Space' '+3000 Enter' '+2000 Down' '+300 Enter' '+2000 Enter' '+3000 Up'
          steer 12000 650 250 ;;
    pause) printf '%s\n' '500 Space' '+500 Space' '+3000 Enter' '+2000 Enter' '+2000 Down' '+300 Enter' '+3000 Up'
           steer 12000 900 40; printf '%s\n' '50000 P' '+20000 P' '+500 F2' '+3000 Escape' '+2000 Space' '+4000 Escape' \
             '+1500 Enter' '+8000 F2'; steer 100000 800 80 ;;
    arcade) printf '%s\n' '500 Space' '+500 Space' '+2000 F5' '+3000 Enter' '+2000 Down' '+300 Down' '+300 Enter' \
              '+2000 Down' '+300 Down' '+300 Enter' '+3000 Up'; steer 15000 500 500 ;;
    quiet) printf '%s\n' '500 Space' '+500 Space' '+3000 Enter' '+2000 Enter' '+2000 Enter' '+3000 Up' '+1000 Down' \
             '+90000 Up' '+2000 Escape' '+1000 Enter' '+60000 Escape' ;;
  esac
}
until_of() { case $1 in menus) echo 200000 ;; race) echo 200000 ;; pause) echo 180000 ;; arcade) echo 270000 ;; quiet) echo 200000 ;; esac; }

for session in menus race pause arcade quiet; do
  script "$session" > "$work/$session.keys"
  for which in old new; do
    dir=$work/$which-$session
    mkdir -p "$dir/config"
    cp -r "$game" "$dir/game"
    printf 'Ada Lovelace\r\nnun\r\nGB\r\n' > "$dir/game/config.dat"
    sim=${!which}
    start=$(date +%s.%N)
    XDG_CONFIG_HOME=$dir/config "$sim" --folder "$dir/game" --keys "$work/$session.keys" --seed 11 \
      --until "$(until_of "$session")" --log "$dir/log" --wav "$dir/mix.wav" || true
    printf '%s %s: %.2f s, %d log lines\n' "$session" "$which" "$(echo "$(date +%s.%N) - $start" | bc)" "$(wc -l < "$dir/log")"
  done
  cmp "$work/old-$session/log" "$work/new-$session/log" || { diff "$work/old-$session/log" "$work/new-$session/log" | head; exit 1; }
  cmp "$work/old-$session/mix.wav" "$work/new-$session/mix.wav" || { echo "$session: the mixes differ"; exit 1; }
  for f in stats.txt ls.dat savegame.dat; do
    if [[ -e $work/old-$session/game/$f || -e $work/new-$session/game/$f ]]; then
      cmp "$work/old-$session/game/$f" "$work/new-$session/game/$f" || exit 1
    fi
  done
done
echo "every session: the same log, mix and data files"
