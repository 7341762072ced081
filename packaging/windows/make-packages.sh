#!/usr/bin/env bash
# Builds the two Windows packages from the assembled game folder:
#   OUT_DIR/zorvan-VERSION-setup.exe             the installer (NSIS)
#   OUT_DIR/zorvan-VERSION-windows-portable.zip  the same programs and pack, with portable.txt
# Usage: make-packages.sh STAGE_DIR OUT_DIR VERSION
set -euo pipefail
if [[ $# -ne 3 ]]; then
  echo "usage: $0 STAGE_DIR OUT_DIR VERSION" >&2
  exit 2
fi
stage=$1
out=$2
version=$3
here=$(cd "$(dirname "$0")" && pwd)

[[ $version =~ ^[0-9]+(\.[0-9]+)?$ ]] || { echo "$0: VERSION must be N or N.N, not \"$version\"" >&2; exit 2; }
for needed in zorvan.exe Configuration.exe; do
  [[ -f $stage/$needed ]] || { echo "$0: $stage has no $needed" >&2; exit 1; }
done
for tool in makensis zip; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing (apt-get install nsis zip)" >&2; exit 1; }
done
stage=$(cd "$stage" && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every staged file but a portable.txt, which would make an installed game keep its data in
# the read-only program folder, and the data folder a portable run there would have made.
(cd "$stage" && find . -type f ! -path ./portable.txt ! -path './data/*' -printf '%P\n' | LC_ALL=C sort) >"$work/files"
(cd "$stage" && find . -mindepth 1 -type d ! -path ./data ! -path './data/*' -printf '%P\n' | LC_ALL=C sort -r) >"$work/dirs"

# NSIS reads $ as its own; Windows wants backslashes.
nsis_path() { local p=${1//\$/\$\$}; printf '%s' "${p//\//\\}"; }
{
  echo '!macro InstallFiles'
  current=
  while IFS= read -r file; do
    dir=$(dirname "$file")
    [[ $dir == . ]] && dir=
    if [[ $dir != "$current" ]]; then
      echo "  SetOutPath \"\$INSTDIR${dir:+\\$(nsis_path "$dir")}\""
      current=$dir
    fi
    echo "  File \"$(nsis_path "$stage/$file")\""
  done <"$work/files"
  echo '  SetOutPath "$INSTDIR"'
  echo '!macroend'
  echo '!macro RemoveFiles'
  while IFS= read -r file; do echo "  Delete \"\$INSTDIR\\$(nsis_path "$file")\""; done <"$work/files"
  while IFS= read -r dir; do echo "  RMDir \"\$INSTDIR\\$(nsis_path "$dir")\""; done <"$work/dirs"
  echo '!macroend'
} >"$work/files.nsh"
# NSIS takes the host's path for File, so forward slashes stay there.
sed -i '/^  File /s/\\/\//g' "$work/files.nsh"

size_kb=$(du -sk --apparent-size "$stage" | cut -f1)
setup=$out/zorvan-$version-setup.exe
makensis -V2 -NOCD -DVERSION="$version" -DSTAGE="$stage" -DOUT_FILE="$setup" -DFILES="$work/files.nsh" \
  -DSIZE_KB="$size_kb" "$here/zorvan.nsi"

# The zip unpacks into one folder, zorvan-VERSION, that holds the game and portable.txt.
top=zorvan-$version
mkdir "$work/$top"
while IFS= read -r file; do
  mkdir -p "$work/$top/$(dirname "$file")"
  ln "$stage/$file" "$work/$top/$file" 2>/dev/null || cp "$stage/$file" "$work/$top/$file"
done <"$work/files"
sed 's/$/\r/' "$here/portable.txt" >"$work/$top/portable.txt"
zip_file=$out/zorvan-$version-windows-portable.zip
rm -f "$zip_file"
(cd "$work" && LC_ALL=C find "$top" -print | LC_ALL=C sort | zip -q -X -9 "$zip_file" -@)
echo "$setup"
echo "$zip_file"
