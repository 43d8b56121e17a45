#!/usr/bin/env bash
# End to end with the built window program: brenvo on emulated PCs, run by a script (no message
# box waits for a person; the messages come out on stderr; the program ends by itself with
# brenvo-cli's exit status). Usage: brenvo_test.sh BUILD_DIR
set -u
build=$1
pack=$build/tools/pack/brenvo-pack
bench=$build/tools/bench/brenvo-bench
brenvo=$build/app/brenvo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen BRENVO_UNATTENDED=1
source "$(dirname "$0")/../check.sh"
# Seconds a run of the window program may take (longer under the sanitizers).
limit=$((60 * ${BRENVO_TIME_SCALE:-1}))

"$bench" key --seed 7 "$work/key.bin" > /dev/null
crc12=$("$bench" firmware --revision QV12 --size 1048576 "$work/fw12.bin" | sed 's/.*crc32 \([0-9a-f]*\).*/\1/')
packed() {  # packed OPTIONS: brenvo carrying one QV12 image for QV10..QV19
  cat > "$work/m.json" <<JSON
{ "title": "Firmware Flasher - QV12", "driveName": "DVD-RW QV-1600", "options": "$1",
  "images": [ { "file": "fw12.bin", "key": "key.bin", "newRevision": "QV12",
                "constraints": [ { "low": "QV10", "high": "QV19" } ] } ] }
JSON
  "$pack" "$work/m.json" "$brenvo" "$work/brenvo" > /dev/null
}
fresh() { "$bench" new --preset "$1" "$work/pc.json" > /dev/null; }
run() { BRENVO_MACHINE="$work/pc.json" timeout "$limit" "$@" < /dev/null 2>&1; }

out=$(env -u BRENVO_MACHINE "$brenvo" 2>&1); check "this computer without a bench" 5 $? "$out" \
  "brenvo: error: No F/W in executable !"

fresh typical
out=$(run "$brenvo"); check "unpackaged: no firmware" 5 $? "$out" "brenvo: error: No F/W in executable !"

packed "$(options)"
sed -i 's/"administrator": true/"administrator": false/' "$work/pc.json"
out=$(run "$work/brenvo"); check "access denied" 4 $? "$out" \
  "Access denied ! You must have administrator privilege to flash drives."

# Unattended, exit when done, no restart: the program flashes E: and ends by itself.
packed "$(options rebootAfterSuccess=0 unattended=1 exitWhenDone=1)"
fresh typical
out=$(run "$work/brenvo"); check "unattended update ends the program" 0 $? "$out" \
  "brenvo: information: Firmware has been updated successfully !"
out=$("$bench" show "$work/pc.json"); check "the bench keeps the flash" 0 $? "$out" \
  "revision QV12 (QV12-00), flash 1048576 bytes crc32 $crc12"
check "no restart" 0 0 "$out" "Restart:           none pending"

# Script mode ends in every case, with the console's status.
# Unattended, staying after success, leaving out drives that already hold the revision: E: was
# flashed above, so there is nothing to update.
packed "$(options rebootAfterSuccess=0 unattended=1 skipCurrent=1)"
out=$(run "$work/brenvo"); check "nothing to update ends the program" 3 $? "$out" ""
# A package that is not unattended waits for a person to press Update: refused, nothing flashed.
packed "$(options)"
fresh typical
out=$(run "$work/brenvo"); check "a package that is not unattended is refused" 4 $? "$out" \
  "nothing was flashed"
out=$("$bench" show "$work/pc.json"); check "the refused package left E: alone" 0 $? "$out" \
  "revision QV11"
# No drive the package takes.
sed -i 's/"revision": "QV11"/"revision": "QV31"/' "$work/pc.json"
out=$(run "$work/brenvo"); check "nothing matched ends the program" 3 $? "$out" \
  "brenvo: error: "
# The tray check, E: holding a disc in a locked tray: nobody can take it out.
packed "$(options checkTray=1 rebootAfterSuccess=0 unattended=1 exitWhenDone=1)"
fresh typical
sed -i '0,/"trayLocked": false/s//"trayLocked": true/' "$work/pc.json"
out=$(run "$work/brenvo"); check "a locked tray ends the program" 4 $? "$out" \
  "brenvo: warning: Disc detected in drive. Unable to eject the disc"
out=$("$bench" show "$work/pc.json"); check "the locked tray left E: alone" 0 $? "$out" \
  "revision QV11"
# The OEM wizard's check after a restart: its verdict is the status.
packed "$(options uiVariant=2)"
fresh typical
out=$(run "$work/brenvo" /QVCHECK 0 QV11); check "the check after a restart that passes" 0 $? "$out" ""
out=$(run "$work/brenvo" /QVCHECK 0 QV12); check "the check after a restart that fails" 1 $? "$out" ""

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
