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
      "$wine" wineboot --init </dev/null >/dev/null 2>&1 || true
      touch "$WINEPREFIX/.curvlog-ready"
    fi
  ) 9>"$WINEPREFIX/.curvlog-lock"
fi

# A wineserver started by the program itself would inherit the test's output pipes and keep
# the test runner waiting after the program has ended; one started here holds none of them.
wineserver=$(dirname "$(command -v "$wine")")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
"$wineserver" -p5 </dev/null >/dev/null 2>&1 || true

exec "$wine" "$@"
