#!/usr/bin/env bash
# Sets everything up and runs the demo on the emulated PC: builds Brenvo, packs the demo firmware
# package into brenvo-cli and shows what the packaged program carries and the machine it runs on.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/ccache.sh
# BRENVO_DEMO_BUILD=DIR runs the demo on the programs a build already made (the README's test runs
# it so): nothing is installed, configured or built.
if [ -n "${BRENVO_DEMO_BUILD:-}" ]; then
  bin=$BRENVO_DEMO_BUILD
else
  ./scripts/install-deps.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" > /dev/null
  # Only the programs the demo runs; ./scripts/test.sh builds the rest.
  programs=(brenvo-cli brenvo-bench brenvo-pack)
  if [ -n "${DISPLAY:-}" ]; then programs+=(brenvo); fi
  cmake --build build --target "${programs[@]}" > /dev/null
  bin=build
fi
out=demo/out
rm -rf "$out" && mkdir -p "$out"

step() { printf '\n== %s\n' "$*"; }

step "An emulated PC: drive E: (QUORVANT DVD-RW QV-1600, QV11) and a foreign drive F:"
$bin/tools/bench/brenvo-bench new --preset typical "$out/pc.json"

step "Demo firmware QV12 (1 MiB) and its key table"
$bin/tools/bench/brenvo-bench firmware --revision QV12 --size 1048576 "$out/fw1.bin"
$bin/tools/bench/brenvo-bench key --seed 12 "$out/key1.bin"

step "Packing demo/manifest.json into brenvo-cli"
$bin/tools/pack/brenvo-pack demo/manifest.json $bin/cli/brenvo-cli "$out/brenvo-cli"
$bin/tools/pack/brenvo-pack --show "$out/brenvo-cli" | grep -E "Title|Image 1|constraint"

step "The drives as the packaged program sees them"
BRENVO_MACHINE="$out/pc.json" "$out/brenvo-cli" list

step "Updating (answers given by --yes, the restart by --reboot; every command goes to $out/trace.jsonl)"
BRENVO_MACHINE="$out/pc.json" BRENVO_TRACE="$out/trace.jsonl" "$out/brenvo-cli" update --yes --reboot

step "The emulated PC afterwards: E: holds the image (its crc32 is the one brenvo-pack showed)"
$bin/tools/bench/brenvo-bench show "$out/pc.json" | grep -E "Restart|E: |F: "
echo "$(wc -l < "$out/trace.jsonl") commands traced; the bench $out/pc.json is $(wc -c < "$out/pc.json")" \
  "bytes, E:'s flash is in $(ls "$out"/pc.json.E.*.flash) beside it."

# With a display, the same package in the window, on an emulated PC whose clock keeps real time.
if [ -n "${DISPLAY:-}" ]; then
  step "The window on a fresh emulated PC that keeps real time (close it to finish)"
  $bin/tools/bench/brenvo-bench new --preset typical --paced "$out/window-pc.json"
  $bin/tools/pack/brenvo-pack demo/manifest.json $bin/app/brenvo "$out/brenvo"
  BRENVO_MACHINE="$out/window-pc.json" "$out/brenvo"
fi
