#!/usr/bin/env bash
# Kills zorvan-sim (SIGKILL) at random moments while it remaps a key, saves a game, ends a
# game and stores its settings. After every kill each data file must hold its old or its
# new content, whole (a settings file: every value old or new), and the next start must
# leave no temporary file behind.
#   kill_writes.sh SIM GAME_DIR WORK [KILLS_PER_SCENARIO] [SEED]
set -euo pipefail
sim=$1 game=$(cd "$2" && pwd) work=$3 kills=${4:-12}
RANDOM=${5:-$$}
echo "random seed ${5:-$$}"
rm -rf "$work"; mkdir -p "$work/base/game" "$work/base/config" "$work/base/data"

# The program files are shared read-only; the data files are the run's own.
for entry in "$game"/*; do
    case ${entry##*/} in
        keys.dat | ls.dat | stats.txt | config.dat | savegame.dat) cp "$entry" "$work/base/game/" ;;
        *) ln -s "$entry" "$work/base/game/${entry##*/}" ;;
    esac
done
# A built game folder delivers its data files in defaults/: the run starts with them in place,
# so that nothing is seeded while a run is killed.
if [[ -d $game/defaults ]]; then
    for entry in "$game"/defaults/*; do cp "$entry" "$work/base/game/"; done
fi
printf 'Ada Lovelace\r\nnun\r\nGB\r\n' > "$work/base/game/config.dat"

# The key map is rewritten at every remap: the same key each time, so the file is always
# either the delivered one or the one with Q.
{
    printf '500 Space\n+500 Space\n+3000 Down\n+300 Down\n+300 Down\n+300 Down\n+300 Enter\n'
    printf '+3000 Enter\n+300 Q\n'
    for ((n = 1; n < 40; n++)); do printf '+1500 Enter\n+300 Q\n'; done
} > "$work/remap.keys"
cat > "$work/save.keys" <<'KEYS'
500 Space     # the logo
+500 Space    # the introduction
+3000 Enter   # new game
+2000 Enter   # the first car
+2000 Enter   # easy
+3000 Up      # start the car
+2000 F2      # save
KEYS
cat > "$work/end.keys" <<'KEYS'
500 Space
+500 Space
+3000 Enter
+2000 Enter
+2000 Enter
+3000 Up
+25000 Escape # the exit prompt
+1500 Enter   # leave: the game's records are written
KEYS
# scenario, virtual end of its run, and from which share of a run's real time to kill: the
# writes of the last two come at the end of their runs.
scenarios="remap:81000:0 save:13500:60 end:38500:60"

# Everything a run may write, relative to the run folder: "game/...", "data/...", "config/...".
listFiles() { (cd "$1" && find game data config -type f 2>/dev/null | sort); }
temporaries() { (cd "$1" && find game data config -type f \( -name '*.tmp[0-9]*' -o -regex '.*/config\.dat\.[A-Za-z0-9]\{6\}' \) 2>/dev/null | sort); }

runSim() {  # folder keys until
    XDG_CONFIG_HOME="$1/config" XDG_DATA_HOME="$1/data" \
        "$sim" --folder "$1/game" ${2:+--keys "$2"} --seed 7 --until "$3" --log /dev/null
}

# "section/key=value" lines of an INI file.
entries() {
    local section="" line
    while IFS= read -r line || [[ -n $line ]]; do
        line=${line%$'\r'}
        if [[ $line == \[*\] ]]; then section=${line:1:-1}
        elif [[ $line == *=* && $line != [\;#]* ]]; then printf '%s/%s\n' "$section" "$line"
        fi
    done < "$1"
}

# Whole and old or new: the same bytes as before or after the run; for a settings file,
# complete lines only, each value as it was before or after.
checkFile() {  # name old new now
    local name=$1 old=$2 new=$3 now=$4
    [[ -e $now ]] || { [[ ! -e $old || ! -e $new ]] && return 0; echo "$name: gone"; return 1; }
    [[ -e $old ]] && cmp -s "$old" "$now" && return 0
    [[ -e $new ]] && cmp -s "$new" "$now" && return 0
    if [[ $name == *.ini ]]; then
        [[ -z $(tail -c 1 "$now") ]] || { echo "$name: a line cut short"; return 1; }
        local e
        while IFS= read -r e; do
            { [[ -e $old ]] && grep -qxF -- "$e" <(entries "$old"); } && continue
            { [[ -e $new ]] && grep -qxF -- "$e" <(entries "$new"); } && continue
            echo "$name: $e is neither old nor new"; return 1
        done < <(entries "$now")
        # Nothing that was there before and stays after may go missing.
        if [[ -e $old && -e $new ]]; then
            local key
            while IFS= read -r key; do
                entries "$now" | cut -d= -f1 | grep -qxF -- "$key" || { echo "$name: $key lost"; return 1; }
            done < <(comm -12 <(entries "$old" | cut -d= -f1 | sort) <(entries "$new" | cut -d= -f1 | sort))
        fi
        return 0
    fi
    echo "$name: neither the old nor the new content"; return 1
}

fresh() { rm -rf "$work/run"; cp -a "$work/base" "$work/run"; }

total=0 leftovers=0
for entry in $scenarios; do
    IFS=: read -r scenario until from <<< "$entry"
    # The whole run once: its files afterwards are the new content.
    fresh
    start=$(date +%s%N)
    runSim "$work/run" "$work/$scenario.keys" "$until"
    took=$(( ($(date +%s%N) - start) / 1000 ))  # microseconds
    rm -rf "$work/new"; cp -a "$work/run" "$work/new"
    changed=$( (diff -rq "$work/base" "$work/new" 2>/dev/null || true) | wc -l)
    [[ $changed -gt 0 ]] || { echo "$scenario: the run wrote nothing"; exit 1; }
    echo "$scenario: a whole run takes ${took} us and changes $changed files"

    for ((i = 0; i < kills; i++)); do
        fresh
        delay=$(( RANDOM * 32768 + RANDOM ))
        delay=$(( took * from / 100 + delay % (took * (100 - from) / 100 + 1) ))
        XDG_CONFIG_HOME="$work/run/config" XDG_DATA_HOME="$work/run/data" \
            "$sim" --folder "$work/run/game" --keys "$work/$scenario.keys" --seed 7 --until "$until" \
            --log /dev/null &
        pid=$!
        sleep "$(printf '%d.%06d' $((delay / 1000000)) $((delay % 1000000)))"
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        total=$((total + 1))
        left=$(temporaries "$work/run" | wc -l)
        leftovers=$((leftovers + (left > 0)))
        for name in $( (listFiles "$work/base"; listFiles "$work/new"; listFiles "$work/run") | sort -u); do
            [[ -L $work/base/$name || -L $work/new/$name ]] && continue
            [[ $name == *.tmp[0-9]* || $name =~ config\.dat\.[A-Za-z0-9]{6}$ ]] && continue
            checkFile "$name" "$work/base/$name" "$work/new/$name" "$work/run/$name" ||
                { echo "$scenario: kill $i after ${delay} us"; exit 1; }
        done
        # The next start clears what the kill left.
        runSim "$work/run" "" 3000 || true
        if [[ -n $(temporaries "$work/run") ]]; then
            echo "$scenario: the next start left:"; temporaries "$work/run"; exit 1
        fi
    done
done
echo "$total kills, $leftovers of them left a temporary file, every file old or new and whole"
