#!/usr/bin/env bash
# Measures what a run costs on the emulated PC and what packing costs, each beside its target:
# start-up (`brenvo-cli list`) with no drives, 16 fresh and 16 flashed drives; a 1 MiB and a
# 16-drive update end to end; brenvo-pack against cp of the same program; then the download and
# direct-IDE benchmarks (Google Benchmark). Wall times are medians of several runs.
#
# Usage: scripts/benchmarks.sh [--quick]
#   --quick  one run of each and a short pass of the Google benchmarks: shows that every
#            measurement still runs (what CI does); the targets are shown, not judged.
# Builds what it runs in ./build (BRENVO_BUILD=DIR for another). Ends with "N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/ccache.sh
source tests/options.sh
quick=0
[ "${1:-}" = "--quick" ] && quick=1
build=${BRENVO_BUILD:-build}
runs=$([ $quick = 1 ] && echo 1 || echo 9)

[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  > /dev/null
cmake --build "$build" --target brenvo-cli brenvo-bench brenvo-pack brenvo_benchmarks \
  brenvo_ide_benchmark > /dev/null || { echo "0 passed, 1 failed"; exit 1; }
bench=$build/tools/bench/brenvo-bench
pack=$build/tools/pack/brenvo-pack
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0 failed=0
# judge NAME OK: counts a measurement; in a quick run only whether it ran at all.
judge() {
  if [ "$2" = 1 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1"; fi
}

# measure PREPARE EXPECTED_STATUS COMMAND...: runs PREPARE (untimed), then COMMAND, $runs times.
# Sets ms (median wall time in milliseconds), mb (largest peak memory in MB) and ran (1 when every
# run ended with the expected status).
measure() {
  local prepare=$1 expected=$2 times=() peak=0 start end kb status
  shift 2
  ran=1
  for ((i = 0; i < runs; i++)); do
    eval "$prepare"
    start=$(date +%s%N)
    /usr/bin/time -f %M -o "$work/rss" "$@" > /dev/null 2> "$work/err" < /dev/null
    status=$?
    end=$(date +%s%N)
    [ "$status" -eq "$expected" ] || { ran=0; sed 's/^/    /' "$work/err" | tail -5; }
    kb=$(tail -1 "$work/rss")
    [ "$kb" -gt "$peak" ] 2> /dev/null && peak=$kb
    times+=($(((end - start) / 1000)))
  done
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
  ms=$(awk -v us="$median" 'BEGIN { printf "%.1f", us / 1000 }')
  mb=$(awk -v kb="$peak" 'BEGIN { printf "%.1f", kb * 1024 / 1e6 }')
}

# Within a target: "le A B" is 1 when A <= B.
le() { awk -v a="$1" -v b="$2" 'BEGIN { print (a <= b) ? 1 : 0 }'; }
row() { printf '| %-46s | %10s | %8s | %s |\n' "$@"; }
verdict() {  # verdict NAME RAN MET
  if [ $quick = 1 ]; then judge "$1" "$2"; else judge "$1" "$(( $2 && $3 ))"; fi
}

# A package of a 1 MiB firmware that updates every drive it takes without asking.
"$bench" firmware --revision QV12 --size 1048576 "$work/fw.bin" > /dev/null
"$bench" key --seed 12 "$work/key.bin" > /dev/null
cat > "$work/m.json" << JSON
{ "title": "Firmware Flasher - QV12 - DVD-RW QV-1600", "driveName": "DVD-RW QV-1600",
  "options": "$(options unattended=1)",
  "images": [ { "file": "fw.bin", "key": "key.bin", "newRevision": "QV12",
                "constraints": [ { "low": "QV10", "high": "QV19" } ] } ] }
JSON
"$pack" "$work/m.json" "$build/cli/brenvo-cli" "$work/flasher" > /dev/null
flasher=$work/flasher
"$bench" new --preset default "$work/none.json" > /dev/null
"$bench" new --preset sixteen "$work/fresh.json" > /dev/null
"$bench" new --preset sixteen "$work/flashed.json" > /dev/null
BRENVO_MACHINE="$work/flashed.json" "$flasher" update --yes > /dev/null 2>&1 < /dev/null
list() { BRENVO_MACHINE="$work/$1.json" "$flasher" list; }

echo "Brenvo benchmarks ($runs run(s) each, median wall time, peak memory; $(nproc) cores)"
row "what" "wall time" "memory" "target"
row "---" "---:" "---:" "---"

measure : 3 env BRENVO_MACHINE="$work/none.json" "$flasher" list
base=$ms
row "start-up, no drives (brenvo-cli list)" "$ms ms" "$mb MB" "(the measure)"
judge "start-up with no drives" "$ran"

measure : 0 env BRENVO_MACHINE="$work/fresh.json" "$flasher" list
row "start-up, 16 fresh drives" "$ms ms" "$mb MB" "≤ 1.5 × no drives ($(awk -v b="$base" 'BEGIN{printf "%.1f", 1.5*b}') ms)"
verdict "start-up with 16 fresh drives" "$ran" "$(le "$ms" "$(awk -v b="$base" 'BEGIN{print 1.5*b}')")"

measure : 0 env BRENVO_MACHINE="$work/flashed.json" "$flasher" list
row "start-up, 16 flashed drives" "$ms ms" "$mb MB" "≤ 1.5 × no drives, ≤ 40 MB"
verdict "start-up with 16 flashed drives" "$ran" \
  "$(( $(le "$ms" "$(awk -v b="$base" 'BEGIN{print 1.5*b}')") && $(le "$mb" 40) ))"

measure "\"$bench\" new --preset typical \"$work/one.json\" > /dev/null" 0 \
  env BRENVO_MACHINE="$work/one.json" "$flasher" update --yes
row "update of one 1 MiB drive, end to end" "$ms ms" "$mb MB" "≤ 250 ms, ≤ 40 MB"
verdict "1 MiB update" "$ran" "$(( $(le "$ms" 250) && $(le "$mb" 40) ))"

measure "\"$bench\" new --preset sixteen \"$work/sixteen.json\" > /dev/null" 0 \
  env BRENVO_MACHINE="$work/sixteen.json" "$flasher" update --yes
row "unattended update of 16 drives, end to end" "$ms ms" "$mb MB" "≤ 80 MB"
verdict "16-drive update" "$ran" "$(le "$mb" 80)"

measure "rm -f \"$work/copy\"" 0 cp "$build/cli/brenvo-cli" "$work/copy"
copy=$ms
measure "rm -f \"$work/packed\"" 0 "$pack" "$work/m.json" "$build/cli/brenvo-cli" "$work/packed"
size=$(awk -v b="$(stat -c %s "$build/cli/brenvo-cli")" 'BEGIN { printf "%.0f", b / 1e6 }')
row "brenvo-pack of brenvo-cli ($size MB; cp: $copy ms)" "$ms ms" "$mb MB" "≤ 8 × cp ($(awk -v c="$copy" 'BEGIN{printf "%.0f", 8*c}') ms)"
verdict "packing" "$ran" "$(le "$ms" "$(awk -v c="$copy" 'BEGIN{print 8*c}')")"

# The JSON reader on a hostile bench: 500,000 empty objects (1.5 MB), against a bench of the same
# size that nests nothing (one long text). Both are refused after the reading (an unknown field);
# the reading must cost about the same, linear in the size, whatever the nesting.
python3 - "$work" << 'PY'
import sys
work = sys.argv[1]
nested = '{"brenvoBench": 1, "x": [' + ','.join(['{}'] * 500000) + ']}\n'
open(work + '/nested.json', 'w').write(nested)
flat = '{"brenvoBench": 1, "x": "' + 'a' * (len(nested) - 29) + '"}\n'
open(work + '/flat.json', 'w').write(flat)
PY
measure : 1 "$bench" show "$work/flat.json"
flat=$ms
row "brenvo-bench show, 1.5 MB bench, no nesting" "$ms ms" "$mb MB" "(the measure)"
judge "reading a flat bench" "$ran"
measure : 1 "$bench" show "$work/nested.json"
row "brenvo-bench show, 1.5 MB bench, 500k objects" "$ms ms" "$mb MB" "≤ 5 × no nesting ($(awk -v f="$flat" 'BEGIN{printf "%.0f", 5*f}') ms)"
verdict "reading a nested bench" "$ran" "$(le "$ms" "$(awk -v f="$flat" 'BEGIN{print 5*f}')")"
measure : 6 env BRENVO_MACHINE="$work/nested.json" "$flasher" list
row "brenvo-cli list, 1.5 MB bench, 500k objects" "$ms ms" "$mb MB" "≤ 5 × no nesting"
verdict "start-up on a nested bench" "$ran" "$(le "$ms" "$(awk -v f="$flat" 'BEGIN{print 5*f}')")"

# The downloads and the direct-IDE flash under the virtual clock (targets in the README).
echo
gbench_args=(--benchmark_repetitions=3 --benchmark_report_aggregates_only=true)
[ $quick = 1 ] && gbench_args=(--benchmark_min_time=0.01)
for program in brenvo_benchmarks brenvo_ide_benchmark; do
  if out=$("$build/benchmarks/$program" "${gbench_args[@]}" 2> /dev/null); then
    grep -E '^[A-Za-z-]' <<< "$out" | grep -v '_stddev\|_median\|_cv'
    judge "$program" 1
  else
    judge "$program" 0
  fi
done

[ $quick = 1 ] && echo "(a quick run: the targets are shown, not judged)"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
