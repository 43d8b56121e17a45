#!/usr/bin/env bash
# The history of runs end to end: a run that writes leaves one record beside the bench, a run
# that writes nothing leaves none, the failure line names the file, `history` shows the records
# (newest first, or as JSON for scripts), the file stays bounded, and a link at its name is
# refused rather than followed. Usage: history_test.sh BUILD_DIR
set -u
source "$(dirname "$0")/end_to_end.sh" "$1"

"$bench" firmware --revision QV12 --size 1048576 "$work/fw12.bin" > /dev/null
"$bench" key --seed 7 "$work/key.bin" > /dev/null
cat > "$work/m.json" <<'JSON'
{ "title": "Firmware Flasher - QV12", "driveName": "DVD-RW QV-1600",
  "options": "00010110001001100000000000000000",
  "images": [ { "file": "fw12.bin", "key": "key.bin", "newRevision": "QV12",
                "constraints": [ { "low": "QV10", "high": "QV19" } ] } ] }
JSON
"$pack" "$work/m.json" "$cli" "$work/flasher" > /dev/null
fresh() { "$bench" new --preset typical "$work/pc.json" > /dev/null; }
run() { BRENVO_MACHINE="$work/pc.json" "$work/flasher" "$@" < /dev/null 2>&1; }
history=$work/pc.history.jsonl
records() { [ -f "$history" ] && grep -c . "$history" || echo 0; }

fresh
out=$(run history); check "no history yet" 0 $? "$out" "No run has written to a drive yet."
out=$(run update --dry-run); check "a dry run" 0 $? "$out" "QV12"
check "a run that writes nothing leaves no record" 0 0 "$(records)" "0"

out=$(run update --yes); check "a good run" 0 $? "$out" "QV12"
check "a run that wrote leaves one record" 0 0 "$(records)" "1"
check "the record holds the verdict" 0 0 "$(cat "$history")" '"verdict":"succeeded"'
check "the record holds the drive, before and after" 0 0 "$(cat "$history")" \
  '"after":"QV12","answered":true,"before":"QV11"'
check "the record holds the package" 0 0 "$(cat "$history")" '"title":"Firmware Flasher - QV12"'
check "the record holds the path" 0 0 "$(cat "$history")" '"path":"pass-through, verified download"'
check "the record names the console" 0 0 "$(cat "$history")" '"program":"brenvo-cli '
check "the good run's output names no history" 0 0 "$(grep -c "record of this run" <<< "$out")" "0"

fresh
sed -i '0,/"faults": \[\]/s//"faults": [{"kind": "powerCut", "command": "commit"}]/' "$work/pc.json"
out=$(run update --yes); check "a failed run" 1 $? "$out" "Unable to flash firmware."
check "the failure line names the history file" 1 1 "$out" "The record of this run is in $history."
check "the failure adds one record" 0 0 "$(records)" "2"
last=$(tail -1 "$history")
check "its verdict is the run's" 0 0 "$last" '"verdict":"failed"'
check "its reason names the drive" 0 0 "$last" '"reason":"1-0-0-0 E: '

out=$(run history); check "history for people" 0 $? "$out" "History of runs ($history), newest first:"
first=$(sed -n 2p <<< "$out")
check "the newest run comes first" 0 0 "$first" "  failed"
check "each drive from which revision to which" 0 0 "$out" "QV11 -> QV12, flashed"
out=$(run history --json); check "history --json" 0 $? "$out" '"verdict":"succeeded"'
check "--json gives every record, one a line" 0 0 "$(grep -c '^{' <<< "$out")" "2"
out=$(run list --json); check "--json belongs to history" 2 $? "$out" "--json is an option of history"

# Bounded: a long history keeps only the newest records.
for i in $(seq 1 250); do echo "{\"time\":\"old $i\"}"; done > "$history"
fresh
out=$(run update --yes); check "a run on a long history" 0 $? "$out" "QV12"
check "the history keeps 200 records" 0 0 "$(records)" "200"
check "the oldest are dropped" 0 0 "$(grep -c '"old 51"' "$history")" "0"
check "the newest old one stays" 0 0 "$(head -1 "$history")" '"old 52"'

# Text from the file is escaped on the screen; a line that is no record is counted, not shown.
printf '{"time":"\\u001b[2Jx","verdict":"failed"}\nnot json\n' > "$history"
out=$(run history); check "history of a hand-edited file" 0 $? "$out" "1 line(s) of the file are no record."
check "a control character is shown escaped" 0 0 "$(grep -c $'\e' <<< "$out")" "0"

# A link at the history's name is neither followed nor replaced.
echo "precious" > "$work/target"
rm -f "$history" && ln -s "$work/target" "$history"
fresh
out=$(run update --yes); check "a run beside a linked history still flashes" 0 $? "$out" "QV12"
check "the linked file is untouched" 0 0 "$(cat "$work/target")" "precious"
[ -L "$history" ]; check "the link stays a link" 0 $? "" ""
fresh
sed -i '0,/"faults": \[\]/s//"faults": [{"kind": "powerCut", "command": "commit"}]/' "$work/pc.json"
out=$(run update --yes); check "and its failure says the record was not kept" 1 $? "$out" \
  "The record of this run could not be kept: "
out=$(run history); check "history refuses to read through the link" 6 $? "$out" "is a symbolic link"

echo "history_test: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
