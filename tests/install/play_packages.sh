#!/usr/bin/env bash
# `make play` on a fresh clone installs no package that only the tests and benchmarks need:
# the two lists share no name, `make play` asks for the play list alone, install-deps takes only
# that list for it, and nothing on it pulls a test-only package in through its dependencies.
set -euo pipefail
src=$1 work=$2
rm -rf "$work"; mkdir -p "$work/bin"
fail() { echo "FAIL: $*"; exit 1; }
names() { grep -v -e '^[[:space:]]*#' -e '^[[:space:]]*$' "$1" | sort -u; }
names "$src/scripts/packages-play.txt" > "$work/play"
names "$src/scripts/packages-test.txt" > "$work/test"
[[ -s $work/play && -s $work/test ]] || fail "a package list is empty"

both=$(comm -12 "$work/play" "$work/test")
[[ -z $both ]] || fail "on both lists: $both"

# What `make play` runs, without running it.
make -C "$src" -n play BUILD="$work/build" > "$work/make-play.txt" 2>&1 || true
grep -q 'install-deps play' "$work/make-play.txt" || fail "make play does not install the play list: $(cat "$work/make-play.txt")"
! grep -q 'install-deps test' "$work/make-play.txt" || fail "make play installs the test list"

# install-deps on a system with nothing installed: the packages it hands to apt-get.
cat > "$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
exit 1
STUB
cat > "$work/bin/apt-get" <<'STUB'
#!/bin/sh
skip=0 cmd=
for a; do
  if [ $skip = 1 ]; then skip=0; continue; fi
  case $a in
    -o) skip=1 ;;
    -*) ;;
    *) if [ -z "$cmd" ]; then cmd=$a; elif [ "$cmd" = install ]; then echo "$a" >> "$APT_RECORD"; fi ;;
  esac
done
STUB
printf '#!/bin/sh\nexec "$@"\n' > "$work/bin/sudo"
chmod +x "$work/bin/"*
APT_RECORD="$work/asked" PATH="$work/bin:$PATH" "$src/scripts/install-deps" play >/dev/null
sort -u "$work/asked" > "$work/asked.sorted"
cmp -s "$work/asked.sorted" "$work/play" || fail "install-deps play asked for: $(diff "$work/play" "$work/asked.sorted")"

# Dependencies (not recommendations: install-deps passes --no-install-recommends).
apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
  --no-replaces --no-enhances $(cat "$work/play") 2>/dev/null |
  awk '/^[a-z0-9]/ {print $1}' | sort -u > "$work/closure"
[[ $(wc -l < "$work/closure") -gt $(wc -l < "$work/play") ]] || fail "apt-cache gave no dependencies"
pulled=$(comm -12 "$work/closure" "$work/test")
[[ -z $pulled ]] || fail "the play list pulls in test-only packages: $pulled"
echo "make play: $(wc -l < "$work/play") packages asked for, $(wc -l < "$work/closure") with dependencies, none of the $(wc -l < "$work/test") test-only ones"
