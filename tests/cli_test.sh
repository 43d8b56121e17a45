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
source "$(dirname "$0")/check.sh"

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

out=$(env -u BRENVO_MACHINE "$cli" machine 2>&1); check "this computer without a bench" 0 $? "$out" \
  "Machine:        this computer"
"$bench" new "$work/pc.json" > /dev/null
out=$(BRENVO_MACHINE="$work/pc.json" "$cli" machine 2>&1); check "emulated PC" 0 $? "$out" "Administrator:  yes"
sed -i 's/"family": "nt"/"family": "nt4"/' "$work/pc.json"
out=$(BRENVO_MACHINE="$work/pc.json" "$cli" machine 2>&1); check "bad bench" 6 $? "$out" \
  "pc.json.machine.family: expected one of"
out=$("$cli" frobnicate 2>&1); check "bad usage" 2 $? "$out" "usage: brenvo-cli"

# Whole updates on emulated PCs.
"$bench" firmware --revision QV12 --size 1048576 "$work/fw12.bin" > /dev/null
crc12=$("$bench" firmware --revision QV12 --size 1048576 "$work/fw12.bin" | sed 's/.*crc32 \([0-9a-f]*\).*/\1/')
manifest() {  # manifest OPTIONS LOW HIGH
  cat > "$work/m.json" <<JSON
{ "title": "Firmware Flasher - QV12", "driveName": "DVD-RW QV-1600", "options": "$1",
  "images": [ { "file": "fw12.bin", "key": "key.bin", "newRevision": "QV12",
                "constraints": [ { "low": "$2", "high": "$3" } ] } ] }
JSON
  "$pack" "$work/m.json" "$cli" "$work/flasher" > /dev/null
}
fresh() { "$bench" new --preset "$1" "$work/pc.json" > /dev/null; }
run() { BRENVO_MACHINE="$work/pc.json" "$work/flasher" "$@" < /dev/null 2>&1; }

manifest 00010110001001100000000000000000 QV10 QV19
fresh typical
out=$(run list); check "list" 0 $? "$out" "image 1: QV11 -> QV12"
out=$(run list); check "list shows the foreign drive" 0 $? "$out" "not supported by this package"
out=$(run update --drive 1); check "foreign drive refused" 3 $? "$out" "This drive is not allowed to be updated."
out=$(run update --drive 7); check "no such drive" 2 $? "$out" "there is no drive 7"
out=$(run update); check "update with no questions needed" 0 $? "$out" "now QV12"
out=$("$bench" show "$work/pc.json"); check "flash holds the image" 0 $? "$out" "revision QV12 (QV12-00), flash 1048576 bytes crc32 $crc12"
check "no restart without an answer" 0 0 "$out" "Restart:           none pending"
# The flash lives beside the bench; altered behind its back, the next run that reads it says so.
printf 'X' | dd of="$work/pc.E.1.flash" bs=1 seek=100 conv=notrunc 2> /dev/null
out=$(run update --yes); check "altered contents file" 6 $? "$out" \
  "pc.E.1.flash: the flash contents file has crc32"

# A drive another program holds is refused before anything is sent to it in the run.
fresh typical
sed -i '0,/"flashIncomplete": false/s//"flashIncomplete": false, "heldBy": "cdrecord (process 4711)"/' "$work/pc.json"
out=$(run update --yes); check "a drive another program holds" 4 $? "$out" \
  "Drive E: (QUORVANT DVD-RW QV-1600) is in use by another program: cdrecord (process 4711)."
out=$("$bench" show "$work/pc.json"); check "is left as it was" 0 $? "$out" "revision QV11"

# A package damaged where the flash depends on it is refused before any drive is touched.
fresh typical
cp "$work/flasher" "$work/damaged"
at=$(grep -obUa "PARA_OPT=0001011000100110007319" "$work/damaged" | head -1 | cut -d: -f1)
pos=$((at - 1774 + 6148 + 4096))  # a byte of the image: the block starts 1774 bytes before the key
byte=$(od -An -tu1 -j "$pos" -N1 "$work/damaged" | tr -d ' ')
printf "$(printf '\\%03o' $((byte ^ 16)))" | dd of="$work/damaged" bs=1 seek="$pos" conv=notrunc status=none
out=$(BRENVO_MACHINE="$work/pc.json" BRENVO_TRACE="$work/trace.jsonl" "$work/damaged" update --yes < /dev/null 2>&1)
check "a flipped bit in the image is refused" 5 $? "$out" "The firmware package is damaged"
[ ! -s "$work/trace.jsonl" ]; check "no command reached a drive" 0 $? "trace" "trace"

# A drive newer than the package needs a yes.
manifest 00010110001001100000000000000000 QV10 QV19
fresh typical
sed -i 's/"revision": "QV11"/"revision": "QV15"/' "$work/pc.json"
out=$(run update); check "unanswered warning refuses" 4 $? "$out" "run again with --yes or --no"
out=$(run update --no); check "--no declines" 4 $? "$out" "nothing was flashed"
out=$("$bench" show "$work/pc.json"); check "declined drive untouched" 0 $? "$out" "revision QV15"
out=$(run update --yes); check "--yes goes on and restarts" 0 $? "$out" "now QV12"
out=$("$bench" show "$work/pc.json"); check "restart recorded" 0 $? "$out" "requested, pending"

manifest 00010110001001100000000000000000 QV20 QV29
fresh typical
out=$(run list); check "no matching drive" 3 $? "$out" "No matched drive detected !"
out=$(run update --yes); check "update with no matching drive" 3 $? "$out" "No matched drive detected !"

# The direct-IDE path.
manifest 00010110001101100000000000000000 QV10 QV19
fresh ide
out=$(run update --yes); check "direct-IDE update" 0 $? "$out" "now QV12"
out=$("$bench" show "$work/pc.json"); check "chip holds the image" 0 $? "$out" "flash crc32 $crc12"
out=$(env -u BRENVO_MACHINE "$work/flasher" list < /dev/null 2>&1); check "direct-IDE refused on Linux" 8 $? \
  "$out" "exists only for Windows"

# The OEM cycle: update, restart entry, the restart, the check.
manifest 20010110001001100000000000000000 QV10 QV19
fresh typical
out=$(run update --yes); check "OEM update writes the restart entry" 0 $? "$out" "checked once more"
out=$("$bench" show "$work/pc.json"); check "RunOnce entry" 0 $? "$out" '/QVCHECK 0 QV12'
out=$("$bench" boot "$work/pc.json" 2>&1); check "the check after the restart" 0 $? "$out" "The firmware update was successful."
out=$("$bench" show "$work/pc.json"); check "RunOnce entry removed" 0 $? "$out" "Registry:          no values"

# A package whose range still takes a drive left half written (it reports 0000).
manifest 20010110001001100000000000000000 0000 QV19
fresh typical
sed -i '0,/"faults": \[\]/s//"faults": [{"kind": "powerCut", "command": "commit"}]/' "$work/pc.json"
out=$(run update --yes); check "power cut during the commit fails" 1 $? "$out" "Unable to flash firmware."
sed -i 's/"registry": \[\]/"registry": [{"key": "HKLM\\\\SOFTWARE\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\RunOnce", "name": "QVFWUpdate", "value": "\\"C:\\\\Program Files\\\\Brenvo\\\\brenvo.exe\\" \/QVCHECK 0 QV12"}]/' "$work/pc.json"
out=$("$bench" boot "$work/pc.json" 2>&1); check "a drive left half written fails the check" 1 $? "$out" "not match the expected version(QV12)."
out=$(BRENVO_MACHINE="$work/pc.json" "$work/flasher" /QVCHECK x QV12 < /dev/null 2>&1); check "a non-numeric index" 1 $? "$out" "Firmware update failed."

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
