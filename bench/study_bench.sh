#!/usr/bin/env bash
# The cost of a study beside the same work as separate kelvora-cli processes: RECORDINGS synthetic pairs of
# MINUTES min at 2 Hz (T and BF with endothelial, neurogenic, myogenic and respiratory oscillations and noise),
# the band tables of both records and the coherence with SURROGATES surrogate pairs each.
#   one study:         kelvora-cli study manifest.csv --measures bands,coherence --surrogates N --intersubject off
#   separate processes: kelvora-cli analyze T BF and kelvora-cli coherence T BF for each pair, as many at once as
#                       there are cores (xargs -P), each on one thread
# Prints the wall and CPU times of both and the load average before and after.
# Usage: bench/study_bench.sh [KELVORA_CLI] [RECORDINGS] [MINUTES] [SURROGATES]
set -euo pipefail
cli=${1:-build/bin/kelvora-cli}
recordings=${2:-100}
minutes=${3:-30}
surrogates=${4:-19}
cli=$(realpath "$cli")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cores=$(nproc)
samples=$((minutes * 60 * 2))

echo "subject,group,condition,file,bf_file" > "$work/manifest.csv"
for i in $(seq 1 "$recordings"); do
  awk -v n="$samples" -v seed="$i" -v dir="$work" 'BEGIN {
    srand(seed); pi = 3.141592653589793
    for (k = 0; k < n; ++k) {
      t = k / 2; p = seed * 0.37
      bf = 50 + 8 * sin(2 * pi * 0.01 * t + p) + 5 * sin(2 * pi * 0.03 * t + 2 * p) + 3 * sin(2 * pi * 0.1 * t)
      bf += 2 * sin(2 * pi * 0.25 * t + p) + 2 * (rand() - 0.5)
      tt = 30 + 0.2 * sin(2 * pi * 0.01 * t + p - 0.6) + 0.1 * sin(2 * pi * 0.03 * t + 2 * p - 0.9)
      tt += 0.02 * (rand() - 0.5)
      printf "%.4f\n", bf > (dir "/" seed "_bf.txt"); printf "%.4f\n", tt > (dir "/" seed "_t.txt")
    } }'
  echo "s$i,$([ $((i % 2)) -eq 0 ] && echo even || echo odd),rest,${i}_t.txt,${i}_bf.txt" >> "$work/manifest.csv"
done

echo "machine: $cores cores, $(uname -m); load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "work: $recordings pairs of $minutes min at 2 Hz ($samples samples), bands of T and BF, coherence with $surrogates surrogate pairs"

/usr/bin/time -f "one study:          %e s wall, %U s user, %S s system, %M kB peak" \
  "$cli" study "$work/manifest.csv" --out "$work/study" --measures bands,coherence --surrogates "$surrogates" \
  --intersubject off 2>&1 | grep -v '^\s*$' | tail -2

cd "$work"
seq 1 "$recordings" > ids.txt
/usr/bin/time -f "separate processes: %e s wall, %U s user, %S s system, %M kB peak (largest one)" \
  sh -c "xargs -P $cores -I{} sh -c '\"$cli\" analyze {}_t.txt {}_bf.txt --threads 1 > {}_bands.csv 2>/dev/null && \
    \"$cli\" coherence {}_t.txt {}_bf.txt --surrogates $surrogates --threads 1 > {}_coherence.csv 2>/dev/null' < ids.txt"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
