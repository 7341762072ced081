#!/usr/bin/env bash
# Usage: report.sh GAME-FOLDER RECORDINGS-DIR
# The whole listening report: the pack clip by clip, every recorded session, the masking model,
# the speech recognizer. RECORDINGS-DIR is what record.sh left (made with the same pack).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
game=$1 rec=$2
py=/usr/bin/python3
echo "## pack"
"$py" "$here/listen.py" pack "$game" | tee "$rec/pack.txt" | awk -F'\t' '
  NR == 1 { next }
  NF >= 10 { n++; if ($6 > dc) { dc = $6; dcc = $1 } if ($7 > s) { s = $7; sc = $1 } if ($8 > e) { e = $8; ec = $1 }
             if ($9 > t) { t = $9; tc = $1 } }
  NF == 13 && $11 > 1.5 * $12 { jumps = jumps " " $1 }
  NF < 10 && NF > 1 { print }
  END { printf "worst DC %s (%s), first sample %s (%s), last sample %s (%s), tail %s ms (%s)\n", dc, dcc, s, sc, e, ec, t, tc
        printf "loops whose seam jumps more than 1.5x the steps around it:%s\n", jumps == "" ? " none" : jumps }'
awk -F'\t' 'NF == 13 && NR > 1 { printf "seam %s: jump %s, steps around %s, seam HF %s dB\n", $1, $11, $12, $13 }' "$rec/pack.txt"
grep -E "itemon|bonusround" "$rec/pack.txt" | awk -F'\t' '{ printf "%s: %s s\n", $1, $10 }'
echo "## sessions"
for log in "$rec"/*.log; do
  "$py" "$here/listen.py" session "$game" "$log" "${log%.log}.wav"
done | tee "$rec/sessions.txt" | grep -v '^  '
awk '/^  [0-9]+ (same|other)/ { n++; s += $NF; if ($2 == "same") { sn++; ss += $NF } t[$1] += $NF; tn[$1]++; h[$1] += $4 }
     END { if (n) printf "all recorded approaches: %.0f%% heard on average over %d cars (same lane %.0f%%, %d cars)\n", s / n, n, ss / sn, sn
           for (k in t) printf "  tick %s ms: %.0f%%, heard %.2f s before arrival (%d cars)\n", k, t[k] / tn[k], h[k] / tn[k], tn[k] }' \
  <(sed 's/%//' "$rec/sessions.txt")
echo "## model"
"$py" "$here/listen.py" model "$game"
echo "## speech recognizer"
"$py" "$here/recognize.py" "$here/../soundpack/manifest.tsv" "$game" | tail -n 1
