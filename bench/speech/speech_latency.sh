#!/usr/bin/env bash
# The time from a message of the game to its first words at speech-dispatcher: the game's own
# adapter hands N messages to a speech-dispatcher of this run (tests/e2e/speechd.sh), whose
# module notes the time it gets each. Prints the median, 90th percentile and largest, in ms.
#   bench/speech/speech_latency.sh BUILD_DIR [N] [GAP_MS]
set -euo pipefail
build=$(cd "${1:?usage: speech_latency.sh BUILD_DIR [N] [GAP_MS]}" && pwd)
count=${2:-50}
gap=${3:-300}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
fail() { echo "speech_latency.sh: $*" >&2; exit 1; }
source "$here/../../tests/e2e/speechd.sh"
trap 'stop_speechd; wait 2>/dev/null || true; rm -rf "$work"' EXIT
STAMP=1 start_speechd "$work/got.txt"
"$build/bench/speech/speech_latency" "$count" "$gap" >"$work/sent.txt"
sleep 1
/usr/bin/python3 - "$work/sent.txt" "$work/got.txt" <<'PY'
import sys
sent = {line.split(' ', 1)[1].strip(): int(line.split(' ', 1)[0]) for line in open(sys.argv[1]) if line.strip()}
got = {}
for line in open(sys.argv[2]):
    stamp, _, text = line.strip().partition(' ')
    if text in sent and text not in got: got[text] = int(stamp)
ms = sorted((got[t] - sent[t]) / 1e6 for t in got)
if not ms: sys.exit("no message reached the module")
pick = lambda q: ms[min(len(ms) - 1, int(q * len(ms)))]
print(f"messages {len(sent)} reached {len(ms)}  median {pick(0.5):.1f} ms  p90 {pick(0.9):.1f} ms  max {ms[-1]:.1f} ms")
PY
