#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine: the emulator CMake
# and CTest put in front of every test program (CMAKE_CROSSCOMPILING_EMULATOR).
#
# - WINEPREFIX: --prefix=DIR (the cross build passes <build>/wine-prefix),
#   else $ZEB_WINEPREFIX, else build/wine-prefix in this source tree; created
#   once, under a lock, so that parallel tests do not race on it (--init
#   only creates it).
# - A prefix whose making was cut short (its maker killed by a time limit)
#   is never used half made: it is stopped, removed and made again.
# - No debug channels, no display, no Mono or Gecko installers.
# - The time zone is fixed (TZ=UTC): the C run-time then takes local time
#   from TZ alone, neither from a caller's TZ written for the host (which it
#   reads in its own format) nor from the prefix's registry, so results do
#   not depend on how or where the suite is started.
# - The program's DLLs are found next to it: the cross build puts every
#   runtime output, the compiler's runtime DLLs included, in one bin directory.
# - Carriage returns are removed from the program's standard output, so that
#   CTest's test discovery reads the test names as written.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=${ZEB_WINEPREFIX:-$here/../build/wine-prefix}
case "${1:-}" in
  --prefix=*) prefix=${1#--prefix=}; shift ;;
esac
export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
export WINEARCH=win64
export TZ=UTC
unset DISPLAY WAYLAND_DISPLAY

if command -v wine64 >/dev/null 2>&1; then
  wine=wine64
elif [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
else
  wine=wine
fi

# Runs a command with no descriptor of the caller beyond /dev/null: what Wine
# starts for its session (the server, services.exe ...) outlives the command,
# and must not hold the pipes CTest waits on.
detached() {
  (
    for fd in /proc/$BASHPID/fd/*; do
      fd=${fd##*/}
      [ "$fd" -gt 2 ] && eval "exec $fd>&-"
    done
    exec "$@"
  ) </dev/null >/dev/null 2>&1
}

# Under the prefix's lock: make the prefix when it is missing, and when no
# Wine server runs for it, start one that stays 30 seconds after its last
# client (a test starting just as the previous one ends then never meets a
# server on its way out) together with its session, from a clean process.
# A marker beside the prefix lives while it is being made: found at the next
# start, it tells of a making cut short, whose leftovers go first.
mkdir -p "$(dirname "$WINEPREFIX")"
making=$WINEPREFIX.making
(
  flock 9
  if [ -e "$making" ]; then
    detached wineserver -k
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    touch "$making"
    detached "$wine" wineboot --init
    detached wineserver -w
    rm -f "$making"
  fi
  if detached wineserver -p30; then
    detached "$wine" cmd /c exit 0
  fi
) 9>"$WINEPREFIX.lock"

if [ "${1:-}" = --init ]; then
  exit 0
fi
if [ $# -eq 0 ]; then
  echo "usage: $0 [--prefix=DIR] --init | program.exe [arguments]" >&2
  exit 2
fi

"$wine" "$@" | sed -u 's/\r$//'
exit "${PIPESTATUS[0]}"
