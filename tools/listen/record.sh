#!/usr/bin/env bash
# Usage: record.sh ZORVAN-SIM GAME-FOLDER OUT-DIR
# Records the listening sessions: start-up and menus, then races on every difficulty and
# theme with every car type. Each session leaves NAME.log and NAME.wav in OUT-DIR.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
sim=$(realpath "$1") game=$(realpath "$2") out=$3
mkdir -p "$out"; out=$(realpath "$out")
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
race_seconds=${RACE_SECONDS:-240}
sessions=(menus "race-1-1-tetriss" "race-2-2-tetriss" "race-3-3-tetriss" "race-4-1-arcade" "race-1-2-arcade" "race-2-3-arcade")
for name in "${sessions[@]}"; do
  rm -rf "$work/game" "$work/config"; mkdir -p "$work/config"
  cp -r "$game" "$work/game"
  printf 'Ada Lovelace\r\nnun\r\nGB\r\n' > "$work/game/config.dat"
  if [[ $name == menus ]]; then
    keys=$here/sessions/menus.keys; until=110000
  else
    IFS=- read -r _ car difficulty theme <<<"$name"
    keys=$work/$name.keys
    "$here/make_race_keys.sh" "$car" "$difficulty" "$theme" "$race_seconds" > "$keys"
    until=$(( (race_seconds + 40) * 1000 ))
  fi
  XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data "$sim" --folder "$work/game" --keys "$keys" \
    --seed 7 --until "$until" --log "$out/$name.log" --wav "$out/$name.wav" || true
  echo "$name: $(wc -l < "$out/$name.log") events"
done
