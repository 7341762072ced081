#!/usr/bin/env bash
# The include arrows of the core that run upward, against the floors (lowest first):
#   platform sound platform/sim menus online race records car traffic game
# Prints each arrow (file: included header) and their count.
#   bench/layering/upward_includes.sh [SOURCE_TREE]   (default: this checkout's src/)
set -euo pipefail
src=${1:-$(dirname "$0")/../../src}
floors=(platform sound platform/sim menus online race records car traffic game)
rank() {  # the floor of a path under src/ (its longest matching folder), -1 for none
  local best=-1 len=0 i
  for i in "${!floors[@]}"; do
    local f=${floors[i]}
    if [[ $1 == "$f"/* && ${#f} -gt $len ]]; then
      # platform/sdl is an adapter above every floor; platform/win's headers (Windows' own
      # calls behind the ports) belong to the platform floor
      [[ $1 == platform/sdl/* ]] && { echo 99; return; }
      best=$i len=${#f}
    fi
  done
  echo $best
}
count=0
cd "$src"
while IFS= read -r file; do
  from=$(rank "$file")
  (( from < 0 || from == 99 )) && continue
  while IFS= read -r header; do
    to=$(rank "$header")
    if (( to > from )); then echo "$file: $header"; count=$((count + 1)); fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find platform sound menus online race records car traffic game -name '*.h' -o -name '*.cpp' 2>/dev/null | sort)
echo "$count upward include arrows"
