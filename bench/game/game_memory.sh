#!/usr/bin/env bash
# Resident memory of the real game in its main menu (target under 50 MB), and whether a GPU or
# software-GL stack (Mesa, LLVM) got loaded to draw its window.
#   bench/game/game_memory.sh GAME_FOLDER [SECONDS]
# The game runs in its window under a private Xvfb with SDL's dummy audio driver, is taken past
# the logo and the introduction and left SECONDS (5) in the menu; then VmRSS and VmHWM are read
# from /proc. Set SDL_FRAMEBUFFER_ACCELERATION=0 to see the window drawn without GL.
set -euo pipefail
game=$(cd "${1:?usage: game_memory.sh GAME_FOLDER [SECONDS]}" && pwd)
seconds=${2:-5}
[[ -x "$game/zorvan" && -d "$game/sounds" ]] || { echo "game_memory.sh: $game needs zorvan and sounds/" >&2; exit 2; }
source "$(dirname "$0")/start_game.sh"
sleep 1; xdotool key --window "$window" space; sleep 1; xdotool key --window "$window" space
sleep "$seconds"
kill -0 "$pid" 2>/dev/null || { echo "game_memory.sh: zorvan ended early" >&2; exit 1; }
kb() { awk -v k="$1:" '$1 == k {print $2}' "/proc/$pid/status"; }
gl=$(grep -Eo '[^/]*(LLVM|swrast|libGL|libEGL|dri|gallium)[^/]*\.so[^ ]*$' "/proc/$pid/maps" | sort -u | tr '\n' ' ' || true)
awk -v r="$(kb VmRSS)" -v h="$(kb VmHWM)" -v a="$(kb RssAnon)" -v f="$(kb RssFile)" -v g="${gl:-none}" \
  -v acc="${SDL_FRAMEBUFFER_ACCELERATION-unset}" \
  'BEGIN { printf "zorvan (menu, SDL_FRAMEBUFFER_ACCELERATION=%s): resident %.1f MB (peak %.1f MB; anonymous %.1f MB, files %.1f MB); GL libraries: %s\n",
           acc, r / 1024, h / 1024, a / 1024, f / 1024, g }'
