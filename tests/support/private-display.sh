#!/usr/bin/env bash
# Runs one widget test on a virtual X display of its own. Tests that wait
# for keyboard focus or grab the screen must not share a display with other
# test programs running at the same time: one program's new window takes the
# focus from another's. Xvfb picks a free display number itself and reports
# it on the descriptor given with -displayfd once it accepts clients.
set -u
numfile="$(mktemp)"
Xvfb -displayfd 3 -screen 0 1920x1200x24 +extension GLX +render -noreset -nolisten tcp \
  3>"$numfile" >/dev/null 2>&1 &
xpid=$!
# Wait for the display number as long as the server lives: a loaded machine
# may take seconds to start it. The bound only reports a hang.
for _ in $(seq 1 4800); do
  [ -s "$numfile" ] && break
  kill -0 "$xpid" 2>/dev/null || break
  sleep 0.025
done
if [ ! -s "$numfile" ]; then
  echo "private-display: Xvfb did not start" >&2
  kill "$xpid" 2>/dev/null
  rm -f "$numfile"
  exit 1
fi
export DISPLAY=":$(head -n1 "$numfile")"
export QT_QPA_PLATFORM=xcb
rm -f "$numfile"
"$@"
rc=$?
kill "$xpid" 2>/dev/null
wait "$xpid" 2>/dev/null
exit $rc
