#!/usr/bin/env bash
# Fuzzes the codecs with libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer.
#   ./fuzz.sh [SECONDS] [TARGET...]   SECONDS per target (default 60)
# Targets: fits kvx sbig raw (the data codecs) and tiff pcd bmp jpeg (the picture
# readers); all of them when none is named. Builds in $CORVELLE_FUZZ_DIR (default
# build-fuzz); crashes are left there as crash-* files.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

# Compiles each source once into $out/obj (kept between runs while unchanged)
# and prints the object paths.
fuzz_objects() {
  local out="$1" f o
  shift
  mkdir -p "$out/obj"
  local list=()
  for f in "$@"; do
    [ -f "$f" ] || continue
    o="$out/obj/$(echo "$f" | tr / _).o"
    if [ ! -f "$o" ] || [ "$f" -nt "$o" ] || [ "$0" -nt "$o" ]; then
      rm -f "$o"
      clang++ "${fuzz_flags[@]}" -fsanitize=fuzzer-no-link -c "$f" -o "$o" >&2 &
    fi
    list+=("$o")
  done
  wait
  for o in "${list[@]}"; do
    [ -f "$o" ] || { echo "fuzz: compiling $o failed" >&2; return 1; }
    echo "$o"
  done
}

fuzz_flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -I"$(pwd)" -ffp-contract=off -fsanitize=address,undefined
  -fno-sanitize-recover=undefined)
# The image model and the services every codec stands on.
fuzz_core=(engine/DataImage.cpp engine/QVRFastBMP.cpp engine/Parallel.cpp engine/Errors.cpp engine/Checked.cpp
  engine/FFT.cpp engine/Processor.cpp platform/PageMemory.cpp platform/NumFormat.cpp platform/SafeFileWriter.cpp)

fuzz_data_codecs() {
  corvelle_install "${CORVELLE_BUILD_PACKAGES[@]}" "${CORVELLE_FUZZ_PACKAGES[@]}"
  seconds="$1"
  shift
  codecs=("$@")
  [ ${#codecs[@]} -eq 0 ] && codecs=(fits kvx sbig raw)

  out="${CORVELLE_FUZZ_DIR:-build-fuzz}"
  mkdir -p "$out"
  mapfile -t objs < <(fuzz_objects "$out" formats/ByteSource.cpp formats/FITS.cpp formats/kvx.cpp formats/SBIG.cpp \
    formats/RawImport.cpp "${fuzz_core[@]}")

  # This runs in a subshell whose status the caller tests, where set -e does
  # not stop at a failure: every step says so itself.
  [ ${#objs[@]} -gt 0 ] || return 1
  clang++ "${fuzz_flags[@]}" fuzz/write_seeds.cpp "${objs[@]}" -lfftw3f -lpthread -o "$out/write_seeds" || return 1
  "$out/write_seeds" "$out/seeds" || return 1
  for codec in "${codecs[@]}"; do
    echo "== $codec (${seconds}s)"
    clang++ "${fuzz_flags[@]}" -fsanitize=fuzzer -DFUZZ_CODEC="\"$codec\"" fuzz/fuzz_main.cpp "${objs[@]}" \
      -lfftw3f -lpthread -o "$out/fuzz_$codec" || return 1
    # FITS runs the engine on the fuzzing thread alone: every input allocates
    # and scans an image, and handing that to threads would cost more than the
    # work and blur what libFuzzer measures.
    local threads="${CORVELLE_THREADS:-}"
    [ "$codec" = fits ] && threads=1
    mkdir -p "$out/corpus/$codec"
    # -timeout: an input that takes this long is a hang, reported as one.
    CORVELLE_THREADS="$threads" "$out/fuzz_$codec" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -artifact_prefix="$out/" \
      "$out/corpus/$codec" "$out/seeds/$codec" || return 1
  done
  echo "fuzzing clean: ${codecs[*]}"
}

fuzz_picture_readers() {
  corvelle_install clang libclang-rt-14-dev libjpeg-dev libfftw3-dev python3-numpy python3-pil python3-tifffile imagemagick \
    libjpeg-turbo-progs libtiff-tools netpbm

  seconds="$1"
  shift
  targets=("$@")
  [ ${#targets[@]} -eq 0 ] && targets=(tiff pcd bmp jpeg)
  out="${CORVELLE_FUZZ_DIR:-build-fuzz}"
  mkdir -p "$out/obj" "$out/seeds"
  src="$(pwd)"

  mapfile -t objs < <(fuzz_objects "$out" formats/TIFFex.cpp formats/PCD.cpp formats/Bitmap.cpp formats/JPG.cpp \
    formats/ByteSource.cpp "${fuzz_core[@]}")
  flags=("${fuzz_flags[@]}")

  # Seeds: files of every kind the readers know, from the cross-check scripts and tools.
  seeds="$out/seeds"
  if [ ! -f "$seeds/done-small-pcd" ]; then
    rm -rf "$seeds" && mkdir -p "$seeds"/{tiff,bmp,jpeg,pcd,work}
    /usr/bin/python3 tests/oracles/tiff_cases.py "$seeds/work/tiff" >/dev/null
    /usr/bin/python3 tests/oracles/bmp_cases.py "$seeds/work/bmp" >/dev/null
    cp "$seeds"/work/tiff/*.tif "$seeds/tiff/"
    cp "$seeds"/work/bmp/*.bmp "$seeds/bmp/"
    n=0
    for b in "$seeds"/work/bmp/pil_rgb.bmp "$seeds"/work/bmp/pbm_windows_8.bmp; do
      for args in "" "-progressive" "-grayscale" "-sample 1x1 -restart 1" "-quality 10 -optimize"; do
        # shellcheck disable=SC2086
        cjpeg $args -outfile "$seeds/jpeg/seed$((n++)).jpg" "$b" 2>/dev/null
      done
    done
    # A whole pack is 788 KB and decodes slowly under the sanitizers: the seed is
    # its first 4 KB (the overview with its signature), from which the fuzzer
    # works on the checks that refuse a pack.
    /usr/bin/convert "$seeds/work/bmp/src_rgb.png" -resize 768x512! "$seeds/work/base.pcd"
    head -c 4096 "$seeds/work/base.pcd" > "$seeds/pcd/head.pcd"
    touch "$seeds/done-small-pcd"
  fi

  status=0
  for t in "${targets[@]}"; do
    bin="$out/fuzz_$t"
    if [ ! -x "$bin" ] || [ "tests/fuzz/fuzz_$t.cpp" -nt "$bin" ] || [ -n "$(find "${objs[@]}" -newer "$bin")" ]; then
      clang++ "${flags[@]}" -fsanitize=fuzzer "tests/fuzz/fuzz_$t.cpp" "${objs[@]}" -ljpeg -lfftw3f -lpthread -o "$bin"
    fi
    corpus="$out/corpus/$t"
    mkdir -p "$corpus"
    echo "== fuzz_$t for ${seconds}s"
    if ! (cd "$out" && "./fuzz_$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
          "corpus/$t" "seeds/$t" 2>"fuzz_$t.log"); then
      echo "fuzz_$t FAILED; see $out/fuzz_$t.log"
      tail -40 "$out/fuzz_$t.log"
      status=1
    else
      grep -E "stat::number_of_executed_units|Done" "$out/fuzz_$t.log" | tail -2
    fi
  done
  return $status
}

seconds="${1:-60}"
shift || true
data=()
pictures=()
for t in "$@"; do
  case "$t" in
    fits|kvx|sbig|raw) data+=("$t") ;;
    *) pictures+=("$t") ;;
  esac
done
if [ $# -eq 0 ]; then
  data=(fits kvx sbig raw)
  pictures=(tiff pcd bmp jpeg)
fi
status=0
if [ ${#data[@]} -gt 0 ]; then (fuzz_data_codecs "$seconds" "${data[@]}") || status=1; fi
if [ ${#pictures[@]} -gt 0 ]; then (fuzz_picture_readers "$seconds" "${pictures[@]}") || status=1; fi
exit $status
