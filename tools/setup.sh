#!/usr/bin/env bash
# Installs the Debian packages a build needs, when they are missing.
# Usage: tools/setup.sh [main|fuzz|sanitize]
#   main (the default): the compiler, CMake, Qt 6 (SVG for chart pictures; Qt's translations for its own dialogs in
#     Russian; Charts needs the OpenGL development files, which Debian's
#     qt6-charts-dev does not pull in), FFTW, zlib, EDFlib (EDF and BDF files), MATIO (MATLAB files), Nettle (SHA-256), Cairo (PDF reports), GoogleTest, Google Benchmark and
#     the Debian packaging tools, and Xvfb (the window benchmark and the screenshots run the window under it);
#   fuzz, sanitize: clang with its sanitizer and libFuzzer runtimes, CMake, FFTW, zlib, EDFlib, MATIO, Nettle, Cairo and GoogleTest.
# As root it installs them with apt-get; otherwise it names what is missing and stops.
set -euo pipefail
set_name=${1:-main}
case "$set_name" in
  main) packages=(g++ cmake ninja-build make pkg-config qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-svg-dev
                  qt6-translations-l10n
                  libfftw3-dev zlib1g-dev libedf-dev libmatio-dev nettle-dev libcairo2-dev libgtest-dev libgmock-dev libbenchmark-dev dpkg-dev xvfb) ;;
  fuzz) packages=(clang libclang-rt-14-dev cmake ninja-build make pkg-config libfftw3-dev zlib1g-dev libedf-dev libmatio-dev nettle-dev libcairo2-dev) ;;
  sanitize) packages=(clang libclang-rt-14-dev cmake ninja-build make pkg-config libfftw3-dev zlib1g-dev libedf-dev libmatio-dev nettle-dev libcairo2-dev
                      libgtest-dev libgmock-dev) ;;
  *) echo "tools/setup.sh: unknown package set '$set_name' (main, fuzz or sanitize)" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "Installing missing Debian packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
