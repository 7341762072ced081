#!/usr/bin/env bash
# zorvan-sim with a read-only program folder and a fresh data folder: the data folder is made
# and seeded with the delivered defaults, a played game's records and saved game land there,
# and not one byte of the program folder changes. Then a game folder an earlier build left
# with the player's files in it: they move to the data folder, once, unchanged.
set -euo pipefail
sim=$1 built=$2 work=$3
rm -rf "$work"; mkdir -p "$work/config"
export XDG_CONFIG_HOME="$work/config"
fail() { echo "FAIL: $*"; exit 1; }

cp -r "$built" "$work/game"
rm -f "$work/game"/{config.dat,keys.dat,ls.dat,stats.txt,savegame.dat}  # an older build's
for f in config.dat keys.dat ls.dat stats.txt; do
  [[ -f $work/game/defaults/$f ]] || fail "the built game folder delivers no defaults/$f"
done
chmod -R a-w "$work/game"
trap 'chmod -R u+w "$work/game" 2>/dev/null || true' EXIT
# Root writes through file modes, so the proof is the folder's contents before and after.
snapshot() { (cd "$work/game" && find . -printf '%p %s %m\n' | sort && find . -type f -exec md5sum {} + | sort -k2); }
snapshot > "$work/before.txt"

data=$work/data/zorvan
# First start: no profile yet, so the game stops and says so, as it does for a new player.
set +e
"$sim" --folder "$work/game" --data "$data" --until 20000 --log "$work/first.log" 2>"$work/first.err"
status=$?
set -e
[[ $status -ne 0 ]] || fail "the game started without a profile"
for f in config.dat keys.dat ls.dat stats.txt; do
  cmp -s "$data/$f" "$work/game/defaults/$f" || fail "$f was not seeded from the defaults"
done

# Configuration's part: a profile in the data folder. Then a game: started, saved with F2, and
# left with Escape and Enter, which records it.
printf '"Ada Lovelace"\r\n"ada@example.org"\r\n"GB"\r\n' > "$data/config.dat"
cat > "$work/keys.txt" <<'KEYS'
500 Space     # the logo
+500 Space    # the introduction
+3000 Enter   # new game
+2000 Down
+300 Enter    # the Zorvan car
+2000 Enter   # easy
+3000 Up      # start the car
+6000 F2      # save
+3000 Escape
+1500 Enter   # quit the game
+3000 Escape  # leave the main menu
+1500 Enter
KEYS
set +e
"$sim" --folder "$work/game" --data "$data" --keys "$work/keys.txt" --seed 7 --until 60000 \
  --log "$work/game.log" 2>"$work/game.err"
set -e
for f in stats.txt savegame.dat; do
  grep -q " file $f\$" "$work/game.log" || fail "the game never wrote $f: $(tail -n 5 "$work/game.log")"
done
grep -q 'you ended the game by pressing escape' "$data/stats.txt" || fail "the game's report is not in the data folder's stats.txt"
[[ -s $data/savegame.dat ]] || fail "the saved game is not in the data folder"
snapshot > "$work/after.txt"
diff "$work/before.txt" "$work/after.txt" || fail "the program folder changed"
echo "read-only program folder: defaults seeded, records and saved game in $data, program folder unchanged"

# An earlier build: the player's files beside the program, a data folder not made yet.
chmod -R u+w "$work/game"
old=$work/old
mkdir -p "$old"
cp -r "$work/game/." "$old/"
profile=$'"Ann Lee"\r\n"ann@example.org"\r\n"CA"\r\n'
printf '%s' "$profile" > "$old/config.dat"
cp "$data/stats.txt" "$old/stats.txt"
cp "$data/savegame.dat" "$old/savegame.dat"
printf ' 87 \r\n 37 \r\n 39 \r\n 40 \r\n 17 \r\n 16 \r\n 9 \r\n 76 \r\n 13 \r\n 73 \r\n 80 \r\n' > "$old/keys.dat"
md5sum "$old"/{config.dat,keys.dat,stats.txt,savegame.dat} | sed "s|$old/||" > "$work/old.md5"
newdata=$work/data2/zorvan
"$sim" --folder "$old" --data "$newdata" --until 3000 --log "$work/move.log" 2>"$work/move.err" ||
  fail "the first start after the update failed: $(cat "$work/move.err")"
(cd "$newdata" && md5sum -c --quiet "$work/old.md5") || fail "the moved files differ from the old ones"
for f in config.dat keys.dat stats.txt savegame.dat; do
  [[ ! -e $old/$f ]] || fail "$f is still in the old game folder"
done
cmp -s "$newdata/ls.dat" "$old/defaults/ls.dat" || fail "ls.dat was not seeded"
# Once: the next start moves nothing, even a file that turns up again beside the program.
printf '0\r\n0\r\n0\r\n' > "$old/config.dat"
"$sim" --folder "$old" --data "$newdata" --until 3000 --log "$work/again.log" 2>/dev/null || fail "the second start failed"
printf '%s' "$profile" | cmp -s - "$newdata/config.dat" || fail "a later start replaced the moved profile"
echo "old game folder: its player files moved to the data folder once, unchanged"
