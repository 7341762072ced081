#!/usr/bin/env bash
# The longest functions of the core (those defined at the left margin, the house style),
# longest first, counted in lines from the signature's opening brace to the closing one.
#   bench/layering/longest_functions.sh [SOURCE_TREE] [HOW_MANY]   (default: this src/, 10)
set -euo pipefail
src=${1:-$(dirname "$0")/../../src}
cd "$src"
find . -name '*.cpp' ! -path './configuration/*' | sort | while read -r file; do
  awk -v file="${file#./}" '
    /^(namespace|struct|class|enum|union|extern|template|#|\/\/|})/ { if (!open) { sig = ""; next } }
    !open && /^[A-Za-z~].*\{ *$/ {
      open = 1; start = NR; text = sig $0
      name = text; sub(/\(.*/, "", name); n = split(name, parts, /[ *&]+/); name = parts[n]
      next
    }
    !open && /^[A-Za-z~]/ { sig = $0; next }
    !open && /^    / && sig != "" { sig = sig $0; next }
    open && /^}/ { printf "%d %s %s:%d\n", NR - start + 1, name, file, start; open = 0; sig = "" }
  ' "$file"
done | sort -rn | head -n "${2:-10}"
