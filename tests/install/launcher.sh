#!/usr/bin/env bash
# The launcher (scripts/play, also /usr/games/zorvan): Configuration first without a profile;
# the score server it starts for the game stops when the game ends, also when the launcher is
# told to stop; a server that was already running is left alone. The game and Configuration
# are stand-ins; the score server is the real one. Runs in a network namespace of its own so
# that the score server's fixed port is this test's alone (needs root).
set -euo pipefail
src=$1 scores=$2 work=$3
if [[ ${ZORVAN_LAUNCHER_NETNS:-} != 1 ]]; then
  [[ $(id -u) -eq 0 ]] || { echo "skipped: a network namespace needs root"; exit 77; }
  exec unshare --net -- env ZORVAN_LAUNCHER_NETNS=1 bash "$0" "$@"
fi
ip link set lo up
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$work"; mkdir -p "$work/game" "$work/data"
export XDG_DATA_HOME=$work/data DISPLAY=:0 XDG_CONFIG_HOME=$work/config
data=$work/data/zorvan
game=$work/game
cp "$scores" "$game/zorvan-scores"
# The stand-in game waits for $work/end (or a signal), and answers TERM as the game does.
cat > "$game/zorvan" <<'STUB'
#!/usr/bin/env bash
work=$(dirname "$(dirname "$0")")
echo started >> "$work/game.log"
trap 'echo terminated >> "$work/game.log"; exit 0' TERM
for _ in $(seq 300); do [[ -e $work/end ]] && { rm -f "$work/end"; exit 3; }; sleep 0.1; done
exit 9
STUB
cat > "$game/Configuration" <<'STUB'
#!/usr/bin/env bash
work=$(dirname "$(dirname "$0")")
echo configuration >> "$work/game.log"
mkdir -p "$XDG_DATA_HOME/zorvan"
printf '"Ada"\r\n"ada@example.org"\r\n"GB"\r\n' > "$XDG_DATA_HOME/zorvan/config.dat"
STUB
chmod +x "$game/zorvan" "$game/Configuration"

answers() { (exec 3<>/dev/tcp/127.0.0.1/28517) 2>/dev/null; }
server_pids() {  # score servers running from the stand-in game folder
  local exe
  for exe in /proc/[0-9]*/exe; do
    [[ $(readlink "$exe" 2>/dev/null) == "$game/zorvan-scores" ]] && { exe=${exe#/proc/}; echo "${exe%/exe}"; }
  done
  return 0
}
await() { for _ in $(seq 100); do eval "$1" && return 0; sleep 0.1; done; fail "$2"; }

# 1. No profile: Configuration, then the game with a server of its own, which ends with it.
"$src/scripts/play" "$game" >"$work/play1.out" 2>&1 &
launcher=$!
await 'grep -q started "$work/game.log" 2>/dev/null' "the game did not start"
grep -q configuration "$work/game.log" || fail "Configuration was not opened first"
await answers "no score server answers while the game runs"
[[ -n $(server_pids) ]] || fail "the server answering is not the one the launcher started"
[[ -f $data/scores.db ]] || fail "the server's database is not in the data folder"
touch "$work/end"
set +e; wait "$launcher"; status=$?; set -e
[[ $status -eq 3 ]] || fail "the launcher ended with $status, not the game's status 3"
[[ -z $(server_pids) ]] || fail "the server started for the game still runs after it"
! answers || fail "something still answers on the server's port"
echo "no profile: Configuration first; the launcher's score server ended with the game"

# 2. The launcher told to stop: the game hears it, and the server still goes.
: > "$work/game.log"
"$src/scripts/play" "$game" >"$work/play2.out" 2>&1 &
launcher=$!
await 'grep -q started "$work/game.log" 2>/dev/null' "the game did not start"
grep -q configuration "$work/game.log" && fail "Configuration opened although there is a profile"
await answers "no score server answers while the game runs"
kill -TERM "$launcher"
set +e; wait "$launcher"; set -e
grep -q terminated "$work/game.log" || fail "the game was not told to stop"
[[ -z $(server_pids) ]] || fail "the server still runs after the launcher was stopped"
echo "launcher stopped: the game was told, the server ended"

# 3. A server already running: used, and left running.
mkdir -p "$work/other"
cp "$scores" "$work/other/zorvan-scores"
"$work/other/zorvan-scores" --db "$work/other/scores.db" --quiet >"$work/other.log" 2>&1 &
other=$!
trap 'kill $other 2>/dev/null || true' EXIT
await answers "the other server does not answer"
: > "$work/game.log"
rm -f "$data/zorvan-scores.log"
"$src/scripts/play" "$game" >"$work/play3.out" 2>&1 &
launcher=$!
await 'grep -q started "$work/game.log" 2>/dev/null' "the game did not start"
[[ -z $(server_pids) && ! -e $data/zorvan-scores.log ]] || fail "a second server was started beside the running one"
touch "$work/end"
set +e; wait "$launcher"; set -e
kill -0 "$other" 2>/dev/null || fail "the server that was already running was stopped"
answers || fail "the server that was already running no longer answers"
echo "a server already running: left alone"
