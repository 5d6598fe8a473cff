#!/usr/bin/env bash
# Builds Corvelle Image in Release and starts it.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
corvelle_install "${CORVELLE_BUILD_PACKAGES[@]}"
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVELLE_BUILD_TESTS=OFF >/dev/null
cmake --build build-release --target corvelle-image
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "There is no display to show the program on."
  echo "Run it from a desktop session, or under a virtual display:"
  echo "  apt-get install xvfb && xvfb-run -a ./run.sh"
  exit 1
fi
# Floating toolbars are placed and dragged on X11; on Wayland through XWayland.
if [ -z "${QT_QPA_PLATFORM:-}" ] && [ -n "${DISPLAY:-}" ]; then export QT_QPA_PLATFORM=xcb; fi
exec ./build-release/corvelle-image "$@"
