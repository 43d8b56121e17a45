#!/usr/bin/env bash
# Signals against brenvo-cli on emulated PCs whose clock keeps real time: a stop before the flash
# ends the run with nothing written; during the flash it is answered once and the run goes on to
# its true verdict. Usage: signal_test.sh BUILD_DIR
set -u
source "$(dirname "$0")/end_to_end.sh" "$1"
# Job control: a background job of a script would otherwise start with SIGINT ignored.
set -m

"$bench" key --seed 7 "$work/key.bin" > /dev/null
crc12=$("$bench" firmware --revision QV12 --size 1048576 "$work/fw12.bin" | sed 's/.*crc32 \([0-9a-f]*\).*/\1/')
cat > "$work/m.json" <<JSON
{ "title": "Firmware Flasher - QV12", "driveName": "DVD-RW QV-1600",
  "options": "$(options)",
  "images": [ { "file": "fw12.bin", "key": "key.bin", "newRevision": "QV12",
                "constraints": [ { "low": "QV10", "high": "QV19" } ] } ] }
JSON
"$pack" "$work/m.json" "$cli" "$work/flasher" > /dev/null

# A fresh bench whose clock is paced; `readyAt` seconds from now its first drive becomes ready.
paced() {
  "$bench" new --preset typical "$work/pc.json" > /dev/null
  sed -i 's/"mode": "virtual"/"mode": "paced"/' "$work/pc.json"
  sed -i "0,/\"readyAt\": [0-9.e+]*/s//\"readyAt\": $1/" "$work/pc.json"
  : > "$work/trace.jsonl"
}
# Starts the update in the background; `when PATTERN` waits (up to 30 s) for the trace to show it.
start() {
  BRENVO_MACHINE="$work/pc.json" BRENVO_TRACE="$work/trace.jsonl" "$work/flasher" update --yes \
    < /dev/null > "$work/out" 2>&1 &
  pid=$!
}
when() {
  for _ in $(seq 300); do
    grep -q "$1" "$work/trace.jsonl" 2> /dev/null && return 0
    sleep 0.1
  done
  echo "FAIL: the trace never showed $1"
  return 1
}
finish() {  # waits for the run; sets status and out
  wait "$pid"
  status=$?
  out=$(cat "$work/out")
}

# Before the flash: the drive is not ready yet, the run waits for it; Ctrl+C ends it at once.
for signal in INT TERM HUP; do
  paced 1e6
  start
  when '"cdb":"00' && sleep 0.3
  began=$(date +%s)
  kill -"$signal" "$pid"
  finish
  check "SIG$signal before the flash ends the run" 4 "$status" "$out" \
    "Stopped before anything was written: the drive was not changed."
  [ $(($(date +%s) - began)) -le 3 ]; check "SIG$signal: at once" 0 $? "$out" ""
  ! grep -q '"cdb":"3b' "$work/trace.jsonl"; check "SIG$signal: nothing written" 0 $? "$out" ""
  out=$("$bench" show "$work/pc.json"); check "SIG$signal: the drive is unchanged" 0 $? "$out" "revision QV11"
done

# During the flash: every stop signal, twice over; the line comes once, the flash is finished and
# the run reports what the drive holds, without the restart its package asks for.
paced 0
start
when '"cdb":"3b' || kill "$pid"
for signal in INT INT TERM HUP; do
  kill -"$signal" "$pid"
  sleep 0.2
done
finish
check "signals during the flash: the true verdict" 0 "$status" "$out" "now QV12"
check "signals during the flash: said" 0 "$status" "$out" \
  "A firmware flash is in progress and stopping now would leave the drive unusable: the run will end when the drive has finished."
[ "$(grep -c 'firmware flash is in progress' <<< "$out")" -eq 1 ]; check "said once" 0 $? "$out" ""
check "no restart after a stop" 0 "$status" "$out" "the computer is not restarted now"
out=$("$bench" show "$work/pc.json")
check "the flash holds the image" 0 $? "$out" "revision QV12 (QV12-00), flash 1048576 bytes crc32 $crc12"
check "no restart pending" 0 0 "$out" "Restart:           none pending"
# Sleep and shutdown were held off from before the first write until after the last.
span=$(awk '/"shutdownBlock":"held"/ {h = NR} /"cdb":"3b/ {if (!f) f = NR; l = NR}
            /"shutdownBlock":"released"/ {r = NR} END {print (h && h < f && r > l) ? "over" : "not over"}' \
  "$work/trace.jsonl")
[ "$span" = over ]; check "sleep and shutdown held off over the flash" 0 $? "$span" ""

# Killed the moment the drive has answered its commit: the drive keeps its new firmware, and so
# does the bench, which the next run finds free.
paced 0
start
when '"cdb":"3b0501000000000000' || kill "$pid"
kill -KILL "$pid"
finish
check "killed after the commit" 137 "$status" "$out" ""
out=$("$bench" show "$work/pc.json")
check "killed after the commit: the bench holds the flash" 0 $? "$out" \
  "revision QV12 (QV12-00), flash 1048576 bytes crc32 $crc12"

# The window, in script mode on an unattended package: the same answers to the same signals.
window=$build/app/brenvo
if [ -x "$window" ]; then
  sed -i "s/\"options\": \"$(options)\"/\"options\": \"$(options unattended=1)\"/" "$work/m.json"
  "$pack" "$work/m.json" "$window" "$work/window" > /dev/null
  start_window() {
    QT_QPA_PLATFORM=offscreen BRENVO_UNATTENDED=1 BRENVO_MACHINE="$work/pc.json" \
      BRENVO_TRACE="$work/trace.jsonl" "$work/window" < /dev/null > "$work/out" 2>&1 &
    pid=$!
  }
  # The window's thread waits for the drive (4 s); the stop keeps the flash from beginning.
  paced 4
  start_window
  when '"cdb":"00' && kill -TERM "$pid"
  finish
  check "window: SIGTERM before the flash" 4 "$status" "$out" \
    "Stopped before anything was written: the drive was not changed."
  ! grep -q '"cdb":"3b' "$work/trace.jsonl"; check "window: nothing written" 0 $? "$out" ""
  paced 0
  start_window
  when '"cdb":"3b' || kill "$pid"
  kill -INT "$pid"; sleep 0.2; kill -HUP "$pid"
  finish
  check "window: signals during the flash" 0 "$status" "$out" "firmware flash is in progress"
  [ "$(grep -c 'firmware flash is in progress' <<< "$out")" -eq 1 ]; check "window: said once" 0 $? "$out" ""
  out=$("$bench" show "$work/pc.json")
  check "window: the flash holds the image" 0 $? "$out" "revision QV12 (QV12-00), flash 1048576 bytes crc32 $crc12"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
