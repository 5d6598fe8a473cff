# Shared by run.sh, test.sh and bench.sh: install the Debian packages that are missing.
# shellcheck shell=bash

corvelle_install() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

CORVELLE_BUILD_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-charts-dev libqt6opengl6-dev
  libgl-dev libglu1-mesa-dev freeglut3-dev libjpeg-dev libfftw3-dev)
CORVELLE_TEST_PACKAGES=(libgtest-dev xvfb xauth fonts-liberation2 poppler-utils python3-numpy python3-scipy
  python3-astropy python3-pil python3-skimage python3-mpmath fitsverify liblapack-dev
  # picture codecs: cross-checks and the fuzz smoke run
  python3-tifffile openbox x11-utils libtiff-tools imagemagick libjpeg-turbo-progs netpbm clang libclang-rt-14-dev)
CORVELLE_BENCH_PACKAGES=(libbenchmark-dev libcfitsio-dev libopencv-dev libopencv-imgproc-dev
  python3-numpy python3-scipy python3-skimage python3-astropy siril)
CORVELLE_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
