#!/usr/bin/env bash
# A second build with AddressSanitizer and UndefinedBehaviorSanitizer (gcc, -O1, without the
# window programs and the benchmarks, and with the tests' own sources left uninstrumented, to keep
# CI inside its half hour) and the test suite under it (the window's tests, the PDF printing and
# three slow tests are left to the normal run).
# Any report fails: the process that makes it stops at once, and the output of every test is
# searched for reports, so one made in a child process (the isolated xlsx reader) fails the run
# even where the parent carries on and its test passes.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${LEVELBOOK_ASAN_BUILD:-build-asan}
jobs=$(nproc)

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
  -DLEVELBOOK_SANITIZE=ON -DLEVELBOOK_BUILD_BENCH=OFF -DLEVELBOOK_BUILD_GUI=OFF -DLEVELBOOK_WERROR=ON
cmake --build "$build" -j"$jobs"

# Left out here, run by the normal suite: the tests whose time goes into LibreOffice (not
# instrumented) and Qt's model tester, which checks the whole 65,536 × 256 model at every reset
# (minutes under the sanitizers, for code the other window tests run cell by cell); and the
# command-line process test, which prints through the window build's PDF program.
skip='^(cli_libreoffice|calc_libreoffice|WindowModel\.PassesTheModelTester|cli_process)$'
status=0
ctest --test-dir "$build" --output-on-failure -j"$jobs" -E "$skip" || status=$?
# Every test's output, passing ones included.
log="$build/Testing/Temporary/LastTest.log"
pattern='runtime error:|ERROR: AddressSanitizer|ERROR: LeakSanitizer|SUMMARY: (Address|UndefinedBehavior|Leak)Sanitizer'
if [ ! -s "$log" ]; then
  echo "sanitizers: FAILED, no test output in $log"
  exit 1
fi
if grep -E -q "$pattern" "$log"; then
  grep -E -n -A12 "$pattern" "$log" | head -n 200
  echo "sanitizers: FAILED, $(grep -E -c "$pattern" "$log") sanitizer report line(s) in the test output"
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "sanitizers: FAILED, tests failed under AddressSanitizer and UndefinedBehaviorSanitizer"
  exit "$status"
fi
echo "sanitizers: OK, $(grep -c -E '^[0-9]+/[0-9]+ Test:' "$log") tests ran and passed under AddressSanitizer and UndefinedBehaviorSanitizer, no report"
