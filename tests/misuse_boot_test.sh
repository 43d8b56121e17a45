#!/usr/bin/env bash
# brenvo-bench boot starts the check after a restart and nothing else: a RunOnce entry runs only
# when it is "PROGRAM" /QVCHECK INDEX REVISION as the program writes it, for the bench's program,
# and the file started is the regular file checked (never a link, a FIFO or a device). An OEM
# package whose check could not be registered is refused before the flash.
# Usage: misuse_boot_test.sh BUILD_DIR
set -u
source "$(dirname "$0")/end_to_end.sh" "$1"
export BRENVO_UNATTENDED=1

"$bench" key --seed 7 "$work/key.bin" > /dev/null
"$bench" firmware --revision QV12 --size 1048576 "$work/fw.bin" > /dev/null
pack_oem() {  # pack_oem NEW_REVISION OUT
  cat > "$work/m.json" <<JSON
{ "title": "T", "driveName": "D", "options": "$(options uiVariant=2)",
  "images": [ { "file": "fw.bin", "key": "key.bin", "newRevision": "$1",
                "constraints": [ { "low": "QV10", "high": "QV19" } ] } ] }
JSON
  "$pack" "$work/m.json" "$cli" "$2" > /dev/null
}
pack_oem QV12 "$work/oem"
run() { BRENVO_MACHINE=$work/pc.json "$work/oem" "$@" < /dev/null 2>&1; }
# set_entry VALUE [HOST_PROGRAM]: the bench's one RunOnce entry, and the program that last ran.
set_entry() {
  python3 - "$work/pc.json" "$@" <<'PY'
import json, sys
path, value = sys.argv[1], sys.argv[2]
bench = json.load(open(path))
bench["registry"] = [{"key": "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                      "name": "QVFWUpdate", "value": value}]
if len(sys.argv) > 3:
    bench["machine"]["hostProgram"] = sys.argv[3]
json.dump(bench, open(path, "w"), indent=2)
PY
}
boot() { timeout 10 "$bench" boot "$work/pc.json" 2>&1; }
program='"C:\Program Files\Brenvo\brenvo.exe"'

"$bench" new --preset typical "$work/pc.json" > /dev/null
out=$(run list); check "the packed program runs on the bench" 0 $? "$out" "QV11"

# The bench's own packed program with words of the bench's author: refused, naming the entry, and
# nothing those words name happens.
for words in "-platformpluginpath $work/plugins -platform evil" "-platform offscreen" \
  "/QVCHECK 0 QV12 --gtest_output=xml:$work/gtest.xml" "--gtest_output=xml:$work/gtest.xml" \
  "update --yes --force" "/QVCHECK 0 QV12 -reverse" "/QVCHECK 00 QV12" "/QVCHECK 0 -reverse"; do
  set_entry "$program $words"
  out=$(boot); check "boot refuses the entry with: $words" 1 $? "$out" \
    'refused the RunOnce entry "QVFWUpdate"'
  grep -q "brenvo-bench: running" <<< "$out"; check "nothing ran for: $words" 1 $? "$out" ""
done
[ ! -e "$work/gtest.xml" ]; check "no --gtest_output file was written" 0 $? "x" "x"
out=$("$bench" show "$work/pc.json"); check "the drive was not flashed by the entry" 0 $? "$out" \
  "revision QV11"

set_entry '"C:\Windows\other.exe" /QVCHECK 0 QV12'
out=$(boot); check "boot refuses an entry naming another program" 1 $? "$out" \
  "it does not name this bench's program"

# Only a regular file, never through a link, and no wait on a FIFO or a device.
mkfifo "$work/fifo"
for host in "$work/fifo" /dev/zero "$work"; do
  set_entry "$program /QVCHECK 0 QV12" "$host"
  out=$(boot); check "boot refuses $host as the program at once" 1 $? "$out" "is not a regular file"
done
ln -s "$work/oem" "$work/link"
set_entry "$program /QVCHECK 0 QV12" "$work/link"
out=$(boot); check "boot refuses a link as the program" 1 $? "$out" "it is a symbolic link"

# The check itself, as the program writes it after an update, still runs.
out=$(run update --yes); check "the OEM update registers the check" 0 $? "$out" "checked once more"
out=$("$bench" show "$work/pc.json"); check "the entry as the program writes it" 0 $? "$out" \
  "/QVCHECK 0 QV12"
out=$(boot); check "boot runs the check" 0 $? "$out" "The firmware update was successful."
# A launcher is handed the file boot checked, by its descriptor, not a name the bench could swap.
cat > "$work/launcher" <<SH
#!/bin/sh
echo "\$1" > "$work/launched"
exec "\$@"
SH
chmod +x "$work/launcher"
set_entry "$program /QVCHECK 0 QV12"
out=$(BRENVO_BENCH_LAUNCHER=$work/launcher boot); check "boot runs the check through a launcher" 0 $? \
  "$out" "The firmware update was successful."
out=$(cat "$work/launched"); check "the launcher got the checked descriptor" 0 $? "$out" "/fd/"

# A revision the entry could not carry (a blank would split it): refused before the flash.
pack_oem "Q 12" "$work/oem-blank"
"$bench" new --preset typical "$work/pc2.json" > /dev/null
out=$(BRENVO_MACHINE=$work/pc2.json "$work/oem-blank" update --yes < /dev/null 2>&1)
check "an OEM run whose check cannot be registered is refused (declined)" 4 $? "$out" \
  "The check after the restart cannot be registered"
out=$("$bench" show "$work/pc2.json"); check "the drive was left as it was" 0 $? "$out" "revision QV11"
check "and no entry was written" 0 0 "$out" "Registry:          no values"

summary
