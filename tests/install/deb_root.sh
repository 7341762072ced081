#!/usr/bin/env bash
# The Debian package on a fresh minimal Debian 12: builds it with CPack, has lintian find no
# error in it, installs it with apt into a throwaway copy of a debootstrap --variant=minbase
# bookworm root, checks the programs, the sound pack, the desktop entry and the score server's
# unit (installed, not enabled), starts the installed launcher under Xvfb with SDL's disk audio
# driver (no profile: Configuration opens first; with one: the game reaches its main menu and
# the score server it started stops with it), then removes the package and checks that the
# player's data folder is still there.
#
# The minbase root and the downloaded packages are cached in $ZORVAN_DEB_CACHE (default
# /var/cache/zorvan-deb-test), so only the first run downloads a system. Needs root.
set -euo pipefail
build=$1 work=$2
cache=${ZORVAN_DEB_CACHE:-/var/cache/zorvan-deb-test}
fail() { echo "FAIL: $*"; exit 1; }
[[ $(id -u) -eq 0 ]] || fail "needs root (debootstrap, chroot)"
for tool in debootstrap lintian desktop-file-validate Xvfb xdotool xdpyinfo sox unshare; do
  command -v $tool >/dev/null || fail "$tool is not installed (make test installs it)"
done

# The mirror this machine's apt uses, so the root installs from the same place.
mirror=$(apt-get indextargets --format '$(REPO_URI)' 'Codename: bookworm' 'Component: main' 2>/dev/null |
  grep -v security | head -n 1)
mirror=${mirror:-http://deb.debian.org/debian/}

chroot_run() {  # chroot_run ROOT COMMAND...: with /proc, /dev and the X socket of the host
  local root=$1; shift
  unshare --mount --propagation private -- bash -c '
    root=$1; shift
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    if [[ -d /tmp/.X11-unix ]]; then
      mkdir -p "$root/tmp/.X11-unix" && mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
    fi
    [[ -d $ZORVAN_ARCHIVES ]] && mount --bind "$ZORVAN_ARCHIVES" "$root/var/cache/apt/archives"
    exec chroot "$root" "$@"' bash "$root" "$@"
}
export ZORVAN_ARCHIVES=$cache/archives

rm -rf "$work"; mkdir -p "$work" "$cache/archives/partial"
exec 9>"$cache/lock"
flock 9  # one run at a time prepares or copies the root

# 1. The package.
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb=$build/zorvan_${version}_amd64.deb
[[ -f $deb ]] || fail "no $deb (CPack wrote: $(ls "$build"/*.deb 2>/dev/null))"
echo "built $(basename "$deb"), $(du -k "$deb" | cut -f1) kB"
lintian --fail-on error --no-tag-display-limit "$deb" >"$work/lintian.txt" 2>&1 ||
  { cat "$work/lintian.txt"; fail "lintian reports errors"; }
echo "lintian: $(grep -c '^E:' "$work/lintian.txt" || true) errors, $(grep -c '^W:' "$work/lintian.txt" || true) warnings"

# 2. The cached minimal root, made once.
base=$cache/bookworm-minbase
if [[ ! -f $base/.complete ]]; then
  echo "making the minimal Debian 12 root (once) from $mirror"
  rm -rf "$base.new"
  debootstrap --variant=minbase bookworm "$base.new" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 20 "$work/debootstrap.log"; fail "debootstrap failed"; }
  # The same suites as this machine: updates and security fixes too.
  cat > "$base.new/etc/apt/sources.list" <<SOURCES
deb ${mirror} bookworm main
deb ${mirror} bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
SOURCES
  rm -f "$base.new/etc/apt/apt.conf.d/docker-clean"
  touch "$base.new/.complete"
  rm -rf "$base"; mv "$base.new" "$base"
fi
root=$work/root
cp -a "$base" "$root"
flock -u 9
trap 'rm -rf "$root"' EXIT
cp "$deb" "$root/tmp/"

# 3. Install it as a player would, and check what landed where.
export DEBIAN_FRONTEND=noninteractive
chroot_run "$root" apt-get -q update >"$work/apt.log" 2>&1 || { tail -n 20 "$work/apt.log"; fail "apt-get update failed"; }
chroot_run "$root" apt-get -q -y install "/tmp/$(basename "$deb")" >>"$work/apt.log" 2>&1 ||
  { tail -n 30 "$work/apt.log"; fail "apt-get install of the package failed"; }
echo "installed with $(grep -c '^Setting up' "$work/apt.log") packages"
for f in usr/games/zorvan usr/games/zorvan-configuration usr/games/zorvan-scores; do
  [[ -x $root/$f ]] || fail "/$f is missing"
done
for program in "$build"/game/*; do  # every program of the built game folder
  [[ -f $program && -x $program ]] || continue
  [[ -x $root/usr/lib/games/zorvan/$(basename "$program") ]] || fail "$(basename "$program") is not installed"
done
for f in usr/share/games/zorvan/Kestrine.KSR usr/share/games/zorvan/sounds/menu/m_p.wav \
  usr/share/games/zorvan/defaults/config.dat usr/share/games/zorvan/defaults/keys.dat \
  usr/lib/games/zorvan/sounds/menu/m_p.wav usr/share/metainfo/net.kestrine.zorvan.metainfo.xml; do
  [[ -f $root/$f ]] || fail "/$f is missing"
done
desktop=$root/usr/share/applications/net.kestrine.zorvan.desktop
grep -q '^Categories=.*\bGame;' "$desktop" || fail "no desktop entry in the Game category"
grep -q '^Exec=zorvan$' "$desktop" || fail "the desktop entry does not start the launcher"
desktop-file-validate "$desktop" || fail "the desktop entry is not valid"
[[ -f $root/lib/systemd/system/zorvan-scores.service ]] || fail "the score server's unit is missing"
[[ -z $(find "$root/etc/systemd" -name 'zorvan-scores.service' 2>/dev/null) ]] || fail "the score server is enabled"
echo "programs, sound pack, desktop entry, metainfo and unit in place; the unit is not enabled"

# 4. A player's first start, then a game, under Xvfb.
# Another test may take the same free display at the same moment: then try the next one.
display="" xvfb=""
for n in $(seq 150 199); do
  [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]] || continue
  Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do
    kill -0 "$xvfb" 2>/dev/null || break
    DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && kill -0 "$xvfb" 2>/dev/null && { display=":$n"; break; }
    sleep 0.1
  done
  [[ -n $display ]] && break
  kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true
done
[[ -n $display ]] || fail "could not start Xvfb: $(cat "$work/xvfb.log")"
launcher=""
cleanup() {
  local exe pid
  for exe in /proc/[0-9]*/exe; do  # whatever this run started inside the root
    [[ $(readlink "$exe" 2>/dev/null) == "$root"/* ]] || continue
    pid=${exe#/proc/}; kill "${pid%/exe}" 2>/dev/null || true
  done
  [[ -n $launcher ]] && wait "$launcher" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT
export DISPLAY=$display
chroot_run "$root" useradd --create-home player
home=$root/home/player
data=$home/.local/share/zorvan
play() {  # the installed launcher as the player, in the background
  chroot_run "$root" env -i HOME=/home/player USER=player PATH=/usr/local/bin:/usr/bin:/bin:/usr/games \
    DISPLAY="$display" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/tmp/sound.raw QT_QPA_PLATFORM=xcb \
    setpriv --reuid player --regid player --init-groups zorvan >"$work/$1.out" 2>&1 &
  launcher=$!
}
window_of() { timeout 60 xdotool search --sync --pid "$1" --name "$2" 2>/dev/null | head -n 1 || true; }
program_pid() {  # the pid of the installed program $1 running now, if any
  local exe
  for exe in /proc/[0-9]*/exe; do
    [[ $(readlink "$exe" 2>/dev/null) == "$root/usr/lib/games/zorvan/$1" ]] && { exe=${exe#/proc/}; echo "${exe%/exe}"; return 0; }
  done
  return 0
}

# No profile yet: the launcher opens Configuration before the game.
play first
for _ in $(seq 300); do conf=$(program_pid Configuration); [[ -n $conf ]] && break; sleep 0.2; done
[[ -n ${conf:-} ]] || { cat "$work/first.out"; fail "Configuration did not open for a player with no profile"; }
[[ -n $(window_of "$conf" .) ]] || fail "Configuration opened no window"
kill "$conf"
# Still no profile: the game offers Configuration once more, in its accessible box; Escape
# declines and the game ends.
for _ in $(seq 300); do ask=$(program_pid zorvan-message); [[ -n $ask ]] && break; sleep 0.2; done
[[ -n ${ask:-} ]] || { cat "$work/first.out"; fail "the game did not offer Configuration to a player with no profile"; }
[[ -n $(window_of "$ask" .) ]] || fail "the game's offer opened no window"
# The box takes the keyboard itself; the key goes to it as a player's would (Qt ignores keys
# sent to a window by name).
for _ in $(seq 150); do
  [[ $(xdotool getwindowfocus getwindowname 2>/dev/null) == 'Zorvan! no player profile' ]] && break
  sleep 0.2
done
xdotool key Escape
set +e
timeout 60 tail --pid="$launcher" -f /dev/null || { kill "$launcher"; fail "the game did not end when the offer was declined"; }
wait "$launcher"
set -e
launcher=""
echo "no profile: Configuration opened first, and the game's offer of it could be declined"
for f in config.dat keys.dat ls.dat stats.txt; do
  cmp -s "$data/$f" "$root/usr/share/games/zorvan/defaults/$f" || fail "$f was not seeded into the data folder"
done

# A profile (Configuration's work), then the game to its main menu and out with Escape.
printf '"Ada Lovelace"\r\n"ada@example.org"\r\n"GB"\r\n' > "$data/config.dat"
play second
for _ in $(seq 300); do game=$(program_pid zorvan); [[ -n $game ]] && break; sleep 0.2; done
[[ -n ${game:-} ]] || { cat "$work/second.out"; fail "the installed game did not start"; }
window=$(window_of "$game" '^Zorvan!$')
[[ -n $window ]] || { cat "$work/second.out"; fail "the window 'Zorvan!' never appeared"; }
xdotool windowfocus --sync "$window"
sleep 1; xdotool key --window "$window" space
sleep 1; xdotool key --window "$window" space
sleep 2
server=$(program_pid zorvan-scores)
ended=""
for _ in $(seq 30); do
  xdotool key --window "$window" Escape 2>/dev/null || true
  sleep 1
  xdotool key --window "$window" Return 2>/dev/null || true
  kill -0 "$launcher" 2>/dev/null || { ended=1; break; }
done
[[ -n $ended ]] || fail "the game did not leave its main menu on Escape"
set +e; wait "$launcher"; status=$?; set -e
launcher=""
[[ $status -eq 0 ]] || { cat "$work/second.out"; fail "the installed game ended with status $status"; }
rms=$(sox -t raw -r 48000 -e floating-point -b 32 -c 2 "$root/tmp/sound.raw" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
awk -v r="$rms" 'BEGIN { exit !(r > 0.001) }' || fail "the game was silent (RMS $rms)"
echo "with a profile: the game reached its main menu and left it with status 0, RMS $rms"
if [[ -n $server ]]; then
  [[ -z $(program_pid zorvan-scores) ]] || fail "the score server the launcher started still runs"
  echo "the score server the launcher started stopped with the game"
else
  echo "a score server already answered on this machine; the launcher started none"
fi

# 5. Removed, even purged: the programs go, the player's data stays.
chroot_run "$root" apt-get -q -y purge zorvan >>"$work/apt.log" 2>&1 || fail "apt-get purge failed"
[[ ! -e $root/usr/games/zorvan && ! -e $root/usr/lib/games/zorvan ]] || fail "the programs are still there"
[[ ! -e $root/usr/share/games/zorvan ]] || fail "the sound pack is still there"
grep -q 'Ada Lovelace' "$data/config.dat" || fail "the player's profile went with the package"
for f in keys.dat ls.dat stats.txt; do [[ -f $data/$f ]] || fail "the player's $f went with the package"; done
echo "purged: programs and pack gone, the player's data folder kept"
