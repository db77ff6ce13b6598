#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time from its committed seeds and
# regression inputs. A crash, a leak, a time-out or running out of memory fails; the input
# that did it is kept under <build>/fuzz-artifacts/<target>/ and belongs, once mended, in
# tests/fuzz/regressions/<target>/.
# Usage: tools/fuzz.sh [TARGET…]   (FUZZ_SECONDS, default 60, is the time per target)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${LEVELBOOK_FUZZ_BUILD:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for f in tests/fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
  -DCMAKE_CXX_COMPILER=clang++ -DLEVELBOOK_FUZZ=ON -DLEVELBOOK_WERROR=ON \
  -DLEVELBOOK_BUILD_TESTS=OFF -DLEVELBOOK_BUILD_BENCH=OFF -DLEVELBOOK_BUILD_GUI=OFF
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

# One target per core at a time; each writes its own log, and the summaries are printed in order.
fuzz_one() {
  local t=$1
  local work="$build/fuzz-corpus/$t"          # grows while fuzzing; the committed seeds stay as they are
  local artifacts="$build/fuzz-artifacts/$t/"
  local log="$build/fuzz-logs/$t.log"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  local inputs=("$work" "tests/fuzz/corpus/$t")
  [ -d "tests/fuzz/regressions/$t" ] && inputs+=("tests/fuzz/regressions/$t")
  local status=0
  "$build/bin/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts" "${inputs[@]}" > "$log" 2>&1 || status=$?
  local runs took corpus
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  corpus=$(find "$work" -type f | wc -l)
  if [ "$status" -eq 0 ]; then
    echo "fuzz $t: OK, ${runs:-?} executions in ${took:-?} s, $corpus new corpus inputs" > "$log.summary"
  else
    local kind
    kind=$(grep -o -m1 -E 'ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer): [a-z-]+|runtime error|fuzz check failed: [^[]*' "$log" || true)
    echo "fuzz $t: FAILED (${kind:-exit status $status}) after ${runs:-?} executions; input kept in $artifacts" > "$log.summary"
  fi
  return "$status"
}

jobs=$(nproc)
echo "=== fuzzing ${#targets[@]} targets for ${seconds}s each, $jobs at a time ==="
for t in "${targets[@]}"; do
  rm -f "$build/fuzz-logs/$t.log.summary"
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  fuzz_one "$t" &
done
wait
# A target's verdict is its summary line; a missing one (the script itself failed) fails too.
failed=0
for t in "${targets[@]}"; do
  if ! grep -q ": OK," "$build/fuzz-logs/$t.log.summary" 2>/dev/null; then
    failed=1
    tail -n 60 "$build/fuzz-logs/$t.log"
  fi
done

echo "=== fuzzing summary ==="
for t in "${targets[@]}"; do cat "$build/fuzz-logs/$t.log.summary" 2>/dev/null || echo "fuzz $t: FAILED (no verdict)"; done
exit "$failed"
