#!/usr/bin/env bash
# The mutation stage: small faults put into a copy of the code one at a time, each run against the
# stage that claims to catch it. A mutant is caught when that stage fails on it.
#
# Each fault is tests/mutants/NN-name.patch: a patch of one place, applied with `git apply`, whose
# leading lines say what it breaks and what catches it:
#   # fault: one line on what the patch breaks
#   # catcher: gtest FILTER | matrix FILTER | script tests/NAME.sh TARGET... | stage scripts/NAME.sh ARGS
#              | wine FILTER
#   # cost: cheap | slow                      (cheap ones may run in CI)
# `gtest` runs the suite's tests matching FILTER, `matrix` the fault matrix's cases whose names
# hold FILTER (in the engine), `script` an end-to-end script after building its targets, `stage`
# a whole stage script as CI runs it, `wine` the Windows backend's tests matching FILTER, cross-built
# and run under Wine.
#
# The faults go into a copy of the last commit (a git worktree under $BRENVO_MUTANTS_DIR, by
# default /var/tmp/brenvo-mutants-USER-CLONE), never into this clone's files; its build folder is kept
# between runs, so a later run rebuilds only what the faults touch.
#
# Usage: scripts/mutants.sh [--ci] [--list] [NN...]
#   all mutants (by hand), the ones named by number, or with --ci 3 cheap ones chosen by the
#   commit, so that successive commits rotate through them.
# Each catcher runs once on the copy without a fault first: one that fails there proves nothing,
# and its mutants are named as broken. Prints one line a mutant, then "mutants N, caught C,
# survived S" last; exits non-zero when a mutant survived, a patch no longer applies, a mutant
# does not build or a catcher fails without a fault (each named).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
ci=0 list=0 chosen=()
for a in "$@"; do
  case $a in
    --ci) ci=1 ;;
    --list) list=1 ;;
    [0-9]*) chosen+=("$a") ;;
    *) echo "usage: scripts/mutants.sh [--ci] [--list] [NN...]" >&2; exit 2 ;;
  esac
done

field() { sed -n "s/^# $1: //p" "$2" | head -1; }

patches=()
for p in tests/mutants/[0-9]*.patch; do
  n=$(basename "$p"); n=${n%%-*}
  if [ ${#chosen[@]} -gt 0 ]; then
    for c in "${chosen[@]}"; do [ "$((10#$c))" -eq "$((10#$n))" ] && patches+=("$p"); done
  else
    patches+=("$p")
  fi
done
if [ "$ci" -eq 1 ]; then
  cheap=()
  for p in "${patches[@]}"; do [ "$(field cost "$p")" = cheap ] && cheap+=("$p"); done
  # The commit chooses where the turn starts: each commit takes the next three of the cheap ones.
  start=$(( $(git rev-list --count HEAD) * 3 % ${#cheap[@]} ))
  patches=()
  for i in 0 1 2; do patches+=("${cheap[$(( (start + i) % ${#cheap[@]} ))]}"); done
fi
if [ "$list" -eq 1 ]; then
  for p in "${patches[@]}"; do
    printf '%s  %s\n    caught by: %s\n' "$(basename "$p" .patch)" "$(field fault "$p")" "$(field catcher "$p")"
  done
  exit 0
fi

scratch=${BRENVO_MUTANTS_DIR:-/var/tmp/brenvo-mutants-$(id -un)-$(basename "$root")}
tree=$scratch/tree
build=$tree/build
mkdir -p "$scratch"
# One run at a time in a copy.
exec 9> "$scratch/lock"
flock -n 9 || { echo "mutants: another run uses $scratch"; exit 1; }
# The copy: this clone's last commit, checked out afresh (only files that differ are rewritten,
# so the kept build folder rebuilds only those).
head=$(git rev-parse HEAD)
# A copy left by a clone that is gone (or by another clone of the same name) is no worktree of
# this one: made afresh.
common=$(git rev-parse --path-format=absolute --git-common-dir)
if [ -e "$tree" ] &&
  [ "$(git -C "$tree" rev-parse --path-format=absolute --git-common-dir 2> /dev/null)" != "$common" ]; then
  rm -rf "$tree"
fi
if [ ! -e "$tree/.git" ]; then
  git worktree prune
  git worktree add --detach "$tree" "$head" > /dev/null 2>&1 || { echo "mutants: cannot make the copy $tree"; exit 1; }
fi
restore() { git -C "$tree" checkout --force --detach "$head" -q && git -C "$tree" clean -fdq -e build; }
restore || { echo "mutants: cannot check out $head in $tree"; exit 1; }

# The copy's paths are named relative to the scratch folder, so the compiler cache that this
# clone's builds filled serves the copy too.
export CCACHE_BASEDIR=$scratch
source "$root/scripts/ccache.sh"
export CCACHE_BASEDIR=$tree  # the copy is what is built
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
    > "$scratch/configure.log" 2>&1 || { echo "mutants: the copy does not configure (see $scratch/configure.log)"; exit 1; }
fi

# Windows faults run on the build that this machine can start (32-bit where it can).
job=$scratch keep_process=1 source scripts/wine-host.sh > /dev/null 2>&1
winarch=i686
[ "${host32:-0}" -eq 1 ] || winarch=x86_64
windows=$tree/build-windows/$winarch
log=$scratch/logs
mkdir -p "$log"
# Builds what a catcher needs and runs it: 0 when it passes, 125 when its build fails.
run_catcher() {  # KIND ARG REST LOGNAME
  local kind=$1 arg=$2 rest=$3 targets=()
  case $kind in
    gtest) targets=(brenvo_tests) ;;
    matrix) targets=(brenvo-fault-matrix) ;;
    script) read -ra targets <<< "$rest" ;;
  esac
  if [ ${#targets[@]} -gt 0 ] && ! ninja -C "$build" -j2 "${targets[@]}" > "$log/$4.build" 2>&1; then
    return 125
  fi
  # The Windows backend's own tests, cross-built as the Windows stage builds them.
  if [ "$kind" = wine ]; then
    { [ -f "$windows/build.ninja" ] || cmake -S "$tree" -B "$windows" -G Ninja -DCMAKE_BUILD_TYPE=None \
        -DCMAKE_CXX_FLAGS=-O0 -DBRENVO_ONE_FILE_TARGETS=ON "${launcher[@]}" \
        -DCMAKE_TOOLCHAIN_FILE="$tree/cmake/toolchains/mingw-$winarch.cmake"; } > "$log/$4.build" 2>&1 &&
      ninja -C "$windows" -j2 brenvo_windows_tests >> "$log/$4.build" 2>&1 || return 125
  fi
  case $kind in
    gtest) (cd "$build" && timeout 600 tests/brenvo_tests --gtest_brief=1 --gtest_filter="$arg") ;;
    matrix) timeout 1200 "$build/tests/matrix/brenvo-fault-matrix" --filter "$arg" ;;
    script) (cd "$tree" && timeout 1200 bash "$arg" "$build") ;;
    stage) (cd "$tree" && timeout 3600 bash "$arg" $rest) ;;
    wine) WINEPREFIX=$scratch/wine WINEDEBUG=-all timeout 600 wine \
      "$windows/tests/windows/brenvo_windows_tests.exe" --gtest_brief=1 --gtest_filter="$arg" < /dev/null ;;
  esac > "$log/$4.run" 2>&1
}

began=$(date +%s)
# Each catcher first runs on the copy without a fault: one that fails there proves nothing.
declare -A sound
baselines=0
for p in "${patches[@]}"; do
  catcher=$(field catcher "$p")
  [ -n "${sound[$catcher]:-}" ] && continue
  read -r kind arg rest <<< "$catcher"
  case $kind in gtest | matrix | script | stage | wine) ;; *) sound[$catcher]=unknown; continue ;; esac
  baselines=$((baselines + 1))
  run_catcher "$kind" "$arg" "$rest" "baseline-$baselines"
  case $? in
    0) sound[$catcher]=yes ;;
    125) sound[$catcher]="does not build without a fault (see $log/baseline-$baselines.build)" ;;
    *) sound[$catcher]="fails without a fault (see $log/baseline-$baselines.run)" ;;
  esac
done

total=0 caught=0 survived=0 broken=0
for p in "${patches[@]}"; do
  name=$(basename "$p" .patch)
  catcher=$(field catcher "$p")
  read -r kind arg rest <<< "$catcher"
  total=$((total + 1))
  if [ "${sound[$catcher]:-unknown}" != yes ]; then
    problem=${sound[$catcher]:-unknown}
    echo "BROKEN   $name: its catcher \"$catcher\" ${problem/#unknown/is unknown}"
    broken=$((broken + 1))
    continue
  fi
  restore
  if ! git -C "$tree" apply "$root/$p" 2> "$log/$name.apply"; then
    echo "BROKEN   $name: the patch no longer applies (move it with the code): $(head -1 "$log/$name.apply")"
    broken=$((broken + 1))
    continue
  fi
  t0=$(date +%s)
  run_catcher "$kind" "$arg" "$rest" "$name"
  status=$?
  if [ "$status" -eq 125 ]; then
    echo "BROKEN   $name: does not build (see $log/$name.build)"
    broken=$((broken + 1))
  elif [ "$status" -ne 0 ]; then
    caught=$((caught + 1))
    echo "caught   $name ($kind, $(( $(date +%s) - t0 )) s): $(field fault "$p")"
  else
    survived=$((survived + 1))
    echo "SURVIVED $name ($kind $arg passed; see $log/$name.run): $(field fault "$p")"
  fi
done
restore
echo "time $(( $(date +%s) - began )) s"
echo "mutants $total, caught $caught, survived $survived"
[ "$survived" -eq 0 ] && [ "$broken" -eq 0 ]
