#!/usr/bin/env bash
# Key to sound under wine: bench_latency.exe (bench/latency's measurement, cross-built) on
# WASAPI into a PulseAudio null sink, with the stream latency WASAPI reports for the default
# device. key_to_ear = key_to_mix + that stream latency.
#   bench/windows/latency.sh WINDOWS_BUILD [PRESSES]
# WINEPREFIX as make test-windows sets it (WINDOWS_CACHE/wine-prefix).
set -euo pipefail
build=$(cd "${1:?usage: latency.sh WINDOWS_BUILD [PRESSES]}" && pwd)
presses=${2:-40}
work=$(mktemp -d)
source "$(dirname "$0")/../../tests/windows/wine_lib.sh"
trap 'cleanup; rm -rf "$work"' EXIT
bin=$build/bench/windows/bench_latency.exe
report=$build/bench/windows/wasapi_report.exe
[[ -f $bin ]] || fail "build bench_latency first (cmake --build $1 --target bench_latency)"
start_xvfb
start_pulse
[[ -f $report ]] && echo "WASAPI under wine: $("$wine64" "$report")"
field() { tr ' ' '\n' <<<"$1" | sed -n "s/^$2=//p"; }
line=$("$wine64" "$bin" --presses "$presses" 2>"$work/err") || { cat "$work/err" >&2; fail "bench_latency.exe failed"; }
echo "$line"
echo "key to mix (ms): median $(field "$line" key_to_mix_median), p90 $(field "$line" key_to_mix_p90)," \
     "max $(field "$line" key_to_mix_max)"
