#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (and ASan + UBSan) in build-fuzz, then runs each
# for SECONDS (default 60), two at a time, from the seed inputs in tests/fuzz/corpus/<target>.
# New inputs collect in build-fuzz/corpus/<target>; a crash leaves its input in
# build-fuzz/crashes/. Says each target's runs and rate (execs/s: at least 1,000 each, so a minute
# reaches tens of thousands of inputs). Usage: scripts/fuzz.sh [SECONDS]. Ends with "N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
targets=(PackageBlockFuzz ManifestFuzz BenchFileFuzz OpticalDriveFuzz RestartEntryFuzz)
root=$PWD
source scripts/ccache.sh
if ! CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_CXX_FLAGS="-O1 -g" -DBRENVO_FUZZ=ON -DBRENVO_TESTS=OFF -DBRENVO_BENCHMARKS=OFF \
  ${launcher[@]+"${launcher[@]}"} > /dev/null ||
  ! cmake --build build-fuzz --target "${targets[@]}" > build-fuzz/build.log 2>&1; then
  grep -E "error|FAILED" build-fuzz/build.log | head -20
  echo "0 passed, ${#targets[@]} failed"
  exit 1
fi

mkdir -p build-fuzz/crashes
run() {  # run TARGET: its exit status
  local t=$1
  mkdir -p "build-fuzz/corpus/$t"
  "build-fuzz/tests/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=16384 -print_final_stats=1 -artifact_prefix="build-fuzz/crashes/$t-" \
    "build-fuzz/corpus/$t" "tests/fuzz/corpus/$t" > "build-fuzz/$t.log" 2>&1
}
passed=0 failed=0
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  pids=()
  for t in "${targets[@]:i:2}"; do
    run "$t" & pids+=($!)
  done
  for j in "${!pids[@]}"; do
    t=${targets[$((i + j))]}
    if wait "${pids[$j]}"; then
      passed=$((passed + 1))
      echo "$t: $(awk '/stat::number_of_executed_units/ {print $2}' "build-fuzz/$t.log") runs," \
        "$(awk '/stat::average_exec_per_sec/ {print $2}' "build-fuzz/$t.log") execs/s, no finding"
    else
      failed=$((failed + 1))
      echo "$t: FINDING"; grep -E -A20 "ERROR|==[0-9]+==|deadly signal" "build-fuzz/$t.log" | head -40
    fi
  done
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
