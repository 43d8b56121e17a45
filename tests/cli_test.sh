#!/usr/bin/env bash
# End to end with the built programs: pack brenvo-cli, read its package back, and run it on good
# and bad machines. Usage: cli_test.sh BUILD_DIR
set -u
source "$(dirname "$0")/end_to_end.sh" "$1"

head -c 262144 /dev/zero | tr '\0' '\132' > "$work/fw.bin"
"$bench" key --seed 7 "$work/key.bin" > /dev/null
cat > "$work/manifest.json" <<JSON
{ "title": "Firmware Flasher - QV12 - DVD-RW QV-1600", "driveName": "DVD-RW QV-1600",
  "options": "$(options)",
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

# The packing lines of docs/packaging.md, run as they stand in a folder laid out as the demo leaves it.
readme=$work/readme
mkdir -p "$readme/demo/out" "$readme/build/cli" "$readme/build/tools/pack"
cp "$(dirname "$0")/../demo/manifest.json" "$readme/demo/"
ln -s "$(realpath "$cli")" "$readme/build/cli/brenvo-cli"
ln -s "$(realpath "$pack")" "$readme/build/tools/pack/brenvo-pack"
"$bench" firmware --revision QV12 --size 1048576 "$readme/demo/out/fw1.bin" > /dev/null
"$bench" key --seed 12 "$readme/demo/out/key1.bin" > /dev/null
"$bench" new --preset typical "$readme/demo/out/pc.json" > /dev/null
lines=$(sed -n '/^## Packing a package/,/^```$/p' "$(dirname "$0")/../docs/packaging.md" | sed '/^```/d; /demo.sh/d')
out=$(cd "$readme" && bash -e <<< "$lines" 2>&1); check "the packing lines of docs/packaging.md" 0 $? "$out" \
  "would be updated from QV11 to QV12"

out=$(env -u BRENVO_MACHINE "$cli" machine 2>&1); check "this computer without a bench" 0 $? "$out" \
  "Machine:        this computer"
check "this computer is Linux, not a Windows family" 0 0 "$out" "Platform:       Linux"
if [ "$(id -u)" -eq 0 ] && command -v setpriv > /dev/null; then
  out=$(env -u BRENVO_MACHINE setpriv --reuid=65534 --regid=65534 --clear-groups "$cli" machine 2>&1)
  check "machine names the user it runs as" 0 $? "$out" "User:           nobody (uid 65534)"
  # A variable alone (no sudo started this run) names no one.
  out=$(env -u BRENVO_MACHINE SUDO_USER=nobody "$cli" machine 2>&1)
  check "machine believes no SUDO_USER that sudo did not set" 0 $? "$out" \
    "who started it cannot be told (a variable names a user, but neither sudo nor pkexec started this run)"
fi
"$bench" new "$work/pc.json" > /dev/null
out=$(BRENVO_MACHINE="$work/pc.json" "$cli" machine 2>&1); check "emulated PC" 0 $? "$out" "Administrator:  yes"
sed -i 's/"family": "nt"/"family": "nt4"/' "$work/pc.json"
out=$(BRENVO_MACHINE="$work/pc.json" "$cli" machine 2>&1); check "bad bench" 6 $? "$out" \
  "pc.json.machine.family: expected one of"
out=$("$cli" frobnicate 2>&1); check "bad usage" 2 $? "$out" "brenvo-cli: unknown command"

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

manifest "$(options)" QV10 QV19
fresh typical
out=$(run list); check "list" 0 $? "$out" "image 1: QV11 -> QV12"
out=$(run list); check "list shows the foreign drive" 0 $? "$out" "not supported by this package"
out=$(run update --drive 1); check "foreign drive refused" 3 $? "$out" "This drive is not allowed to be updated."
out=$(run update --drive 7); check "no such drive" 2 $? "$out" "there is no drive 7"
before=$("$bench" show "$work/pc.json" | grep -v "Clock")
out=$(BRENVO_TRACE="$work/dry.jsonl" run update --dry-run); check "--dry-run says what would be done" 0 $? "$out" \
  "would be updated from QV11 to QV12"
check "--dry-run names the drive it leaves" 0 0 "$out" "left alone: not supported by this package"
check "--dry-run names the restart" 0 0 "$out" "restarts the computer if asked to: --reboot says yes"
! grep -q '"cdb":"3b' "$work/dry.jsonl"; check "--dry-run sends no WRITE BUFFER" 0 $? "$(cat "$work/dry.jsonl")" ""
[ "$before" = "$("$bench" show "$work/pc.json" | grep -v "Clock")" ]
check "--dry-run leaves the drives as they were" 0 $? "$before" ""
out=$(run update --yes); check "update with --yes" 0 $? "$out" "now QV12"
out=$("$bench" show "$work/pc.json"); check "flash holds the image" 0 $? "$out" "revision QV12 (QV12-00), flash 1048576 bytes crc32 $crc12"
check "no restart without an answer" 0 0 "$out" "Restart:           none pending"
# Run again, a drive that holds the package's revision is not flashed again without --force.
out=$(BRENVO_TRACE="$work/again.jsonl" run update --yes); check "a second run leaves the drive alone" 3 $? "$out" \
  "already QV12: not flashed (--force flashes it all the same)"
! grep -q '"cdb":"3b' "$work/again.jsonl"; check "and sends no WRITE BUFFER" 0 $? "$(head -3 "$work/again.jsonl")" ""
out=$(run update --dry-run); check "--dry-run with nothing to do" 3 $? "$out" "already QV12: not flashed"
# The flash lives beside the bench; altered behind its back, the next run that reads it says so.
printf 'X' | dd of="$work/pc.json.E.1.flash" bs=1 seek=100 conv=notrunc 2> /dev/null
out=$(run update --yes --force); check "altered contents file" 6 $? "$out" \
  "pc.json.E.1.flash: the flash contents file has crc32"
check "the altered file's run says its state was saved" 6 6 "$out" "the state was saved"

# A drive another program holds is refused before anything is sent to it in the run.
fresh typical
sed -i '0,/"flashIncomplete": false/s//"flashIncomplete": false, "heldBy": "cdrecord (process 4711)"/' "$work/pc.json"
out=$(run update --yes); check "a drive another program holds" 4 $? "$out" \
  "Drive E: (QUORVANT DVD-RW QV-1600) is in use by another program: cdrecord (process 4711)."
out=$("$bench" show "$work/pc.json"); check "is left as it was" 0 $? "$out" "revision QV11"

# A package damaged where the flash depends on it is refused before any drive is touched.
fresh typical
cp "$work/flasher" "$work/damaged"
at=$(grep -obUa "PARA_OPT=0001011000100110007320" "$work/damaged" | head -1 | cut -d: -f1)
pos=$((at - 1774 + 6148 + 4096))  # a byte of the image: the block starts 1774 bytes before the key
byte=$(od -An -tu1 -j "$pos" -N1 "$work/damaged" | tr -d ' ')
printf "$(printf '\\%03o' $((byte ^ 16)))" | dd of="$work/damaged" bs=1 seek="$pos" conv=notrunc status=none
out=$(BRENVO_MACHINE="$work/pc.json" BRENVO_TRACE="$work/trace.jsonl" "$work/damaged" update --yes < /dev/null 2>&1)
check "a flipped bit in the image is refused" 5 $? "$out" "The firmware package is damaged"
[ ! -s "$work/trace.jsonl" ]; check "no command reached a drive" 0 $? "trace" "trace"

# A drive newer than the package needs a yes.
manifest "$(options)" QV10 QV19
fresh typical
sed -i 's/"revision": "QV11"/"revision": "QV15"/' "$work/pc.json"
out=$(run update --force); check "unanswered warning refuses" 4 $? "$out" "run again with --yes or --no"
out=$(run update --force --no); check "--no declines" 4 $? "$out" "nothing was flashed"
out=$("$bench" show "$work/pc.json"); check "declined drive untouched" 0 $? "$out" "revision QV15"
out=$(run update --yes); check "--yes does not overwrite a newer drive" 3 $? "$out" \
  "already QV15, newer than the package's QV12: not flashed"
out=$(run update --yes --force); check "--force overwrites it" 0 $? "$out" "now QV12"
check "--yes does not restart" 0 0 "$out" "The computer was not restarted: restart it to finish the update."
out=$("$bench" show "$work/pc.json"); check "no restart recorded" 0 $? "$out" "Restart:           none pending"
fresh typical
sed -i 's/"revision": "QV11"/"revision": "QV15"/' "$work/pc.json"
out=$(run update --yes --force --reboot); check "--reboot restarts" 0 $? "$out" "> yes (--reboot)"
out=$("$bench" show "$work/pc.json"); check "restart recorded" 0 $? "$out" "requested, pending"

# A package that restarts without asking: --no-reboot holds it off.
manifest "$(options askBeforeReboot=0)" QV10 QV19
fresh typical
out=$(run update --yes --no-reboot); check "--no-reboot holds off an unasked restart" 0 $? "$out" \
  "restart it to finish the update"
out=$("$bench" show "$work/pc.json"); check "no restart made" 0 $? "$out" "Restart:           none pending"
fresh typical
out=$(run update --dry-run); check "--dry-run names an unasked restart" 0 $? "$out" \
  "restarts the computer without asking: --no-reboot holds it off"
out=$(run update --yes); check "without it the package restarts as it was made to" 0 $? "$out" "now QV12"
out=$("$bench" show "$work/pc.json"); check "restart made" 0 $? "$out" "requested, pending"
out=$(run list --force); check "--force belongs to update" 2 $? "$out" "are options of update"

manifest "$(options)" QV20 QV29
fresh typical
out=$(run list); check "no matching drive" 3 $? "$out" "No matched drive detected !"
out=$(run update --yes); check "update with no matching drive" 3 $? "$out" "No matched drive detected !"

# The direct-IDE path.
manifest "$(options directIde=1)" QV10 QV19
fresh ide
out=$(run update --yes); check "direct-IDE update" 0 $? "$out" "now QV12"
out=$("$bench" show "$work/pc.json"); check "chip holds the image" 0 $? "$out" "flash crc32 $crc12"
out=$(env -u BRENVO_MACHINE "$work/flasher" list < /dev/null 2>&1); check "direct-IDE refused on Linux" 8 $? \
  "$out" "exists only for Windows"

# The OEM cycle: update, restart entry, the restart, the check.
manifest "$(options uiVariant=2)" QV10 QV19
fresh typical
out=$(run update --yes); check "OEM update writes the restart entry" 0 $? "$out" "checked once more"
out=$("$bench" show "$work/pc.json"); check "RunOnce entry" 0 $? "$out" '/QVCHECK 0 QV12'
out=$("$bench" boot "$work/pc.json" 2>&1); check "the check after the restart" 0 $? "$out" "The firmware update was successful."
out=$("$bench" show "$work/pc.json"); check "RunOnce entry removed" 0 $? "$out" "Registry:          no values"

# The usual ranges, the revisions updated from: after the update the drive is outside them, and
# the check asks only whether it reports the expected revision.
manifest "$(options uiVariant=2)" QV10 QV11
fresh typical
out=$(run update --yes); check "OEM update from QV10-QV11" 0 $? "$out" "checked once more"
out=$("$bench" boot "$work/pc.json" 2>&1); check "the check passes outside the ranges" 0 $? "$out" \
  "The firmware update was successful."
out=$(run /QVCHECK 1 QV12); check "another drive fails the check for what it reports" 1 $? "$out" \
  "The firmware version reported by the drive 1.00 does"
out=$(run /QVCHECK 2 QV12); check "an index beyond the list fails the check" 1 $? "$out" \
  "The drive list has no drive 2 (it has 2 drives),"

# A package whose range still takes a drive left half written (it reports 0000).
manifest "$(options uiVariant=2)" 0000 QV19
fresh typical
sed -i '0,/"faults": \[\]/s//"faults": [{"kind": "powerCut", "command": "commit"}]/' "$work/pc.json"
out=$(run update --yes); check "power cut during the commit fails" 1 $? "$out" "Unable to flash firmware."
sed -i 's/"registry": \[\]/"registry": [{"key": "HKLM\\\\SOFTWARE\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\RunOnce", "name": "QVFWUpdate", "value": "\\"C:\\\\Program Files\\\\Brenvo\\\\brenvo.exe\\" \/QVCHECK 0 QV12"}]/' "$work/pc.json"
out=$("$bench" boot "$work/pc.json" 2>&1); check "a drive left half written fails the check" 1 $? "$out" "not match the expected version(QV12)."
out=$(BRENVO_MACHINE="$work/pc.json" "$work/flasher" /QVCHECK x QV12 < /dev/null 2>&1); check "a non-numeric index" 1 $? "$out" "Firmware update failed."

# At a terminal (a pseudo-terminal): --yes answers the update's questions, never the restart the
# package asks for, which is then left to the person (and a run of a package that restarts
# without asking is not one --yes could have stopped, so that package is not tried here).
if script -qec true /dev/null < /dev/null > /dev/null 2>&1; then
  manifest "$(options)" QV10 QV19
  fresh typical
  out=$(BRENVO_MACHINE="$work/pc.json" script -qec "$work/flasher update --yes" /dev/null < /dev/null 2>&1)
  check "at a terminal, --yes flashes" 0 $? "$out" "now QV12"
  check "at a terminal, --yes does not answer the restart" 0 0 "$out" "> no (no --reboot)"
  out=$("$bench" show "$work/pc.json"); check "at a terminal, no restart with --yes" 0 $? "$out" \
    "Restart:           none pending"
else
  not_run "the console at a terminal" 3 "script(1) cannot open a pseudo-terminal here"
fi

summary
