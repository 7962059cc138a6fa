#!/bin/sh
# Runs a Windows program under Wine for the tests: wine-run.sh WINEPREFIX PROGRAM [ARGUMENT...]
# The prefix lives in the build directory, so nothing depends on $HOME; its first use creates
# it (wineboot, which takes a while). No display: the file-open dialog and the message box
# return at once, as on a desktop-less Windows.
set -eu
if [ $# -lt 2 ]; then
  echo "usage: $0 WINEPREFIX PROGRAM [ARGUMENT...]" >&2
  exit 125
fi
WINEPREFIX=$1
shift
export WINEPREFIX
export WINEDEBUG=-all
# No prompt for the .NET and HTML engines, which the tests never need.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

wine=
for candidate in wine64 /usr/lib/wine/wine64 /usr/lib64/wine/wine64 wine; do
  if command -v "$candidate" >/dev/null 2>&1; then
    wine=$candidate
    break
  fi
done
if [ -z "$wine" ]; then
  echo "$0: no wine64 found (Debian: apt-get install wine64)" >&2
  exit 125
fi

# Two tests may start at once: only one creates the prefix, the other waits for it.
mkdir -p "$WINEPREFIX"
if [ ! -f "$WINEPREFIX/.curvlog-ready" ]; then
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.curvlog-ready" ]; then
      "$wine" wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
      touch "$WINEPREFIX/.curvlog-ready"
    fi
  ) 9>"$WINEPREFIX/.curvlog-lock"
fi

# Wine's session (its server and services) must not hold the test's output pipes, or the test
# runner would wait for them after the program has ended. So the session is started here, with
# no pipes, and kept for half a minute after its last program; the lock lets one wrapper start
# it while a second one waits (none of them may inherit the lock).
wineserver=$(dirname "$(command -v "$wine")")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
(
  flock 9
  if "$wineserver" -p30 </dev/null >/dev/null 2>&1 9>&-; then
    "$wine" wineboot </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$WINEPREFIX/.curvlog-lock"

exec "$wine" "$@"
