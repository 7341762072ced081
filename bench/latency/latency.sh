#!/usr/bin/env bash
# Key to ear on the real platform, for several audio buffer sizes side by side (by default 512
# frames, the old size, and 256, the default now):
#   bench/latency/latency.sh BUILD_DIR [PRESSES] [FRAMES...]
# 1. SDL's dummy driver (it pulls the mix at real-time pace like a sound card): from the key
#    handler to the callback that mixes the click's first sample, over PRESSES presses (40).
# 2. A PulseAudio null sink, started here (as root too) and stopped at the end: the same, plus
#    the buffer and sink latency the server reports for the stream (`pactl list sink-inputs`).
# key_to_ear = key_to_mix + the server's buffer latency (the sink's own latency aside).
# Needs Xvfb (the window), and pulseaudio + pactl for part 2 (scripts/packages-test.txt).
set -euo pipefail
build=$(cd "${1:?usage: latency.sh BUILD_DIR [PRESSES] [FRAMES...]}" && pwd)
presses=${2:-40}
shift $(( $# >= 2 ? 2 : 1 ))
sizes=("$@")
(( ${#sizes[@]} )) || sizes=(512 256)
bin=$build/bench/latency/bench_latency
[[ -x $bin ]] || { echo "latency.sh: build bench_latency first (cmake --build $1 --target bench_latency)" >&2; exit 2; }
work=$(mktemp -d)
cleanup() {
  [[ -n ${pulse:-} ]] && kill "$pulse" 2>/dev/null && wait "$pulse" 2>/dev/null
  [[ -n ${xvfb:-} ]] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

for n in $(seq 171 199); do [[ -e /tmp/.X$n-lock ]] || { display=":$n"; break; }; done
Xvfb "$display" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
export DISPLAY=$display SDL_FRAMEBUFFER_ACCELERATION=0
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

settings() {  # a settings folder asking for $1 frames
  mkdir -p "$work/cfg$1"
  printf '[zorvan]\r\naudiobuffer=%s\r\n' "$1" > "$work/cfg$1/Kestrine.ini"
  echo "$work/cfg$1"
}
field() { tr ' ' '\n' <<<"$1" | sed -n "s/^$2=//p"; }

echo "== SDL dummy driver, $presses presses: key handled -> first mixed sample (ms)"
printf '%8s %10s %10s %10s %10s %18s\n' frames median p90 max min event_to_handled
for frames in "${sizes[@]}"; do
  line=$(XDG_CONFIG_HOME=$(settings "$frames") SDL_AUDIODRIVER=dummy "$bin" --presses "$presses")
  printf '%8s %10s %10s %10s %10s %18s\n' "$(field "$line" buffer)" "$(field "$line" key_to_mix_median)" "$(field "$line" key_to_mix_p90)" \
    "$(field "$line" key_to_mix_max)" "$(field "$line" key_to_mix_min)" "$(field "$line" event_to_handled_median)"
done

if ! command -v pulseaudio >/dev/null || ! command -v pactl >/dev/null; then
  echo "latency.sh: no pulseaudio/pactl: the sound server's part is skipped" >&2
  exit 0
fi
export PULSE_RUNTIME_PATH=$work/pulse HOME=$work XDG_RUNTIME_DIR=$work/pulse
mkdir -p "$PULSE_RUNTIME_PATH" && chmod 700 "$PULSE_RUNTIME_PATH"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
  --load="module-null-sink sink_name=bench rate=48000" \
  --load="module-native-protocol-unix auth-anonymous=1 socket=$work/pulse/native" \
  >"$work/pulse.log" 2>&1 & pulse=$!
export PULSE_SERVER=unix:$work/pulse/native
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { echo "latency.sh: PulseAudio did not start:" >&2; cat "$work/pulse.log" >&2; exit 1; }

echo "== PulseAudio null sink, $presses presses (ms)"
printf '%8s %10s %10s %10s %14s %12s %12s %10s %10s\n' frames median p90 max buffer_lat sink_lat ear_median ear_p90 ear_max
for frames in "${sizes[@]}"; do
  XDG_CONFIG_HOME=$(settings "$frames") SDL_AUDIODRIVER=pulseaudio "$bin" --presses "$presses" >"$work/out" &
  bench=$!
  : >"$work/inputs"
  for _ in 1 2 3 4 5; do sleep 1; pactl list sink-inputs >>"$work/inputs" || true; done
  wait "$bench"
  line=$(cat "$work/out")
  # The median of the server's five reports.
  mid() { sort -n | awk '{v[NR] = $1} END {if (NR) printf "%.2f", v[int((NR + 1) / 2)] / 1000}'; }
  buf=$(awk '/Buffer Latency:/ {print $3}' "$work/inputs" | mid)
  sink=$(awk '/Sink Latency:/ {print $3}' "$work/inputs" | mid)
  med=$(field "$line" key_to_mix_median); p90=$(field "$line" key_to_mix_p90); max=$(field "$line" key_to_mix_max)
  sum() { awk -v a="$1" -v b="${buf:-0}" 'BEGIN{printf "%.2f", a + b}'; }
  printf '%8s %10s %10s %10s %14s %12s %12s %10s %10s\n' "$(field "$line" buffer)" "$med" "$p90" "$max" "${buf:-?}" \
    "${sink:-?}" "$(sum "$med")" "$(sum "$p90")" "$(sum "$max")"
done
