#!/bin/bash
# The checks of scripts/wine-vm-test.sh, run in the VM in a chroot of the host's root filesystem:
# our emulated drive is served to this kernel through TCMU behind tcm_loop (/dev/sr0), Wine maps
# it as E:, and the packed 32-bit programs flash it through Wine's SCSI pass-through, which Wine
# turns into SG_IO on /dev/sr0. Every check prints "CHECK PASS|FAIL what"; each part's time is a
# "TIME part seconds" line.
# Usage (by the VM's init): wine-guest.sh JOB REPO   (JOB holds what the host prepared)
set -u
job=$1
repo=$2
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp/home LANG=C.UTF-8
source "$job/env"  # PREFIX, IMAGE_CRC, the flash CRCs the emulated PC ends with, BUILD
export WINEPREFIX=$PREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
w=/tmp/work
mkdir -p "$HOME" "$w"
cd "$w" || exit 1
tcmu=$BUILD/tools/tcmu/brenvo-tcmu
bench=$BUILD/tools/bench/brenvo-bench

. "$(dirname "$0")/common.sh"  # check, has, now, since, settle, our drive behind tcm_loop
flash_crc() { "$bench" show "$1" 2> /dev/null | sed -n 's/^ *[A-Z]:.*crc32 \([0-9a-f]*\).*/\1/p' | head -1; }

# --- our drive behind tcm_loop ------------------------------------------------------------------
tcmu_device
serve() {  # serve NAME: a fresh copy of a bench of the host, its drive-side trace NAME.jsonl
  cp "$job/$1.json" "$w/$1.json"
  cp "$job/$1".json.*.flash "$w/" 2> /dev/null  # its flash contents, when written apart
  rm -f "$w/$1.jsonl"
  tcmu_serve "$w/tcmu.log" "$w/$1.jsonl" "$w/$1.json"
}
stop() { tcmu_stop; }
serve linux
tcmu_link
settle 1 && [ -b /dev/sr0 ]
check "the kernel attaches our drive as /dev/sr0" $? "$(cat "$w/tcmu.log")"

# The commands a drive saw, without those the kernel sends by itself when /dev/sr0 is opened
# (GET EVENT STATUS NOTIFICATION, TEST UNIT READY) and without the times.
commands() {
  grep -v -e '"cdb":"4a' -e '"cdb":"00' "$1" | sed 's/,"t":[^,}]*//'
}

# --- the Linux build through the kernel: the drive-side trace every Windows run is held to ------
t=$(now)
out=$("$job/linux-cli" update --yes < /dev/null 2>&1)
rc=$?
stop
[ $rc -eq 0 ] && [ "$(flash_crc "$w/linux.json")" = "$IMAGE_CRC" ]
check "the Linux build flashes the drive through the kernel (the reference)" $? "rc=$rc $out"
echo "TIME linux-update $(since "$t")"

# --- Wine: the prefix made on the host, an X server for the window ------------------------------
# A drive must answer while Wine starts: its mount manager opens /dev/sr0, and a TCMU device
# without its handler leaves the kernel's commands waiting.
serve idle
t=$(now)
[ "$(stat -c %u "$PREFIX")" = 0 ] || chown 0:0 "$PREFIX"  # Wine runs only in a prefix of its user
Xvfb :7 -nolisten tcp -screen 0 1024x768x24 > "$w/xvfb.log" 2>&1 &
export DISPLAY=:7
# The first Wine program starts Wine's services, which keep its output open: a file, not a pipe.
wineserver -p > /dev/null 2>&1 < /dev/null
if [ "${HALF32:-}" = guest ]; then
  # Made where 32-bit programs cannot run, the prefix has its 32-bit half's programs but not the
  # rest of it: the part of Wine's setup that the 32-bit rundll32 does, done here, where they run.
  timeout -k 10 600 wine 'C:\windows\syswow64\rundll32.exe' setupapi,InstallHinfSection Wow64Install 128 \
    '\\?\Z:\usr\share\wine\wine.inf' > "$w/wow64.log" 2>&1 < /dev/null
  rc=$?
  [ $rc -eq 0 ] && [ -f "$PREFIX/drive_c/windows/syswow64/c_1252.nls" ]
  check "the prefix's 32-bit half, made in the VM by Wine's 32-bit setup" $? "rc=$rc $(tail -5 "$w/wow64.log")"
  echo "TIME prefix-32-bit-half $(since "$t")"
fi
timeout -k 10 300 wine cmd /c echo prefix-ok > "$w/start.log" 2>&1 < /dev/null
check "Wine starts in the prefix made on the host" $? "$(cat "$w/start.log")"
echo "TIME wine-cold-start $(since "$t")"
stop

# --- brenvo-cli.exe (i686) under Wine ---------------------------------------------------------
run() {  # run BENCH PART COMMAND...: COMMAND against a fresh BENCH; sets out, rc and the flash's crc
  local t
  serve "$1"
  t=$(now)
  # To a file: a program Wine starts for it may outlive it and hold a pipe open. Wine may take
  # SIGTERM for a request of its own: killed when it outlasts the time-out.
  timeout -k 10 300 "${@:3}" > "$w/$2.log" 2>&1 < /dev/null
  rc=$?
  out=$(cat "$w/$2.log")
  stop
  echo "TIME $2 $(since "$t")"
  crc=$(flash_crc "$w/$1.json")
}
run list list wine "$job/cli.exe" list
echo "$out"
# Wine refuses IOCTL_SCSI_GET_ADDRESS when it is given an input buffer, as the program gives it:
# the drive gets the program's substitute address, adapter 2.
[ $rc -eq 0 ] && has "$out" " 2-0-0-0 E:" && has "$out" "QUORVANT" && has "$out" "QV11 -> QV12"
check "i686 brenvo-cli.exe list names the TCMU drive as E: at the substitute address 2-0-0-0, QV11 -> QV12" $? "rc=$rc $out"

run verified verified-update wine "$job/cli.exe" update --yes
echo "$out" | tail -3
[ $rc -eq 0 ] && has "$out" "now QV12"; check "i686 brenvo-cli.exe: a verified 1 MiB update succeeds" $? "rc=$rc $out"
[ "$crc" = "$IMAGE_CRC" ]; check "the drive's flash equals the image (crc32 $IMAGE_CRC)" $? "crc32 $crc"
commands "$w/linux.jsonl" > "$w/linux.commands"
commands "$w/verified.jsonl" > "$w/verified.commands"
d=$(diff "$w/linux.commands" "$w/verified.commands" | head -8)
[ -z "$d" ] && [ -s "$w/linux.commands" ]
check "the drive saw the Linux build's commands, one for one ($(wc -l < "$w/linux.commands") commands; the kernel's own left out)" $? "$d"

run corrupt corrupted-update wine "$job/cli.exe" update --yes
[ $rc -eq 1 ] && ! has "$out" "now QV12" && [ "$crc" = "$FRESH_CRC" ]
check "a corrupted read-back fails (exit 1) with the drive's flash untouched" $? "rc=$rc crc32 $crc $out"

run other other-maker wine "$job/cli.exe" update --yes
# Every drive is identified at start with two vendor reads (data in); nothing else of the vendor's,
# and no WRITE BUFFER, may reach a drive of another maker.
writes=$(grep -e '"cdb":"3b' -e '"cdb":"c' -e '"cdb":"d' -e '"cdb":"e' -e '"cdb":"f' "$w/other.jsonl" |
  grep -v -e '"cdb":"f30e02000000000000000000","dir":1' -e '"cdb":"df1100000000000000000000","dir":1' |
  grep -c .)
[ $rc -eq 3 ] && [ "$writes" -eq 0 ] && [ "$crc" = "$OTHER_CRC" ] && grep -q '"device"' "$w/other.jsonl"
check "a drive of another maker is left alone (exit 3, identified, no write or other vendor command)" $? \
  "rc=$rc writes=$writes crc32 $crc $out"

# A 64-bit Windows cannot load the 32-bit flash driver: refused before anything is installed.
run list direct-ide wine "$job/ide.exe" update --yes
[ $rc -eq 9 ] && has "$out" "64-bit Windows cannot load"
check "a direct-IDE package is refused on this 64-bit Windows (exit 9)" $? "rc=$rc $out"

# --- the window, brenvo.exe (i686), in its script mode --------------------------------------
run window window-update env BRENVO_UNATTENDED=1 wine "$job/window.exe"
[ $rc -eq 0 ] && has "$out" "Firmware has been updated successfully" && [ "$crc" = "$IMAGE_CRC" ]
check "i686 brenvo.exe, unattended, flashes the drive through its window" $? "rc=$rc crc32 $crc $out"

run list window-direct-ide env BRENVO_UNATTENDED=1 wine "$job/window-ide.exe"
[ $rc -eq 9 ] && has "$out" "64-bit Windows cannot load"
check "i686 brenvo.exe refuses a direct-IDE package here too (exit 9)" $? "rc=$rc $out"

# A drive in its boot loader after a cut flash: an ordinary run leaves it alone; an explicit
# recovery run brings it back with the image.
run loader loader-ordinary wine "$job/cli-r.exe" update --yes
[ $rc -ne 0 ] && ! has "$out" "now QV12" && [ "$crc" = "$LOADER_CRC" ]
check "i686 brenvo-cli.exe: an ordinary run leaves a drive in its boot loader alone (exit $rc)" $? \
  "rc=$rc crc32 $crc $out"
if [ "$RECOVER" -gt 0 ]; then
  run loader loader-recover wine "$job/cli-r.exe" update --recover --yes
  [ $rc -eq 0 ] && has "$out" "recovered" && [ "$crc" = "$IMAGE_CRC" ]
  check "i686 brenvo-cli.exe update --recover brings the drive out of its loader with the image" $? \
    "rc=$rc crc32 $crc $out"
else
  echo "NOT RUN i686 brenvo-cli.exe update --recover: this brenvo-cli has no --recover yet"
fi

# Last: through the loopback target, the vendor download's commit loses its bytes 10 and 11 (the
# kernel's target layer keeps the 10 bytes it derives from the opcode), which may leave the drive
# unanswering for the runs after it.
run block block-update wine "$job/block.exe" update --yes
[ $rc -eq 0 ] && has "$out" "now QV12" && [ "$crc" = "$BLOCK_CRC" ]
check "a block-download package flashes it too (the flash equals its 128 KiB image, crc32 $crc)" $? \
  "rc=$rc $out"

t=$(now)
wineserver -k
echo "TIME wine-end $(since "$t")"
