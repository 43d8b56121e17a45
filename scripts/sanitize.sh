#!/usr/bin/env bash
# The whole test suite under AddressSanitizer + UndefinedBehaviorSanitizer, and the core's and
# the windows' tests (but the fault matrix's share) under ThreadSanitizer, each in a build folder
# of its own (build-asan, build-tsan) holding only what its tests run. Any finding fails the test
# it happened in. Ends with "N passed, M failed"; exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/ccache.sh
supp=$PWD/tests/sanitizers
export QT_QPA_PLATFORM=offscreen BRENVO_TIME_SCALE=4
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$supp/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=suppressions=$supp/tsan.supp:second_deadlock_stack=1
passed=0 failed=0

stage() {  # stage DIR SANITIZERS CTEST_ARGS... -- TARGETS...
  local dir=$1 sanitizers=$2
  shift 2
  local ctest_args=() targets=()
  while [ "$1" != -- ]; do ctest_args+=("$1"); shift; done
  shift
  targets=("$@")
  echo "== $dir: -fsanitize=$sanitizers"
  if ! cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-O0 -g1" \
    -DBRENVO_SANITIZE="$sanitizers" -DBRENVO_BENCHMARKS=OFF ${launcher[@]+"${launcher[@]}"} \
    > /dev/null || ! cmake --build "$dir" ${targets[@]+--target "${targets[@]}"} \
    > "$dir/build.log" 2>&1; then
    echo "$dir: the build failed"; grep -E "error|FAILED" "$dir/build.log" | head -20
    failed=$((failed + 1))
    return
  fi
  local log=$dir/ctest.log
  ctest --test-dir "$dir" -j2 --output-on-failure "${ctest_args[@]}" > "$log" 2>&1
  local summary
  summary=$(grep -E "tests passed, [0-9]+ tests failed out of" "$log" || true)
  if [ -z "$summary" ]; then
    echo "$dir: the tests did not run"; tail -20 "$log"
    failed=$((failed + 1))
    return
  fi
  grep -E "^\s+[0-9]+ - .*\((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception)" "$log" || true
  local total bad
  total=$(sed -E 's/.* out of ([0-9]+)/\1/' <<<"$summary")
  bad=$(sed -E 's/.*tests passed, ([0-9]+) tests failed.*/\1/' <<<"$summary")
  echo "$dir: $summary"
  passed=$((passed + total - bad)) failed=$((failed + bad))
}

# Everything, ASan + UBSan (the benchmarks are not tests).
stage build-asan address,undefined --
# The core's and the windows' GoogleTest programs under TSan, but for the fault matrix's share:
# its runs go through the same worker, gate and window hand-offs as the tests beside it, while
# under TSan it took five minutes of the stage's six (ASan and the matrix's own stage run it).
stage build-tsan thread -L "core|ui" -E "^FaultMatrix[.]" -- brenvo_tests brenvo_ui_tests

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
