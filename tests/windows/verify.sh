#!/usr/bin/env bash
# A Windows player's score verified by the Linux score server: the autopilot's key script of a
# game worth more than 1000 points, played by zorvan-sim.exe under wine with the same seed,
# submits the score through WinHTTP to a Linux zorvan-scores on loopback (main menu entry 3)
# and posts its replay; the server replays it with the Linux game and says "verified".
#   verify.sh WINDOWS_GAME LINUX_GAME AUTOPILOT ZORVAN_SCORES WORK
set -euo pipefail
wgame=$1 game=$2 autopilot=$3 scores=$4 work=$5
[[ -x $autopilot ]] || { echo "FAIL: no $autopilot: build the native tree with its tests (make build)" >&2; exit 1; }
seed=7
source "$(dirname "$0")/wine_lib.sh"

server_pid=
trap '[[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null; cleanup' EXIT

rm -rf "$work"
mkdir -p "$work"
"$scores" --db "$work/scores.db" --port 0 --quiet --game "$game" >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 100); do grep -q 'listening on' "$work/server.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/.*listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/server.out" | head -n 1)
[[ -n $port ]] || fail "the score server did not start: $(cat "$work/server.out")"
server=http://127.0.0.1:$port

"$autopilot" "$game" $seed "$work/keys.txt" "$server" 2>"$work/autopilot.err" ||
  fail "the autopilot found no game to submit: $(cat "$work/autopilot.err")"

win="$work/Zoë's games/zorvan"
portable_game "$wgame" "$win"
mkdir -p "$win/data/settings"
printf 'Ada Lovelace\r\nnun\r\nGB\r\n' >"$win/data/config.dat"
printf '[zorvan]\r\nscoreserver=%s\r\n' "$server" >"$win/data/settings/Kestrine.ini"

"$wine64" "$win/zorvan-sim.exe" --folder "$(winpath "$win")" --data "$(winpath "$win/data")" \
  --keys "$(winpath "$work/keys.txt")" --seed $seed --record "$(winpath "$work/run.replay")" \
  --log "$(winpath "$work/run.log")" >"$work/zorvan.out" 2>&1 || fail "zorvan-sim.exe failed under wine"
[[ $(tail -n 1 "$work/run.log") == *" exit 0" ]] || fail "the run did not end by the exit"
grep -q '^[0-9]* http [0-9]* ok 200 ' "$work/run.replay" || fail "no reply of the score server was recorded"

for _ in $(seq 1200); do grep -q 'points: \(verified\|rejected\)' "$work/server.out" && break; sleep 0.1; done
verdict=$(grep 'verify TransID .* points: ' "$work/server.out" | tail -n 1)
[[ $verdict == *" Ada Lovelace "*" points: verified" ]] ||
  fail "the server did not verify the Windows player's score: ${verdict:-no verdict}: $(tail -n 5 "$work/server.out")"
points=$(sed -n 's/.* Ada Lovelace \([0-9]*\) points: verified.*/\1/p' <<<"$verdict")
(( points >= 1000 )) || fail "only $points points were submitted"
echo "$verdict ($(grep -c ' key ' "$work/run.log") keys, $(wc -l <"$work/run.log") log lines)"
