#!/usr/bin/env bash
# Runs a command on the current X display with a window manager (openbox), as
# users' windows are placed by one. Meant inside xvfb-run.
set -u
command -v openbox >/dev/null || { echo "openbox is not installed" >&2; exit 1; }
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
sleep 1
"$@"
rc=$?
kill "$wm" 2>/dev/null
exit $rc
