#!/usr/bin/env bash
# zorvan-sim submits the pending score to a live score server from main menu entry 3 and waits
# for the answer, as the real game does, whether it records the run or not: both runs give the
# same event log, and it is not the log of a run whose server never answers.
#   sim_online.sh ZORVAN_SIM GAME_DIR ZORVAN_SCORES WORK
set -euo pipefail
sim=$1 game=$2 scores=$3 work=$4
rm -rf "$work"; mkdir -p "$work"
server_pid=
trap '[[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null; wait 2>/dev/null || true' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cp -r "$game" "$work/game"
printf 'Ada Lovelace\r\nnun\r\nGB\r\n' > "$work/game/config.dat"
cat > "$work/keys.txt" <<'KEYS'
500 Space     # the logo
+500 Space    # the introduction
+2000 Down
+300 Down
+300 Enter    # entry 3: the pending score to the server
KEYS

"$scores" --db "$work/scores.db" --port 0 --quiet >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 100); do grep -q 'listening on' "$work/server.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/.*listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/server.out" | head -n 1)
[[ -n $port ]] || fail "the score server did not start: $(cat "$work/server.out")"

# run NAME PORT [OPTION...]: a run with fresh settings holding a pending score of 1500 points
# on "easy" with its check values, the server at PORT.
run() {
  local name=$1 at=$2
  shift 2
  export XDG_CONFIG_HOME=$work/$name.config
  rm -rf "$XDG_CONFIG_HOME"; mkdir -p "$XDG_CONFIG_HOME"
  printf '[zorvan]\r\nscoreserver=http://127.0.0.1:%s\r\n' "$at" > "$XDG_CONFIG_HOME/Kestrine.ini"
  printf '[installation]\r\nrgsv=15009\r\nrgsv2=1\r\n[settings]\r\ngameLev=4\r\n[keyboard]\r\nidentify=50000\r\n' \
    > "$XDG_CONFIG_HOME/zorvan.ini"
  printf '[settings]\r\nsetupInfo=4147\r\n' > "$XDG_CONFIG_HOME/w32csp.ini"
  "$sim" --folder "$work/game" --keys "$work/keys.txt" --seed 5 --until 60000 --log "$work/$name.log" "$@" \
    2>"$work/$name.err" || fail "$name: zorvan-sim failed: $(cat "$work/$name.err")"
}

run plain "$port"
run recorded "$port" --record "$work/recorded.replay"
grep -q '^[0-9]* http [0-9]* ok 200 ' "$work/recorded.replay" || fail "the recorded run got no answer from the server"
cmp -s "$work/plain.log" "$work/recorded.log" ||
  fail "without --record the run differs from the recorded one: $(diff "$work/plain.log" "$work/recorded.log" | head -n 10)"
# Nothing listens on port 9: the request fails at once, and the game says so.
run refused 9
cmp -s "$work/plain.log" "$work/refused.log" && fail "the run went the same with and without a server"
echo "ok: without --record the answer of the server is waited for, as with it ($(wc -l <"$work/plain.log") lines)"
echo "1 passed, 0 failed"
