#!/usr/bin/env bash
# Sets everything up and runs the demo on the emulated PC: builds Brenvo, packs the demo firmware
# package into brenvo-cli and shows what the packaged program carries and the machine it runs on.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build > /dev/null
bin=build
out=demo/out
rm -rf "$out" && mkdir -p "$out"

step() { printf '\n== %s\n' "$*"; }

step "An emulated PC"
$bin/tools/bench/brenvo-bench new "$out/pc.json"

step "Demo firmware (1 MiB) and its key table"
head -c 1048576 /dev/zero | tr '\0' '\132' > "$out/fw1.bin"
$bin/tools/bench/brenvo-bench key --seed 12 "$out/key1.bin"

step "Packing demo/manifest.json into brenvo-cli"
$bin/tools/pack/brenvo-pack demo/manifest.json $bin/cli/brenvo-cli "$out/brenvo-cli"

step "What the packaged program carries"
$bin/tools/pack/brenvo-pack --show "$out/brenvo-cli"

step "The packaged program on the emulated PC"
BRENVO_MACHINE="$out/pc.json" "$out/brenvo-cli" machine
$bin/tools/bench/brenvo-bench show "$out/pc.json"
