#!/usr/bin/env bash
# Where the core writes into the main form's fields from outside the form's own file: every
# assignment, compound assignment, ++/-- or saturating step on `form.X` / `form_.X`, by file.
#   bench/layering/form_writes.sh [SOURCE_TREE]   (default: this checkout's src/)
set -euo pipefail
src=${1:-$(dirname "$0")/../../src}
cd "$src"
field='\bform_?\.[A-Za-z_][A-Za-z_0-9.]*(\[[^]]*\])?'
grep -rnE "$field *([-+*/|&]?=[^=]|\+\+|--)|(\+\+|--) *form_?\.[A-Za-z_]|(std::swap|saturating[A-Za-z]*)\( *form_?\." \
  --include=*.cpp --include=*.h . | grep -v '^./game/main_form.cpp:\|^./configuration/' > "${TMPDIR:-/tmp}/form_writes.$$" || true
cut -d: -f1 "${TMPDIR:-/tmp}/form_writes.$$" | sort | uniq -c
echo "$(wc -l < "${TMPDIR:-/tmp}/form_writes.$$") writes into the form from $(cut -d: -f1 "${TMPDIR:-/tmp}/form_writes.$$" | sort -u | wc -l) files"
rm -f "${TMPDIR:-/tmp}/form_writes.$$"
