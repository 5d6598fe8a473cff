#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
corvelle_install "${CORVELLE_BUILD_PACKAGES[@]}" "${CORVELLE_TEST_PACKAGES[@]}"
# Tests never touch the user's real settings.
export CORVELLE_SETTINGS_DIR="${CORVELLE_SETTINGS_DIR:-$(mktemp -d)}"
export QT_QPA_PLATFORM=offscreen
# Every test runs under AddressSanitizer, LeakSanitizer and UBSan.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$(pwd)/tests/sanitizers.supp:print_suppressions=0}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVELLE_BUILD_TESTS=ON -DCORVELLE_SANITIZE=ON >/dev/null
cmake --build build
cd build
ctest --output-on-failure -j "$(nproc)" "$@"
