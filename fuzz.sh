#!/usr/bin/env bash
# Fuzzes each codec with libFuzzer under AddressSanitizer and UBSan.
# Usage: ./fuzz.sh [seconds per codec (default 60)] [codec ...]  (codecs: fits kvx sbig raw)
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
corvelle_install "${CORVELLE_BUILD_PACKAGES[@]}" "${CORVELLE_FUZZ_PACKAGES[@]}"
seconds="${1:-60}"
shift || true
codecs=("$@")
[ ${#codecs[@]} -eq 0 ] && codecs=(fits kvx sbig raw)

out=build-fuzz
mkdir -p "$out"
sources=(formats/ByteSource.cpp formats/FITS.cpp formats/kvx.cpp formats/SBIG.cpp formats/RawImport.cpp
  engine/*.cpp engine/numeric/*.cpp platform/PageMemory.cpp platform/NumFormat.cpp)
existing=()
for s in "${sources[@]}"; do [ -f "$s" ] && existing+=("$s"); done
flags=(-std=c++20 -O1 -g -I. -ffp-contract=off -fsanitize=address,undefined -fno-sanitize-recover=undefined)

clang++ "${flags[@]}" fuzz/write_seeds.cpp "${existing[@]}" -lpthread -o "$out/write_seeds"
"$out/write_seeds" "$out/seeds"
for codec in "${codecs[@]}"; do
  echo "== $codec (${seconds}s)"
  clang++ "${flags[@]}" -fsanitize=fuzzer -DFUZZ_CODEC="\"$codec\"" fuzz/fuzz_main.cpp "${existing[@]}" \
    -lpthread -o "$out/fuzz_$codec"
  mkdir -p "$out/corpus/$codec"
  "$out/fuzz_$codec" -max_total_time="$seconds" -rss_limit_mb=2048 -artifact_prefix="$out/" \
    "$out/corpus/$codec" "$out/seeds/$codec"
done
echo "fuzzing clean: ${codecs[*]}"
