#!/usr/bin/env bash
# Runs the same four scripted sessions through two builds of zorvan-sim (each with --wav, and
# without, which only advances time), checks that the event logs are identical byte for byte,
# and measures the recordings at every stop or release: how loud the sound cut there was, and
# the largest sample-to-sample step in the 2 ms after it in each recording.
#
#   bench/mixer/compare_sim.sh OLD_SIM NEW_SIM GAME_FOLDER [WORK_FOLDER]
set -euo pipefail
old=$1 new=$2 game=$3 work=${4:-$(mktemp -d)}
mkdir -p "$work"
cat > "$work/keys1.txt" <<'KEYS'
500 Space
+500 Space
+3000 Enter
+2000 Down
+300 Enter
+2000 Enter
+3000 Up
+3000 Left
KEYS
cat > "$work/keys2.txt" <<'KEYS'
400 Space
+400 Space
+2500 Enter
+1500 Enter
+1500 Down
+300 Enter
+2500 Up
+1500 Up
+2000 Right
+1200 Left
+1500 Up
+4000 Down
+3000 Escape
+2000 Enter
KEYS
cat > "$work/keys3.txt" <<'KEYS'
300 Space
+300 Space
+800 Down
+200 Down
+200 Up
+200 Enter
+1000 Escape
+500 Down
+300 Enter
+1000 Escape
+300 Escape
KEYS
runs=("keys1.txt 42 40000" "keys2.txt 7 60000" "keys3.txt 1234 20000" "keys2.txt 99 90000")
for tag in old new; do
  sim=$old; [[ $tag == new ]] && sim=$new
  i=0
  for run in "${runs[@]}"; do
    read -r keys seed until <<<"$run"
    i=$((i + 1))
    for mode in wav plain; do
      g="$work/game" c="$work/config"
      rm -rf "$g" "$c"; cp -r "$game" "$g"; mkdir -p "$c"
      printf 'Ada Lovelace\r\nnun\r\nGB\r\n' > "$g/config.dat"
      extra=(); [[ $mode == wav ]] && extra=(--wav "$work/$tag.s$i.wav")
      XDG_CONFIG_HOME="$c" "$sim" --folder "$g" --keys "$work/$keys" --seed "$seed" --until "$until" \
        --log "$work/$tag.s$i.$mode.log" "${extra[@]}"
    done
  done
done
status=0
for i in 1 2 3 4; do
  for mode in wav plain; do
    if cmp -s "$work/old.s$i.$mode.log" "$work/new.s$i.$mode.log"; then
      echo "session $i ($mode): event logs identical, $(wc -l < "$work/new.s$i.$mode.log") lines"
    else
      echo "session $i ($mode): event logs DIFFER"; diff "$work/old.s$i.$mode.log" "$work/new.s$i.$mode.log" | head; status=1
    fi
  done
done
/usr/bin/python3 - "$work" <<'PY'
import re, sys
import numpy as np, scipy.io.wavfile as wf
work = sys.argv[1]
for i in range(1, 5):
    rate, a = wf.read(f'{work}/old.s{i}.wav')
    _, b = wf.read(f'{work}/new.s{i}.wav')
    scale = 32768.0 if a.dtype == np.int16 else 1.0
    a = a.astype(np.float64) / scale
    b = b.astype(np.float64) / scale
    d = b - a
    log = open(f'{work}/new.s{i}.wav.log').read().splitlines()
    stops = sorted({int(l.split()[0]) for l in log if re.match(r'^\d+ (stop|release) ', l)})
    rows = []
    for ms in stops:
        f = ms * rate // 1000
        w = np.abs(d[max(f - 2, 0):f + 4]).max(axis=1)
        nz = np.nonzero(w > 2 / 32768)[0]
        if len(nz) == 0:
            continue
        f0 = max(f - 2, 0) + nz[0]
        rows.append((np.abs(d[f0]).max(),
                     np.abs(np.diff(a[f0 - 1:f0 + rate // 500], axis=0)).max(),
                     np.abs(np.diff(b[f0 - 1:f0 + rate // 500], axis=0)).max()))
    rows = np.array(rows).reshape(-1, 3)
    big = rows[rows[:, 0] > 0.01]
    differing = np.any(np.abs(d) > 1.5 / 32768, axis=1).mean() * 100
    line = (f'session {i}: {len(a) / rate:.0f} s, {len(stops)} moments with a stop or release, '
            f'{differing:.2f} % of frames differ; ')
    if len(big):
        line += (f'{len(big)} cut a sound louder than 0.01 (largest {big[:, 0].max():.3f}); largest step in the '
                 f'2 ms after: old {big[:, 1].max():.3f} (median {np.median(big[:, 1]):.3f}), '
                 f'new {big[:, 2].max():.3f} (median {np.median(big[:, 2]):.3f})')
    print(line)
PY
exit $status
