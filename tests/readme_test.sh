#!/usr/bin/env bash
# Every command of the command blocks (```sh, ```bat, and the "$ " lines of ```text) of the README
# and of every page in docs/ is accounted for here: run by this test, run as it stands by another
# stage (which must still name it), or not run, with the reason. A command the pages gain, lose or
# change fails this test until the table below says what becomes of it; a command run here that
# no longer works fails it too. Usage: readme_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
pages=("$root/README.md" "$root"/docs/*.md)
source "$here/check.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# What becomes of each command: "run" (by its own check below), "here" (run as it stands, in the
# order the pages give it, in a scratch folder that holds `build` and the demo's package packed as
# `packed/brenvo-cli`, with the build's programs on the PATH; it must end with status 0), "cross"
# (the Windows build's lines, below), "stage FILE|WORDS" (FILE runs it as it stands, and must
# still say WORDS: the script it runs, or the section it takes the lines from), or "not: " and the
# reason. The key is the command as the page writes it, its comment left out.
declare -A how=(
  ["./scripts/demo.sh"]="run"
  ["./scripts/test.sh"]="stage .ci/run|./scripts/test.sh"
  ["mkdir -p packed"]="stage tests/cli_test.sh|## Packing a package"
  ["build/tools/pack/brenvo-pack demo/manifest.json build/cli/brenvo-cli packed/brenvo-cli"]="stage tests/cli_test.sh|## Packing a package"
  ["build/tools/pack/brenvo-pack --show packed/brenvo-cli"]="stage tests/cli_test.sh|## Packing a package"
  ["BRENVO_MACHINE=demo/out/pc.json packed/brenvo-cli update --dry-run"]="stage tests/cli_test.sh|## Packing a package"
  ["cmake -S . -B build-windows/i686 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake"]="cross"
  ["ninja -C build-windows/i686 brenvo-cli brenvo-pack"]="cross"
  ["ninja -C build-windows/i686 brenvo"]="cross"
  ["build/tools/pack/brenvo-pack MANIFEST.json build-windows/i686/cli/brenvo-cli.exe brenvo-cli.exe"]="cross"
  ["build/tools/pack/brenvo-pack MANIFEST.json build-windows/i686/win32/brenvo.exe brenvo.exe"]="cross"
  ["brenvo-cli.exe list"]="not: a Command Prompt on Windows with its drives (scripts/wine-test.sh runs it under Wine)"
  ["brenvo-cli.exe update"]="not: a real drive on Windows, whose firmware it would rewrite"
  ["brenvo-cli update --frob"]="run"
  ["scripts/release.sh"]="stage tests/release_test.sh|scripts/release.sh"
  ["./scripts/mutants.sh --ci"]="stage .ci/run|./scripts/mutants.sh --ci"
  ["./scripts/mutants.sh"]="not: the whole mutation run builds a copy of the tree and runs every catcher, minutes of work; CI runs its rotating subset (--ci)"
  ["./scripts/mutants.sh 04 22"]="not: a by-hand choice of mutants, run as the whole run is; CI runs its rotating subset (--ci)"
  ["./scripts/fault-matrix.sh"]="stage .ci/run|./scripts/fault-matrix.sh"
  ["scripts/fuzz.sh [SECONDS]"]="stage .ci/run|./scripts/fuzz.sh"
  ["scripts/sanitize.sh"]="stage .ci/run|./scripts/sanitize.sh"
  ["brenvo-cli machine"]="run"
  ["build/tools/bench/brenvo-bench new --preset typical pc.json"]="here"
  ["BRENVO_MACHINE=pc.json packed/brenvo-cli list"]="here"
  ["BRENVO_MACHINE=pc.json packed/brenvo-cli update --yes"]="here"
  ["build/tools/bench/brenvo-bench show pc.json"]="here"
  ["brenvo-bench new --preset typical pc.json"]="here"
  ["brenvo-bench new --preset typical --paced slow.json"]="here"
  ["brenvo-bench show pc.json"]="here"
  ["brenvo-cli update --yes"]="stage tests/console_question_test.sh|--yes"
  ["brenvo-cli update --no"]="stage tests/console_question_test.sh|--no"
  ["brenvo-cli history"]="stage tests/history_test.sh|run history"
  ["brenvo-cli history --json"]="stage tests/history_test.sh|history --json"
  ["BRENVO_MACHINE=pc.json brenvo-cli history"]="stage tests/history_test.sh|BRENVO_MACHINE"
  ["sudo brenvo-cli history"]="not: root's own history of this machine's real runs"
  ["sudo brenvo-cli list"]="stage tests/recover_test.sh|list"
  ["sudo brenvo-cli update --recover --drive 0"]="stage tests/recover_test.sh|update --recover --yes --drive 0"
  ['sudo usermod -aG cdrom "$USER"']="not: root, and it changes this machine's groups"
  ["pkexec brenvo"]="not: an administrator's password typed into a desktop's polkit agent"
  ["sudo cp /usr/share/doc/brenvo/examples/70-brenvo-optical-sg.rules /etc/udev/rules.d/"]="not: root, and it widens access to this machine's drives"
  ["sudo udevadm control --reload && sudo udevadm trigger --subsystem-match=scsi_generic"]="not: root and a running udev"
)

# The commands of the pages' blocks, one a line, comments and prompts left out.
commands=$(awk '
  /^[ \t]*```/ { if (kind) { kind = ""; next } kind = $0; sub(/^[ \t]*```/, "", kind); next }
  kind == "sh" || kind == "bat" {
    line = $0; sub(/^[ \t]+/, "", line); sub(/[ \t]+#.*$/, "", line); sub(/^#.*$/, "", line)
    if (line ~ /[^ \t]/) print line
  }
  kind == "text" && /^\$ / { print substr($0, 3) }' "${pages[@]}")
[ -n "$commands" ]; check "the pages have command blocks" 0 $? "$commands" "demo.sh"

declare -A seen=()
while IFS= read -r command; do
  seen["$command"]=1
  if [ -z "${how[$command]+x}" ]; then
    check "command accounted for: $command" 0 1 \
      "add it to the table in tests/readme_test.sh: run here, run by a stage, or not run and why" ""
  fi
done <<< "$commands"
for command in "${!how[@]}"; do
  [ -n "${seen[$command]+x}" ]; check "still in the pages: $command" 0 $? "(drop it from the table)" ""
done

# Run as they stand by another stage: that stage must still name the command's script or program.
for command in "${!how[@]}"; do
  case ${how[$command]} in
    stage\ *)
      entry=${how[$command]#stage }
      file=${entry%%|*} words=${entry#*|}
      grep -qF -- "$words" "$root/$file"
      check "$file runs: $command" 0 $? "$file does not say: $words" "" ;;
    not:*) echo "not run: $command (${how[$command]#not: })" ;;
  esac
done

# The Windows build's lines: the toolchain and the targets they name must be there; the build
# itself is the Wine stage's. With the cross build at hand, the packing lines run on the demo's
# manifest.
[ -f "$root/cmake/toolchains/mingw-i686.cmake" ]
check "the README's toolchain file exists" 0 $? "" ""
targets=$(ninja -C "$build" -t targets all 2> /dev/null | cut -d: -f1)
for target in brenvo-cli brenvo-pack brenvo; do
  grep -qx "$target" <<< "$targets"; check "the README's target $target exists" 0 $? "" ""
done
cross=$root/build-windows/i686
if [ -f "$cross/cli/brenvo-cli.exe" ] && [ -f "$cross/win32/brenvo.exe" ] && [ -f "$root/demo/out/fw1.bin" ]; then
  for exe in cli/brenvo-cli.exe win32/brenvo.exe; do
    out=$("$build/tools/pack/brenvo-pack" "$root/demo/manifest.json" "$cross/$exe" "$work/$(basename "$exe")" 2>&1)
    check "the README's packing of $exe" 0 $? "$out" "verified"
  done
else
  not_run "the README's packing of the Windows programs" 2 "no cross build in build-windows/i686 yet (the Wine stage makes it)"
fi

# Run here, on the programs of the build under test: the demo's own set-up (the package installer,
# configuring and building build/) is left out, so the suite changes no build folder.
out=$(cd "$root" && env -u DISPLAY -u WAYLAND_DISPLAY BRENVO_DEMO_BUILD="$build" ./scripts/demo.sh 2>&1)
check "./scripts/demo.sh on the build under test" 0 $? "$out" "now QV12"
# The usage error as the README shows it, line for line.
shown=$(awk '/^```text/ { inside = 1; next } /^```/ { inside = 0 } inside' "${pages[@]}" |
  sed -n '/^\$ brenvo-cli update --frob$/,/^\$ /{/^\$ /!p}')
out=$("$build/cli/brenvo-cli" update --frob 2>&1)
status=$?
[ "$status" -eq 2 ] && [ "$out" = "$shown" ]
check "brenvo-cli update --frob says what the README shows" 0 $? "$out" ""
out=$(env -u BRENVO_MACHINE "$build/cli/brenvo-cli" machine 2>&1)
check "brenvo-cli machine" 0 $? "$out" "User:"

# The "here" commands, as they stand and in the pages' order, on the demo's package (the demo
# above made its images).
here=$work/here
mkdir -p "$here/packed"
ln -s "$build" "$here/build"
out=$("$build/tools/pack/brenvo-pack" "$root/demo/manifest.json" "$build/cli/brenvo-cli" \
  "$here/packed/brenvo-cli" 2>&1)
check "the demo's package packed for the pages' commands" 0 $? "$out" "verified"
# What the pages say those commands do, where the words are theirs to check.
declare -A says=(
  ["BRENVO_MACHINE=pc.json packed/brenvo-cli list"]="image 1: QV11 -> QV12"
  ["BRENVO_MACHINE=pc.json packed/brenvo-cli update --yes"]="before QV11, package QV12, now QV12"
  ["build/tools/bench/brenvo-bench show pc.json"]="QUORVANT DVD-RW QV-1600  revision QV12"
)
while IFS= read -r command; do
  [ "${how[$command]-}" = here ] || continue
  out=$(cd "$here" && env -u BRENVO_MACHINE -u BRENVO_TRACE \
    PATH="$build/tools/bench:$build/tools/pack:$build/cli:$PATH" bash -c "$command" 2>&1 < /dev/null)
  check "as the pages give it: $command" 0 $? "$out" "${says[$command]-}"
done <<< "$commands"
out=$("$build/tools/bench/brenvo-bench" show "$here/slow.json" 2>&1)
check "a bench made with --paced keeps real time" 0 $? "$out" "Clock:             paced in real time"

summary
