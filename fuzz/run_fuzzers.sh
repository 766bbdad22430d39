#!/usr/bin/env bash
# Runs the fuzz harnesses one after the other, each for SECONDS (0: until libFuzzer's own
# -runs or -max_total_time, given after them, ends it), on the seed corpora and on the corpora
# kept from earlier runs. Usage: fuzz/run_fuzzers.sh BUILD_FOLDER SECONDS [libFuzzer options]
# BUILD_FOLDER is a build configured with -DZELTRIM_FUZZ=ON (see fuzz/README.md). What each
# harness prints goes to BUILD_FOLDER/fuzz-work/HARNESS.log; findings are saved beside it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=$2
shift 2
work=$build/fuzz-work
rm -rf "$work/seeds"
"$root/fuzz/make_seeds.sh" "$work/seeds"
limit=()
((seconds > 0)) && limit=(-max_total_time="$seconds")
for harness in whole_run namings many_commands load_write; do
  mkdir -p "$work/corpus-$harness"
  echo "-- fuzz_$harness"
  if ! "$build/fuzz/fuzz_$harness" -dict="$root/fuzz/zeltrim.dict" -timeout=25 -rss_limit_mb=2048 \
      -artifact_prefix="$work/" -print_final_stats=1 "${limit[@]}" "$@" \
      "$work/corpus-$harness" "$work/seeds/$harness" >"$work/$harness.log" 2>&1; then
    tail -n 60 "$work/$harness.log"
    echo "fuzz_$harness found a fault; the input is saved in $work" >&2
    exit 1
  fi
  grep -E 'DONE|stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$work/$harness.log"
done
