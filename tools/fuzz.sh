#!/usr/bin/env bash
# Runs each libFuzzer target for a while over its seed corpus.
# Usage: tools/fuzz.sh BUILD_DIR SECONDS [TARGET...]
# New inputs the fuzzer finds go to BUILD_DIR/fuzz-corpus/<target> (the seeds in fuzz/corpus stay as they are);
# a crash, a leak, a timeout or a failed check leaves its input in BUILD_DIR/fuzz-artifacts and fails the run.
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
seconds=${2:-30}
shift 2 || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(signal_file_fuzz ppg_file_fuzz settings_fuzz cli_args_fuzz delimited_file_fuzz edf_file_fuzz study_files_fuzz
  marker_file_fuzz labchart_text_fuzz mat_file_fuzz)
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for t in "${targets[@]}"; do
  name=${t%_fuzz}
  mkdir -p "$build/fuzz-corpus/$name" "$build/fuzz-artifacts"
  echo "== $t: ${seconds} s"
  dict=()
  [ -f "$root/fuzz/$name.dict" ] && dict=(-dict="$root/fuzz/$name.dict")
  if ! "$build/fuzz/$t" "${dict[@]}" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -max_len=65536 \
      -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$name-" \
      "$build/fuzz-corpus/$name" "$root/fuzz/corpus/$name" 2>"$build/fuzz-artifacts/$name.log"; then
    echo "$t FAILED; see $build/fuzz-artifacts/$name.log" >&2
    tail -40 "$build/fuzz-artifacts/$name.log" >&2
    status=1
  fi
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$build/fuzz-artifacts/$name.log" || true
done
exit $status
