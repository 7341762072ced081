#!/usr/bin/env bash
# Usage: make_race_keys.sh CAR(1-4) DIFFICULTY(1-3) THEME(tetriss|arcade) SECONDS
# A race session: through the menus to the race, then a driver who changes lane now and then
# and asks for the reports, so engines, cars, items, crashes and speech all play.
set -euo pipefail
car=$1 difficulty=$2 theme=$3 seconds=$4
echo "500 Space"
echo "+500 Space"
[[ $theme == arcade ]] && echo "+4000 F5"
echo "+6000 Enter"
for ((i = 1; i < car; ++i)); do echo "+2500 Down"; done
echo "+6000 Enter"
for ((i = 1; i < difficulty; ++i)); do echo "+2000 Down"; done
echo "+4000 Enter"
echo "+4000 Up        # start the car"
moves=(Left Right Right Left P Left Right L Right Left)
t=0
for ((k = 0; t < seconds * 1000; ++k)); do
  step=$((2300 + (k * 1700) % 4100))
  t=$((t + step))
  echo "+$step ${moves[k % ${#moves[@]}]}"
done
