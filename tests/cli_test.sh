#!/usr/bin/env bash
# End to end with the built programs: pack brenvo-cli, read its package back, and run it on good
# and bad machines. Usage: cli_test.sh BUILD_DIR
set -u
build=$1
pack=$build/tools/pack/brenvo-pack
bench=$build/tools/bench/brenvo-bench
cli=$build/cli/brenvo-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

check() {  # check NAME EXPECTED_STATUS STATUS OUTPUT PATTERN
  if [ "$3" -eq "$2" ] && grep -qF -- "$5" <<<"$4"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $1 (status $3, wanted $2; looked for: $5)"
    echo "$4" | sed 's/^/    /'
  fi
}

head -c 262144 /dev/zero | tr '\0' '\132' > "$work/fw.bin"
"$bench" key --seed 7 "$work/key.bin" > /dev/null
cat > "$work/manifest.json" <<'JSON'
{ "title": "Firmware Flasher - QV12 - DVD-RW QV-1600", "driveName": "DVD-RW QV-1600",
  "options": "00010110001001100000000000000000",
  "images": [ { "file": "fw.bin", "key": "key.bin", "newRevision": "QV12",
                "constraints": [ { "low": "QV10", "high": "QV19" } ] } ] }
JSON

out=$("$cli" package 2>&1); check "unpackaged program has no firmware" 5 $? "$out" "it carries no firmware"
out=$("$pack" "$work/manifest.json" "$cli" "$work/brenvo-cli" 2>&1); check "pack" 0 $? "$out" "verified"
out=$("$work/brenvo-cli" package 2>&1); check "packed program reads its own package" 0 $? "$out" \
  'Title:         "Firmware Flasher - QV12 - DVD-RW QV-1600"'
out=$("$cli" --package "$work/brenvo-cli" package 2>&1); check "--package FILE" 0 $? "$out" \
  "Image 1: start 0, size 262144"
out=$("$pack" --show "$work/brenvo-cli" 2>&1); check "--show" 0 $? "$out" "11  imageCount         1"
out=$("$pack" "$work/manifest.json" "$pack" "$work/x" 2>&1); check "no block in brenvo-pack" 1 $? "$out" \
  "holds no package block"
[ ! -e "$work/x" ]; check "refusal leaves no file" 0 $? "x" "x"

out=$(env -u BRENVO_MACHINE "$cli" machine 2>&1); check "no backend" 6 $? "$out" "No real-machine backend"
"$bench" new "$work/pc.json" > /dev/null
out=$(BRENVO_MACHINE="$work/pc.json" "$cli" machine 2>&1); check "emulated PC" 0 $? "$out" "Administrator:  yes"
sed -i 's/"family": "nt"/"family": "nt4"/' "$work/pc.json"
out=$(BRENVO_MACHINE="$work/pc.json" "$cli" machine 2>&1); check "bad bench" 6 $? "$out" \
  "pc.json.machine.family: expected one of"
out=$("$cli" frobnicate 2>&1); check "bad usage" 2 $? "$out" "usage: brenvo-cli"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
