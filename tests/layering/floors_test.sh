#!/usr/bin/env bash
# The floors of the core hold: from each floor's include path, a header of any floor above
# it cannot be found, while its own headers and those below compile.
#   floors_test.sh COMPILER VIEWS SRC FOLDER...   (the floors' folders, lowest first)
set -uo pipefail
compiler=$1 views=$2 src=$3
shift 3
floors=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

first_header() { find "$src/$1" -maxdepth 1 -name '*.h' | sort | head -n 1 | sed "s|^$src/||"; }
compile() {  # view, header: the compiler's output; status 0 when it compiled
  printf '#include "%s"\n' "$2" > "$work/probe.cpp"
  "$compiler" -std=c++20 -fsyntax-only -I "$views/$1" "$work/probe.cpp" 2>&1
}

for ((i = 0; i < ${#floors[@]}; i++)); do
  folder=${floors[i]}
  view=${folder//\//_}
  own=$(first_header "$folder")
  if ! out=$(compile "$view" "$own"); then
    echo "FAIL: $folder/ cannot include its own $own"; echo "$out" | head -5; ((failures++))
  fi
  for ((j = i + 1; j < ${#floors[@]}; j++)); do
    above=$(first_header "${floors[j]}")
    if out=$(compile "$view" "$above"); then
      echo "FAIL: $folder/ can include $above, a floor above it"; ((failures++))
    elif ! grep -q "${above##*/}: No such file" <<< "$out"; then
      echo "FAIL: $folder/ including $above failed, but not for want of the file:"; echo "$out" | head -5; ((failures++))
    fi
  done
  echo "$folder: its own headers compile; the $(( ${#floors[@]} - i - 1 )) floors above are out of reach"
done
exit $(( failures > 0 ))
