#!/usr/bin/env bash
# Builds and runs the benchmarks (Release). Extra arguments go to every benchmark program,
# for example --benchmark_filter=Render.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
corvelle_install "${CORVELLE_BUILD_PACKAGES[@]}" "${CORVELLE_BENCH_PACKAGES[@]}"
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVELLE_BUILD_TESTS=OFF -DCORVELLE_BUILD_BENCH=ON >/dev/null
cmake --build build-bench
for b in build-bench/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$@"
done
