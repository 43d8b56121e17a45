#!/usr/bin/env bash
# Every command of the README's command blocks (```sh, ```bat, and the "$ " lines of ```text) is
# accounted for here: run by this test, run as it stands by another stage (which must still name
# it), or not run, with the reason. A command the README gains, loses or changes fails this test
# until the table below says what becomes of it; a command run here that no longer works fails it
# too. Usage: readme_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
readme=$root/README.md
source "$here/check.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# What becomes of each command: "run", "cross" (the Windows build's lines, below), "stage
# FILE|WORDS" (FILE runs it as it stands, and must still say WORDS: the script it runs, or the
# README section it takes the lines from), or "not: " and the reason. The key is the command as the README writes it, its
# comment left out.
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
  ['sudo usermod -aG cdrom "$USER"']="not: root, and it changes this machine's groups"
  ["pkexec brenvo"]="not: an administrator's password typed into a desktop's polkit agent"
  ["sudo cp /usr/share/doc/brenvo/examples/70-brenvo-optical-sg.rules /etc/udev/rules.d/"]="not: root, and it widens access to this machine's drives"
  ["sudo udevadm control --reload && sudo udevadm trigger --subsystem-match=scsi_generic"]="not: root and a running udev"
)

# The commands of the README's blocks, one a line, comments and prompts left out.
commands=$(awk '
  /^```/ { if (kind) { kind = ""; next } kind = substr($0, 4); next }
  kind == "sh" || kind == "bat" {
    line = $0; sub(/[ \t]+#.*$/, "", line); sub(/^#.*$/, "", line)
    if (line ~ /[^ \t]/) print line
  }
  kind == "text" && /^\$ / { print substr($0, 3) }' "$readme")
[ -n "$commands" ]; check "the README has command blocks" 0 $? "$commands" "demo.sh"

declare -A seen=()
while IFS= read -r command; do
  seen["$command"]=1
  if [ -z "${how[$command]+x}" ]; then
    check "README command accounted for: $command" 0 1 \
      "add it to the table in tests/readme_test.sh: run here, run by a stage, or not run and why" ""
  fi
done <<< "$commands"
for command in "${!how[@]}"; do
  [ -n "${seen[$command]+x}" ]; check "still in the README: $command" 0 $? "(drop it from the table)" ""
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
shown=$(awk '/^```text/ { inside = 1; next } /^```/ { inside = 0 } inside' "$readme" |
  sed -n '/^\$ brenvo-cli update --frob$/,/^\$ /{/^\$ /!p}')
out=$("$build/cli/brenvo-cli" update --frob 2>&1)
status=$?
[ "$status" -eq 2 ] && [ "$out" = "$shown" ]
check "brenvo-cli update --frob says what the README shows" 0 $? "$out" ""
out=$(env -u BRENVO_MACHINE "$build/cli/brenvo-cli" machine 2>&1)
check "brenvo-cli machine" 0 $? "$out" "User:"

summary
