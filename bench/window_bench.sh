#!/usr/bin/env bash
# The window's figures for the long coherence run (bench/window/window_coherence_bench.cpp) under Xvfb at
# 1280x800: STOP at 10 points of the run, then closing the window during the run at each of CLOSE_AT seconds
# (default "5 20 45": the BF analysis, the measured rows, the surrogates), timed from the close to the end of
# the process. FULL=1 adds the whole run; STOP=0 leaves out the STOP points.
# Usage: bench/window_bench.sh build/bin/kelvora_window_bench [samples]
set -euo pipefail
bench=$1
samples=${2:-2000000}
run() { xvfb-run -a -s "-screen 0 1280x800x24" "$@"; }
echo "== load before: $(uptime)"
if [ "${STOP:-1}" = 1 ]; then
  echo "== STOP at 10 points"
  run "$bench" stop "$samples"
fi
for at in ${CLOSE_AT:-5 20 45}; do
  echo "== close at $at s"
  out=$(run sh -c '"$0" "$@"; echo "exit_status $?"; echo "process_ended_unix $(date +%s.%N)"' \
        "$bench" close "$at" "$samples")
  echo "$out"
  echo "$out" | awk '/^close_asked_unix/ {a = $2} /^process_ended_unix/ {e = $2}
                     END {if (a && e) printf "close_to_process_end_s %.3f\n", e - a}'
done
if [ "${FULL:-0}" = 1 ]; then
  echo "== the whole run"
  run "$bench" full "$samples"
fi
echo "== load after: $(uptime)"
