#!/usr/bin/env bash
# A short tour of kelvora-cli on the bundled example signals.
set -euo pipefail
build=${1:-build}
cli="$build/bin/kelvora-cli"
ex="$build/bin/Examples"
echo "== kelvora-cli --version"; "$cli" --version
if [ -f "$ex/T1.txt" ]; then
  echo "== Spectrum of Examples/T1.txt, 0 .. 0.01 Hz (first lines)"
  "$cli" spectrum "$ex/T1.txt" --band 0:0.01 | head -n 8
  echo "== Neurogenic band (0.02 .. 0.05 Hz) of Examples/T1.txt (first lines)"
  "$cli" filter --method fourier --band 0.02:0.05 "$ex/T1.txt" | head -n 8
fi
if [ -f "$ex/T1.txt" ] && [ -f "$ex/BF1.txt" ]; then
  echo "== T -> BF* of Example 1: Fourier thermal wave, Shitzer's model and wavelets, each against the measured BF"
  for method in fourier shitzer wavelet; do
    printf '%-8s ' "$method"
    "$cli" convert --method "$method" --direction t2bf "$ex/T1.txt" --compare "$ex/BF1.txt" -o /dev/null
  done
fi
if [ -f "$ex/PPG1.txt" ]; then
  echo "== Blood-flow envelope of Examples/PPG1.txt at 2 Hz: number of samples"
  "$cli" ppg "$ex/PPG1.txt" | wc -l
fi
