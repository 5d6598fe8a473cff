#!/usr/bin/env bash
# Runs a command on the current X display with a window manager (openbox), as
# users' windows are placed by one. Meant inside xvfb-run.
set -u
command -v openbox >/dev/null || { echo "openbox is not installed" >&2; exit 1; }
wm=
if command -v xprop >/dev/null; then
  # Until the window manager has taken the display (on a loaded machine it
  # takes its time, and now and then fails to reach the display at all), a
  # window would map unframed.
  for _ in 1 2 3; do
    openbox --sm-disable >/dev/null 2>&1 &
    wm=$!
    for _ in $(seq 100); do
      xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break 2
      kill -0 "$wm" 2>/dev/null || break
      sleep 0.1
    done
    kill "$wm" 2>/dev/null
    wait "$wm" 2>/dev/null
    sleep 0.5
  done
else
  openbox --sm-disable >/dev/null 2>&1 &
  wm=$!
fi
sleep 1
"$@"
rc=$?
kill "$wm" 2>/dev/null
exit $rc
