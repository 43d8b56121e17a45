#!/usr/bin/env bash
# brenvo-cli asks once before it writes: at a terminal (a pseudo-terminal), in a pipe with no
# answer, with --yes and --no; an unattended package does not ask; the progress bar has a line of
# its own and shows only while the flash runs. Usage: console_question_test.sh BUILD_DIR
set -u
source "$(dirname "$0")/end_to_end.sh" "$1"

question="Update E: QUORVANT DVD-RW QV-1600 from QV11 to QV12? [y/N]"
"$bench" key --seed 7 "$work/key.bin" > /dev/null
"$bench" firmware --revision QV12 --size 262144 "$work/fw.bin" > /dev/null
packed() {  # packed NAME OPTIONS
  cat > "$work/$1.json" <<JSON
{ "title": "Firmware Flasher - QV12", "driveName": "DVD-RW QV-1600", "options": "$2",
  "images": [ { "file": "fw.bin", "key": "key.bin", "newRevision": "QV12",
                "constraints": [ { "low": "QV10", "high": "QV19" } ] } ] }
JSON
  "$pack" "$work/$1.json" "$cli" "$work/$1" > /dev/null
}
packed flasher $(options)
packed confirming $(options uiVariant=1)  # its dialog confirms the change
packed unattended $(options unattended=1)
packed direct $(options directIde=1)  # the direct-IDE path
fresh() { "$bench" new --preset typical "$work/pc.json" > /dev/null; }
revision() { "$bench" show "$work/pc.json" | grep -o 'revision QV1[0-9]' | head -1; }
run() { BRENVO_MACHINE="$work/pc.json" "$work/flasher" "$@" < /dev/null 2>&1; }

# No terminal: without --yes nothing is written.
fresh
out=$(run update); check "no terminal and no --yes: refused" 4 $? "$out" \
  "brenvo-cli: not updated: the drive was not changed"
check "the refusal names the drive and the change" 4 4 "$out" "$question"
check "and the drive is as it was" 0 0 "$(revision)" "revision QV11"
out=$(run update --no); check "--no declines before anything is written" 4 $? "$out" \
  "$question no (--no)"
check "--no leaves the drive" 0 0 "$(revision)" "revision QV11"
out=$(run update --yes); check "--yes answers it" 0 $? "$out" "$question yes (--yes)"
check "--yes flashes" 0 0 "$(revision)" "revision QV12"
fresh
out=$(BRENVO_MACHINE="$work/pc.json" "$work/unattended" update < /dev/null 2>&1)
check "an unattended package starts without asking" 0 $? "$out" "now QV12"
! grep -qF "[y/N]" <<< "$out"; check "and asks nothing" 0 $? "$out" ""
"$bench" new --preset ide "$work/pc.json" > /dev/null
out=$(BRENVO_MACHINE="$work/pc.json" "$work/direct" update < /dev/null 2>&1)
check "a drive with no letter is named by its IDE place" 4 $? "$out" \
  "Update IDE channel 0 master QUORVANT DVD-RW QV-1600 from QV11 to QV12? [y/N]"

# At a terminal: `at PROGRAM TYPED ARGS...` runs it in a pseudo-terminal, typing TYPED.
at() {
  local program=$1 typed=$2
  shift 2
  printf '%b' "$typed" | BRENVO_MACHINE="$work/pc.json" script -qec "$work/$program $*" /dev/null 2>&1
}
if script -qec true /dev/null < /dev/null > /dev/null 2>&1; then
  fresh
  out=$(at flasher 'n\n' update); check "at a terminal, n declines" 4 $? "$out" "$question"
  check "n leaves the drive" 0 0 "$(revision)" "revision QV11"
  out=$(at flasher '\n' update); check "at a terminal, Enter alone declines" 4 $? "$out" \
    "the drive was not changed"
  check "Enter leaves the drive" 0 0 "$(revision)" "revision QV11"
  out=$(at flasher 'maybe\ny\n' update); check "an answer that is neither is asked again" 0 $? \
    "$out" "Please answer y (yes) or n (no); Enter alone means no."
  check "then y flashes" 0 0 "$(revision)" "revision QV12"

  fresh
  out=$(at confirming 'y\ny\n' update); check "the confirming package asks the same one line" 0 $? \
    "$out" "$question"
  ! grep -qE "FW Information|After Updating" <<< "$out"
  check "not its dialog's labels" 0 $? "$out" ""
  [ "$(grep -cF '[y/N]' <<< "$out")" -eq 1 ]; check "once" 0 $? "$out" ""

  # The bar: never before the question, never after the flash, not in list or --dry-run.
  fresh
  out=$(at flasher '' list); ! grep -qF $'\r[' <<< "$out"; check "list draws no bar" 0 $? "$out" ""
  out=$(at flasher '' update --dry-run); ! grep -qF $'\r[' <<< "$out"
  check "--dry-run draws no bar" 0 $? "$out" ""
  out=$(at flasher '' update --yes); check "at a terminal, --yes flashes" 0 $? "$out" "now QV12"
  ! grep -qF $'\r[' <<< "${out%%"$question"*}"; check "no bar before the question" 0 $? "$out" ""
  after=${out#*$'\nInquiry ...'}
  [ "$after" != "$out" ] && ! grep -qF $'\r[' <<< "$after"
  check "no bar after the flash, nor at the restart question" 0 $? "$out" ""
  grep -q $'^\r\[#*' <<< "$out"; check "the flash's bar has its own line" 0 $? "$out" ""
else
  not_run "the console's question at a terminal" 11 "script(1) cannot open a pseudo-terminal here"
fi

summary
