#!/usr/bin/env bash
# The fault matrix in full. Every generated case runs in this process's engine with the console's
# view; every 20th also through the real brenvo-cli, and every 50th through the window in script
# mode (as an unattended run of the standard variant, which it starts and ends by itself), each on
# a bench file of its own.
#
# Prints the false verdicts, hangs and wrong histories, then "N passed, M failed", "history
# records wrong: W" and, last, "cases N, false successes F, false failures G, unknown U, hangs H";
# exits non-zero unless F, G, H and W are 0.
# Usage: scripts/fault-matrix.sh [BUILD_DIR]   (default: build; configured and built if needed)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/ccache.sh
build=${1:-build}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" > /dev/null || exit 1
fi
cmake --build "$build" --target brenvo-fault-matrix brenvo-cli brenvo brenvo-bench > /dev/null || exit 1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
matrix=$build/tests/matrix/brenvo-fault-matrix

"$matrix" > "$work/engine.txt"
QT_QPA_PLATFORM=offscreen "$matrix" --cli "$build/cli/brenvo-cli" --window "$build/app/brenvo" \
  --bench-tool "$build/tools/bench/brenvo-bench" --dir "$work/runs" --every 20 --window-every 50 \
  > "$work/programs.txt"

grep -h "^FALSE\|^HANG\|^HISTORY" "$work/engine.txt" "$work/programs.txt"
cases=0 successes=0 failures=0 unknown=0 hangs=0 history=0
for f in "$work/engine.txt" "$work/programs.txt"; do
  # Every run that wrote left one record with its verdict; a killed run left the history whole.
  wrong=$(sed -n 's/^history checks [0-9]*, wrong \([0-9]*\)$/\1/p' "$f")
  history=$((history + ${wrong:-1}))
  last=$(tail -1 "$f")
  if ! [[ $last =~ ^cases\ ([0-9]+),\ false\ successes\ ([0-9]+),\ false\ failures\ ([0-9]+),\ unknown\ ([0-9]+),\ hangs\ ([0-9]+)$ ]]; then
    echo "fault-matrix: $(basename "$f" .txt) did not finish: $last"
    failures=$((failures + 1))
    continue
  fi
  echo "$(basename "$f" .txt): $last; $(grep "^checks after" "$f"); $(grep "^history checks" "$f")"
  cases=$((cases + BASH_REMATCH[1])) successes=$((successes + BASH_REMATCH[2]))
  failures=$((failures + BASH_REMATCH[3])) unknown=$((unknown + BASH_REMATCH[4]))
  hangs=$((hangs + BASH_REMATCH[5]))
done
echo "$((cases - successes - failures - hangs)) passed, $((successes + failures + hangs)) failed"
echo "history records wrong: $history"
echo "cases $cases, false successes $successes, false failures $failures, unknown $unknown, hangs $hangs"
[ "$successes" -eq 0 ] && [ "$failures" -eq 0 ] && [ "$hangs" -eq 0 ] && [ "$history" -eq 0 ]
