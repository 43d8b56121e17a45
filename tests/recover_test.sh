#!/usr/bin/env bash
# End to end: a drive left in its boot loader by a power cut is never written by an ordinary run,
# is named by list, --dry-run and the no-match message, and is recovered only by update --recover.
# Usage: recover_test.sh BUILD_DIR
set -u
source "$(dirname "$0")/end_to_end.sh" "$1"

"$bench" firmware --revision QV12 --size 1048576 "$work/fw12.bin" > /dev/null
"$bench" key --seed 7 "$work/key.bin" > /dev/null
# manifest OPTIONS LOW HIGH VENDOR [SECOND_IMAGE_VENDOR]: one image (or two) for the family.
manifest() {
  local second=""
  [ $# -ge 5 ] && second=", { \"file\": \"fw12.bin\", \"key\": \"key.bin\", \"newRevision\": \"QV12\",
                \"constraints\": [ { \"low\": \"$2\", \"high\": \"$3\", \"vendor\": \"$5\", \"product\": \"DVD-RW QV-1600\" } ] }"
  cat > "$work/m.json" <<JSON
{ "title": "Firmware Flasher - QV12", "driveName": "DVD-RW QV-1600", "options": "$1",
  "images": [ { "file": "fw12.bin", "key": "key.bin", "newRevision": "QV12",
                "constraints": [ { "low": "$2", "high": "$3", "vendor": "$4", "product": "DVD-RW QV-1600" } ] }$second ] }
JSON
  "$pack" "$work/m.json" "$cli" "$work/flasher" > /dev/null || echo "packing failed" >&2
}
run() { BRENVO_MACHINE="$work/pc.json" BRENVO_TRACE="$work/trace.jsonl" "$work/flasher" "$@" < /dev/null 2>&1; }
# A typical PC whose family drive (drive 0) had its flash cut at the commit.
cut() {
  "$bench" new --preset typical "$work/pc.json" > /dev/null
  manifest "$1" QV10 QV19 QUORVANT
  sed -i '0,/"faults": \[\]/s//"faults": [{"kind": "powerCut", "command": "commit"}]/' "$work/pc.json"
  run update --yes > /dev/null
  python3 - "$work/pc.json" <<'PY'
import json, sys
bench = json.load(open(sys.argv[1]))
for drive in bench["drives"]:
    drive["faults"] = []
json.dump(bench, open(sys.argv[1], "w"), indent=2)
PY
  rm -f "$work/trace.jsonl"
}
attended=00010110001001100000000000000000

cut $attended
out=$("$bench" show "$work/pc.json"); check "the cut leaves the drive in its loader" 0 $? "$out" "flash incomplete"
# A range that reaches 0000 still leaves the loader drive to an explicit recovery.
manifest $attended 0000 QV19 QUORVANT
out=$(run update --yes); check "an ordinary run leaves a loader drive alone" 3 $? "$out" \
  "Drive 0 (E: QUORVANT DVD-RW QV-1600) is in its boot loader (a flash was cut short): this package can recover it with image 1 (brenvo-cli update --recover --drive 0)"
[ ! -e "$work/trace.jsonl" ] || ! grep -q '"cdb":"3b' "$work/trace.jsonl"
check "the ordinary run wrote nothing" 0 $? "trace" "trace"
out=$(run list); check "list names the loader drive" 3 $? "$out" "0  E: QUORVANT DVD-RW QV-1600    0000
       in its boot loader (a flash was cut short): this package can recover it"
out=$(run update --dry-run); check "--dry-run names the loader drive" 3 $? "$out" \
  "Drive 0 (E: QUORVANT DVD-RW QV-1600) is in its boot loader (a flash was cut short): this package can recover it"
# Beside a drive to update, the dry run's own line says it.
sed -i '0,/"revision": "1.00"/s//"revision": "QV11"/; 0,/"vendor": "OTHERCO"/s//"vendor": "QUORVANT"/; 0,/"product": "CD-ROM XJ-52"/s//"product": "DVD-RW QV-1600"/' "$work/pc.json"
out=$(run update --dry-run --drive 1); check "--dry-run beside a drive to update" 0 $? "$out" \
  "left alone: in its boot loader (a flash was cut short): this package can recover it with image 1"
cut $attended
out=$(run update --recover); check "recovery asks first" 4 $? "$out" "run again with --yes or --no"
out=$(run update --recover --no); check "--no declines the recovery" 4 $? "$out" "not recovered: the recovery was not agreed to"
grep -q '"recovery":"consent".*"detail":"no"' "$work/trace.jsonl"; check "the trace records the refusal" 0 $? "trace" "trace"
out=$(run update --recover --dry-run); check "--recover is no dry run" 2 $? "$out" "cannot both be given"
out=$(run list --recover); check "--recover belongs to update" 2 $? "$out" "are options of update"
out=$(run update --recover --drive 1 --yes); check "a drive outside its loader is not recovered" 3 $? "$out" \
  "drive 1 is not in its boot loader: there is nothing to recover"
out=$(run update --recover --yes); check "--recover --yes recovers the drive" 0 $? "$out" ": recovered, now QV12"
out=$("$bench" show "$work/pc.json"); check "the drive left its loader" 0 $? "$out" "revision QV12 (QV12"
! grep -q 'E: .*flash incomplete' <<< "$out"; check "the drive is whole again" 0 $? "whole" "whole"
grep -q '"recovery":"consent".*"detail":"yes"' "$work/trace.jsonl" &&
  grep -q '"recovery":"outcome".*"detail":"recovered, now QV12"' "$work/trace.jsonl"
check "the trace records consent and outcome" 0 $? "trace" "trace"
out=$(run update --recover --yes); check "nothing left to recover" 3 $? "$out" "no drive in the list is in its boot loader"

# Packages that cannot recover it say why, and write nothing.
refused() {  # refused NAME STATUS PATTERN
  rm -f "$work/trace.jsonl"
  out=$(run update --recover --yes --drive 0); check "$1" "$2" $? "$out" "$3"
  ! grep -q '"cdb":"3b' "$work/trace.jsonl"; check "$1: nothing written" 0 $? "trace" "trace"
}
cut $attended
manifest $attended 0000 QV19 ""
refused "a package naming no maker never recovers" 4 "none of its images names this drive's maker and model"
manifest 00010110002001100000000000000000 QV10 QV19 QUORVANT QUORVANT
refused "two images naming the drive are ambiguous" 4 "images 1 and 2 both name this drive's maker and model"
manifest 00010110001001100000000000000000 QV10 QV19 OTHERCO
refused "another maker's package never recovers" 4 "none of its images names this drive's maker and model"
manifest 00010111001001100000000000000000 QV10 QV19 QUORVANT
refused "an unattended package never recovers" 4 "it updates without asking"
out=$(run update --yes); check "an unattended package leaves the loader drive alone" 3 $? "$out" "in its boot loader"
# Another maker's loader shows only its revision 0000: never recovered, never updated.
cut $attended
python3 - "$work/pc.json" <<'PY'
import json, sys
bench = json.load(open(sys.argv[1]))
bench["drives"][0]["loaderSigns"] = "revision"
json.dump(bench, open(sys.argv[1], "w"), indent=2)
PY
manifest $attended 0000 QV19 QUORVANT
refused "a loader with one sign only is not recovered" 4 "does not report both revision 0000 and FLASH INCOMPLETE"

# A recovery succeeds only when the drive comes back with the image's revision.
cut $attended
"$bench" firmware --revision QV1X --size 1048576 "$work/fw12.bin" > /dev/null
manifest $attended QV10 QV19 QUORVANT
out=$(run update --recover --yes); check "a drive back with another revision is not recovered" 1 $? "$out" \
  "The drive did not come back with the image's revision: it was not recovered."
grep -q '"recovery":"outcome".*"detail":"not recovered, now QV1X"' "$work/trace.jsonl"
check "the trace records the failed recovery" 0 $? "trace" "trace"
"$bench" firmware --revision QV12 --size 1048576 "$work/fw12.bin" > /dev/null

# The check after a restart knows the drive it updated: another drive at its index fails it.
"$bench" new --preset typical "$work/pc.json" > /dev/null
manifest 20010110001001100000000000000000 QV10 QV19 QUORVANT
out=$(run update --yes); check "the OEM update registers its check" 0 $? "$out" "checked once more"
out=$("$bench" show "$work/pc.json"); check "the entry names the updated drive" 0 $? "$out" \
  "/QVCHECK 0 QV12 51554F5256414E544456442D52572051562D313630302020"
python3 - "$work/pc.json" <<'PY'
import json, sys
bench = json.load(open(sys.argv[1]))
bench["drives"][0]["product"] = "DVD-RW QV-2400"
json.dump(bench, open(sys.argv[1], "w"), indent=2)
PY
out=$("$bench" boot "$work/pc.json" 2>&1); check "another drive at the index fails the check" 1 $? "$out" \
  "is a QUORVANTDVD-RW QV-2400,
not the drive that was updated, so it was not compared with"

summary
