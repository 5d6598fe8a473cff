#!/usr/bin/env bash
# Runs a command on the current X display with a window manager (openbox), as
# users' windows are placed by one. Meant inside xvfb-run.
set -u
command -v openbox >/dev/null || { echo "openbox is not installed" >&2; exit 1; }
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
# Until the window manager has taken the display (on a loaded machine it
# takes its time), a window would map unframed.
if command -v xprop >/dev/null; then
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
  done
fi
sleep 1
"$@"
rc=$?
kill "$wm" 2>/dev/null
exit $rc
