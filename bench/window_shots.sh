#!/usr/bin/env bash
# The whole set of pictures at 1280x800 in English and Russian under Xvfb: every page from the window bench's
# shots mode, then the dialogs (import of delimited, EDF, LabChart and .mat files; markers; segments; study)
# from the GUI tests that keep pictures when KELVORA_SHOTS is set. Not part of the test run.
# Usage: bench/window_shots.sh BUILD_DIR OUT_DIR [samples]
set -euo pipefail
build=$1
out=$2
samples=${3:-20000}
mkdir -p "$out"
run() { xvfb-run -a -s "-screen 0 1280x800x24" "$@"; }
run "$build/bin/kelvora_window_bench" shots "$out" "$samples"
for test in import_test acquisition_import_test markers_page_test study_page_test analysis_page_test; do
  for language in en ru; do
    dir="$out/$test-$language"
    mkdir -p "$dir"
    if [ "$language" = ru ]; then
      KELVORA_SHOTS="$dir" KELVORA_SHOTS_RUSSIAN=1 run "$build/bin/$test" >/dev/null || true
    else
      KELVORA_SHOTS="$dir" run "$build/bin/$test" >/dev/null || true
    fi
  done
done
ls -R "$out"
