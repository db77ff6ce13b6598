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

summary=()
failed=0
for t in "${targets[@]}"; do
  work="$build/fuzz-corpus/$t"          # grows while fuzzing; the committed seeds stay as they are
  artifacts="$build/fuzz-artifacts/$t/"
  log="$build/fuzz-logs/$t.log"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  inputs=("$work" "tests/fuzz/corpus/$t")
  [ -d "tests/fuzz/regressions/$t" ] && inputs+=("tests/fuzz/regressions/$t")
  echo "=== fuzzing $t for ${seconds}s ==="
  status=0
  "$build/bin/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts" "${inputs[@]}" > "$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  corpus=$(find "$work" -type f | wc -l)
  if [ "$status" -eq 0 ]; then
    line="fuzz $t: OK, ${runs:-?} executions in ${took:-?} s, $corpus new corpus inputs"
  else
    failed=1
    kind=$(grep -o -m1 -E 'ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer): [a-z-]+|runtime error|fuzz check failed: [^[]*' "$log" || true)
    tail -n 60 "$log"
    line="fuzz $t: FAILED (${kind:-exit status $status}) after ${runs:-?} executions; input kept in $artifacts"
  fi
  echo "$line"
  summary+=("$line")
done

echo "=== fuzzing summary ==="
printf '%s\n' "${summary[@]}"
exit "$failed"
