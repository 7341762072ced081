# Shared by the tests of the Windows programs under wine. Source it after setting `work`.
# wine runs in the prefix `make test-windows` sets up (WINEPREFIX); each test keeps its own
# files in its own portable game folder, so tests may run side by side in one prefix.

wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

fail() {
  echo "FAIL: $*" >&2
  [[ -s $work/zorvan.out ]] && { echo "--- zorvan's output:" >&2; tail -n 30 "$work/zorvan.out" >&2; }
  exit 1
}

# winpath PATH: the path as a Windows program is given it (wine shows / as drive Z:).
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }

# portable_game FROM TO: a copy of the Windows game folder that keeps its data beside itself.
portable_game() {
  rm -rf "$2"
  mkdir -p "$(dirname "$2")"
  cp -a "$1" "$2"
  rm -rf "$2/data"
  printf 'portable\r\n' >"$2/portable.txt"
}
