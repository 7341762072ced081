#!/usr/bin/env bash
# zorvan-sim: a scripted run ends with "exit timeout" at --until, the same seed and script
# give the same log byte for byte, and --wav records what a player would have heard.
set -euo pipefail
sim=$1 game=$2 work=$3
rm -rf "$work"; mkdir -p "$work/config"
cp -r "$game" "$work/game"
printf 'Ada Lovelace\r\nnun\r\nGB\r\n' > "$work/game/config.dat"
cat > "$work/keys.txt" <<'KEYS'
500 Space     # the logo
+500 Space    # the introduction
+3000 Enter   # new game
+2000 Down
+300 Enter    # the Zorvan car
+2000 Enter   # easy
+3000 Up      # start the car
+3000 Left
KEYS
export XDG_CONFIG_HOME="$work/config"
run() { "$sim" --folder "$work/game" --keys "$work/keys.txt" --seed 42 --until 40000 --log "$1" "${@:2}"; }
run "$work/a.log" --wav "$work/a.wav"
cp "$work/game/keys.dat" "$work/keys.dat.after"
run "$work/b.log"
cmp "$work/a.log" "$work/b.log" || { echo "two runs with the same seed differ"; diff "$work/a.log" "$work/b.log" | head; exit 1; }
[[ $(tail -n 1 "$work/a.log") == "40000 exit timeout" ]] || { echo "the log does not end with the timeout"; tail -n 3 "$work/a.log"; exit 1; }
grep -q ' key 38$' "$work/a.log" || { echo "the start key is not in the log"; exit 1; }
grep -q ' play sounds/car/2.wav loop #' "$work/a.log" || { echo "the Zorvan car's engine never played"; exit 1; }
"$sim" --folder "$work/game" --until 10 --bogus 2>/dev/null && { echo "an unknown option was accepted"; exit 1; }
seconds=$(sox "$work/a.wav" -n stat 2>&1 | awk '/Length/ {print int($3)}')
[[ $seconds -eq 40 ]] || { echo "the recording lasts $seconds s, not 40"; exit 1; }
echo "deterministic log of $(wc -l < "$work/a.log") lines, 40 s recorded"
