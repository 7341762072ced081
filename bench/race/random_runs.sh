#!/usr/bin/env bash
# Whether two builds of zorvan-sim play the same under keys at random: RUNS games, each with
# its own seed, car (1-4), difficulty (1-3) and theme, then keys drawn from every key the
# menus, the race, the pause, the exit question and the volume use, at random moments.
# Compares the event logs, the data files and the settings byte for byte; every fifth run
# also compares the recorded mix.
#   bench/race/random_runs.sh OLD_ZORVAN_SIM NEW_ZORVAN_SIM GAME_FOLDER [RUNS] [FIRST_SEED]
# Exits 1 at the first difference, keeping both runs' folders for a look.
set -euo pipefail
old=$(realpath "${1:?usage: random_runs.sh OLD_ZORVAN_SIM NEW_ZORVAN_SIM GAME_FOLDER [RUNS] [FIRST_SEED]}")
new=$(realpath "${2:?usage}")
game=$(cd "${3:?usage}" && pwd)
runs=${4:-50}
first=${5:-1}
work=$(mktemp -d)
trap '[[ -n ${KEEP:-} ]] || rm -rf "$work"' EXIT

keys() {  # the script of run $1: car $2 (0-3 Downs), difficulty $3 (0-2 Downs), theme $4 (1 = arcade)
  awk -v seed="$1" -v car="$2" -v dif="$3" -v arcade="$4" 'BEGIN {
    srand(seed);
    print "500 Space"; print "+500 Space";
    if (arcade) print "+2000 F5";
    print "+3000 Enter";
    for (i = 0; i < car; i++) print "+300 Down";
    print "+2000 Enter";
    for (i = 0; i < dif; i++) print "+300 Down";
    print "+2000 Enter"; print "+3000 Up";
    # Lanes and race keys most often, so games last; menus, pause, saving, the exit
    # question, the volume and the speech switch now and then.
    n = split("Left Right Left Right Left Right Up Down Ctrl Shift Tab PageUp PageDown I L Enter Escape " \
              "Space P F2 F5 H V S F9 F10 F11 F12 Home End Left Right Down Up Enter", k, " ");
    t = 15000;
    for (i = 0; i < 420; i++) {
      t += int(rand() * rand() * 1500) + 1;
      print t, k[int(rand() * n) + 1];
    }
  }'
}

differ=0
for ((run = first; run < first + runs; run++)); do
  car=$((run % 4)); dif=$(((run / 4) % 3)); arcade=$(((run / 12) % 2))
  keys "$run" "$car" "$dif" "$arcade" > "$work/$run.keys"
  for which in old new; do
    dir=$work/$run-$which
    mkdir -p "$dir/config"
    cp -r "$game" "$dir/game"
    printf 'Ada Lovelace\r\nnun\r\nGB\r\n' > "$dir/game/config.dat"
    wav=()
    (( run % 5 == 0 )) && wav=(--wav "$dir/mix.wav")
    sim=${!which}
    XDG_CONFIG_HOME=$dir/config "$sim" --folder "$dir/game" --keys "$work/$run.keys" --seed "$run" \
      --until 240000 --log "$dir/log" "${wav[@]}" > "$dir/out" 2>&1 || echo "status $?" >> "$dir/out"
  done
  a=$work/$run-old; b=$work/$run-new
  why=
  cmp -s "$a/log" "$b/log" || why="event logs"
  cmp -s "$a/out" "$b/out" || why="${why:+$why, }output"
  [[ ! -e $a/mix.wav ]] || cmp -s "$a/mix.wav" "$b/mix.wav" || why="${why:+$why, }mixes"
  for f in stats.txt ls.dat savegame.dat; do
    if [[ -e $a/game/$f || -e $b/game/$f ]]; then cmp -s "$a/game/$f" "$b/game/$f" || why="${why:+$why, }$f"; fi
  done
  diff -r -q "$a/config" "$b/config" > /dev/null || why="${why:+$why, }settings"
  printf 'run %d (car %d, difficulty %d, %s): %d log lines, last %s%s\n' "$run" $((car + 1)) $((dif + 1)) \
    "$([[ $arcade == 1 ]] && echo arcade || echo tetriss)" "$(wc -l < "$b/log")" "$(tail -n 1 "$b/log" | cut -c1-40)" \
    "${why:+ -- DIFFERENT: $why}"
  if [[ -n $why ]]; then
    diff "$a/log" "$b/log" | head -5 || true
    KEEP=1; echo "kept in $work"; exit 1
  fi
done
echo "all $runs runs: the same log, output, data files and settings"
