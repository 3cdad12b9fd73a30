#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan, UBSan) and runs each fuzz
# target for SECONDS (default 60), both at once, over a scratch copy of its
# seed corpus. Fails on any crash, hang, leak or sanitizer report, keeping
# the input that caused it in build-fuzz/artifacts/. Prints the executions
# and coverage of each target.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target script_fuzzer frame_fuzzer >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The targets' own scratch files too, so that a crash leaves nothing behind.
export TMPDIR=$work
artifacts=$PWD/build-fuzz/artifacts
mkdir -p "$artifacts"

run() {
  local target=$1
  shift
  mkdir -p "$work/$target"
  # New inputs go to the scratch corpus; the committed seeds stay as they are.
  "build-fuzz/fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$target-" "$@" "$work/$target" "fuzz/corpus/${target%%_*}" \
    >"$work/$target.log" 2>&1
}

run script -max_len=8192 -dict=fuzz/script.dict &
script_pid=$!
run frame -max_len=2000 &
frame_pid=$!

failed=0
for target in script frame; do
  pid_var=${target}_pid
  if wait "${!pid_var}"; then status=ok; else status=FAILED; failed=1; fi
  log=$work/$target.log
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1 || true)
  instrumented=$(sed -n 's/^INFO: Loaded [0-9]* PC tables (\([0-9]*\) PCs).*/\1/p' "$log" | head -n 1)
  coverage=$(sed -n "s/.*cov: \([0-9]*\) ft: \([0-9]*\) corp: \([0-9]*\).*/\1 of ${instrumented:-?} edges, \2 features, \3 corpus inputs/p" <<<"$last")
  echo "${target}_fuzzer: $status, ${executions:-?} executions (${rate:-?}/s) in ${seconds}s, coverage ${coverage:-?}"
  if [ "$status" = FAILED ]; then
    tail -n 60 "$log"
    echo "(inputs that failed are kept in $artifacts)"
  fi
done
exit "$failed"
