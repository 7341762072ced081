#!/usr/bin/env bash
# zorvan-sim --record writes a replay of the run as it goes; zorvan-sim --replay plays it to
# the same event log and the same data files, and refuses a damaged one with the reason.
set -euo pipefail
sim=$1 game=$2 work=$3
rm -rf "$work"; mkdir -p "$work/config"
printf 'Ada Lovelace\r\nnun\r\nGB\r\n' > "$work/config.dat"
cat > "$work/keys.txt" <<'KEYS'
500 Space     # the logo
+500 Space    # the introduction
+3000 Enter   # new game
+2000 Enter   # the first car
+2000 Enter   # easy
+3000 Up      # start the car
+3000 Left
+2000 F2      # save
+3000 Escape
+3000 Enter   # leave the race
+3000 Escape  # the exit
KEYS
mkdir -p "$work/data"; cp "$work/config.dat" "$work/data/"
XDG_CONFIG_HOME="$work/config" "$sim" --folder "$game" --data "$work/data" --keys "$work/keys.txt" --seed 7 \
    --log "$work/run.log" --record "$work/run.replay"
head -n 1 "$work/run.replay" | grep -qx 'zorvan-replay 1' || { echo "no replay header"; exit 1; }
[[ $(tail -n 1 "$work/run.replay") == "$(tail -n 1 "$work/run.log")" ]] || { echo "the replay does not end with the exit"; exit 1; }

# The user's settings are never touched by a replay: point them somewhere that must stay empty.
mkdir -p "$work/untouched"
XDG_CONFIG_HOME="$work/untouched" "$sim" --folder "$game" --replay "$work/run.replay" --data "$work/again" --log "$work/again.log"
cmp "$work/run.log" "$work/again.log" || { echo "the replay's log differs"; diff "$work/run.log" "$work/again.log" | head; exit 1; }
for f in config.dat keys.dat ls.dat stats.txt savegame.dat; do
    cmp "$work/data/$f" "$work/again/$f" || { echo "$f differs after the replay"; exit 1; }
done
[[ -z $(ls -A "$work/untouched") ]] || { echo "the replay wrote into the user's settings"; exit 1; }
# Without --data, into a temporary folder that is gone afterwards.
XDG_CONFIG_HOME="$work/untouched" "$sim" --folder "$game" --replay "$work/run.replay" --log "$work/third.log"
cmp "$work/run.log" "$work/third.log"

sed 's/^seed .*/seed x/' "$work/run.replay" > "$work/damaged.replay"
if "$sim" --folder "$game" --replay "$work/damaged.replay" 2> "$work/err.txt"; then echo "a damaged replay was played"; exit 1; fi
grep -q 'bad seed' "$work/err.txt" || { echo "no reason given:"; cat "$work/err.txt"; exit 1; }
if "$sim" --folder "$game" --replay "$work/run.replay" --seed 3 2>/dev/null; then echo "--seed was taken with --replay"; exit 1; fi
echo "replayed $(wc -l < "$work/run.log") log lines identically"
