#!/usr/bin/env bash
# Runs each libFuzzer target of BUILD for SECONDS: make fuzz.
#   fuzz/run.sh BUILD SECONDS [TARGET...]
# The kept corpus (fuzz/corpus/<target>) seeds a working corpus in BUILD; new crash, leak and
# time-out inputs are written to fuzz/crashes/<target>/, where `make test` replays them.
# FUZZ_ARGS adds libFuzzer options (for example -jobs=2 or -fork=1 -ignore_crashes=1).
set -uo pipefail
build=$1
seconds=$2
shift 2
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(db csv ini text conn sql)
here=$(cd "$(dirname "$0")" && pwd)

export LSAN_OPTIONS="suppressions=$here/../scripts/lsan.supp:print_suppressions=0"
# Memory bombs are findings, not reasons to take the machine down.
limits=(-rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=30)

failed=()
for t in "${targets[@]}"; do
  work="$build/fuzz-corpus/$t"
  mkdir -p "$work" "$here/crashes/$t"
  dict=()
  [ -f "$here/$t.dict" ] && dict=(-dict="$here/$t.dict")
  # Comparisons of page and field values steer the database target deeper.
  extra=()
  [ "$t" = db ] && extra=(-use_value_profile=1)
  log="$build/fuzz-$t.log"
  echo "== fuzz_$t for ${seconds}s (log: $log)"
  "$build/fuzz/fuzz_$t" "${limits[@]}" "${dict[@]}" "${extra[@]}" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$here/crashes/$t/" ${FUZZ_ARGS:-} "$work" "$here/corpus/$t" >"$log" 2>&1
  status=$?
  # The last status line and the run's totals.
  grep -E '^#[0-9]+' "$log" | tail -n 1
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log"
  if [ $status -ne 0 ]; then
    failed+=("$t")
    grep -E 'ERROR|FUZZ CHECK FAILED|Test unit written' "$log" | head -n 5
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: findings in ${failed[*]} (inputs under fuzz/crashes/)"
  exit 1
fi
echo "fuzz: no findings"
