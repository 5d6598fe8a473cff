#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
corvelle_install "${CORVELLE_BUILD_PACKAGES[@]}" "${CORVELLE_TEST_PACKAGES[@]}"
# Tests never touch the user's real settings.
export CORVELLE_SETTINGS_DIR="${CORVELLE_SETTINGS_DIR:-$(mktemp -d)}"
export QT_QPA_PLATFORM=offscreen
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVELLE_BUILD_TESTS=ON >/dev/null
cmake --build build
cd build
ctest --output-on-failure -j "$(nproc)" "$@"
