#!/usr/bin/env bash
# Builds and runs the benchmarks (Release). Extra arguments go to every benchmark program,
# for example --benchmark_filter=Render.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
corvelle_install "${CORVELLE_BUILD_PACKAGES[@]}" "${CORVELLE_BENCH_PACKAGES[@]}"
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVELLE_BUILD_TESTS=OFF -DCORVELLE_BUILD_BENCH=ON >/dev/null
cmake --build build-bench
# Every side-by-side comparison adds a row here; the table is printed at the end.
export CORVELLE_BENCH_SUMMARY="$PWD/build-bench/summary.tsv" CORVELLE_BENCH_DIR="$PWD/build-bench"
export CORVELLE_BENCH_NOTES="$PWD/build-bench/notes.txt"
: >"$CORVELLE_BENCH_SUMMARY"
: >"$CORVELLE_BENCH_NOTES"
for b in build-bench/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue  # not the autogen folders
  echo "== $(basename "$b")"
  "$b" "$@"
done
echo
echo "== Summary: ours beside the peer (interleaved rounds, medians; times in ms). The threads column is ours;"
echo "   the peer's name says the threads it was given and the cores it kept busy."
# Where it ran: ratios depend on the processor's vector units as much as on the code.
echo "Processor: $(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "Vector extensions: $(grep -m1 '^flags' /proc/cpuinfo | tr ' ' '\n' |
  grep -xE 'sse2|ssse3|sse4_1|sse4_2|avx|avx2|fma|avx512[a-z_0-9]*' | tr '\n' ' ')"
cat "$CORVELLE_BENCH_NOTES"
{
  printf 'operation\tsize\tthreads\tours\tpeer\tpeer time\tratio\ttarget\tload\n'
  cat "$CORVELLE_BENCH_SUMMARY"
} | column -t -s $'\t'
echo "($(nproc) cores; load is the 1-minute load average when the row was measured)"
