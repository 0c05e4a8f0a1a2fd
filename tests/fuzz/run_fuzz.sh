#!/usr/bin/env bash
# Runs every libFuzzer program of a fuzz build for a while and fails on any finding.
#   run_fuzz.sh <fuzz build folder> <seconds per target> [target ...]
# Each target fuzz_<name> starts from tests/fuzz/corpus/<name> and tests/fuzz/regressions/<name>
# and keeps what it learns in <build>/fuzz-corpus/<name> (seeds in the repository are never
# changed). A crash, sanitizer report, leak or an input running longer than FUZZ_TIMEOUT seconds
# (default 25) stops that target; the input is saved in <build>/fuzz-findings/<name>/ and the
# script exits non-zero after running the others. To keep a finding as a regression, fix the
# fault and copy the file to tests/fuzz/regressions/<name>/.
set -u
build=${1:?usage: run_fuzz.sh <fuzz build folder> <seconds> [target ...]}
seconds=${2:?usage: run_fuzz.sh <fuzz build folder> <seconds> [target ...]}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
timeout=${FUZZ_TIMEOUT:-25}

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in "$here"/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

# The targets' scratch files go to a folder of this run (a crash leaves its files behind).
export TMPDIR="$build/fuzz-tmp"
rm -rf "$TMPDIR" && mkdir -p "$TMPDIR"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
for name in "${targets[@]}"; do
  program="$build/tests/fuzz/libfuzzer/fuzz_$name"
  if [ ! -x "$program" ]; then
    echo "run_fuzz: $program is missing (build the target 'fuzzers' first)" >&2
    failed+=("$name (no program)")
    continue
  fi
  work="$build/fuzz-corpus/$name"
  findings="$build/fuzz-findings/$name"
  mkdir -p "$work" "$findings"
  inputs=("$work" "$here/corpus/$name")
  [ -d "$here/regressions/$name" ] && inputs+=("$here/regressions/$name")
  echo "== fuzz_$name for ${seconds}s"
  # Inputs larger than the biggest seed are allowed up to 64 KB (a table header is up to that).
  "$program" -max_total_time="$seconds" -timeout="$timeout" -max_len=65536 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" "${inputs[@]}" \
    > "$build/fuzz-$name.log" 2>&1
  rc=$?
  tail -n 12 "$build/fuzz-$name.log"
  if [ $rc -ne 0 ]; then
    echo "run_fuzz: fuzz_$name FAILED (exit $rc); see $build/fuzz-$name.log and $findings/" >&2
    failed+=("$name")
  fi
done

rm -rf "$TMPDIR"
if [ ${#failed[@]} -ne 0 ]; then
  echo "run_fuzz: findings in: ${failed[*]}" >&2
  exit 1
fi
echo "run_fuzz: no findings in ${targets[*]} (${seconds}s each)"
