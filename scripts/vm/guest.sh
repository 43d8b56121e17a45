#!/bin/busybox sh
# The VM's init: loads the kernel's SCSI modules and checks Brenvo against each peer. Every check
# prints "CHECK PASS|FAIL target what"; the last line is the marker, then isa-debug-exit.
/bin/busybox --install -s /bin
export PATH=/bin LD_LIBRARY_PATH=/lib:/lib64:/lib/x86_64-linux-gnu HOME=/tmp
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
exec < /dev/console > /dev/console 2>&1
W=/work
IMAGE_CRC=@IMAGE_CRC@
IMAGE2_CRC=@IMAGE2_CRC@
FRESH_CRC=@FRESH_CRC@
BLOCK_CRC=@BLOCK_CRC@

. "$(dirname "$0")/common.sh"  # check, has, settle, our drive behind tcm_loop
remove_all() {  # removes every SCSI device the kernel has
  for d in /sys/class/scsi_device/*/device/delete; do [ -e "$d" ] && echo 1 > "$d"; done
  sleep 0.5
}

# The SCSI core, sr and sg, but no host adapter yet: a machine with no optical drive.
for m in $(cat /modules/order); do
  case $m in ata_piix.ko|ahci.ko|libahci.ko|scsi_debug.ko|target_core*|tcm_loop.ko) ;;
    *) insmod /modules/$m 2> /dev/null ;;
  esac
done
target=atapi
out=$(brenvo-cli list 2>&1); rc=$?
check "no optical drive: brenvo-cli list says there is none" $([ $rc -eq 3 ] && has "$out" "No drives." && echo 0 || echo 1) "rc=$rc $out"

echo "at $(cut -d' ' -f1 /proc/uptime) s: qemu's ATAPI drives"
# --- qemu's ATAPI drives: IDE with a disc, AHCI without -------------------------------------
insmod /modules/ata_piix.ko; insmod /modules/libahci.ko; insmod /modules/ahci.ko
settle 2; check "two drives enumerated" $? "$(brenvo-vmprobe list)"
list=$(brenvo-vmprobe list)
echo "$list"
# The letters follow the addresses: E: is the drive with the lowest host:channel:target:lun, and
# the lines come in the core's order.
order=$(echo "$list" | sed -n 's/^\([E-Z]:\) .* address=\([0-9:]*\) .*/\1 \2/p' | awk -F'[ :]' '
  { key = sprintf("%05d%05d%05d%05d", $3, $4, $5, $6)
    if (NR > 1 && key <= last) bad = 1
    if ($1 != sprintf("%c", 68 + NR)) bad = 1
    last = key; n = NR }
  END { print (n == 2 && !bad) ? "ascending" : "out of order" }')
[ "$order" = ascending ]; check "drive letters in address order (E: the lowest)" $? "$list"
for n in 0 1; do
  line=$(echo "$list" | grep "^[EF]:" | sed -n "$((n + 1))p")
  sg=$(echo "$line" | sed 's/.* sg=\([^ ]*\).*/\1/')
  want=$(sg_inq "$sg" 2> /dev/null | sed -n 's/^ *Product identification: *//p' | sed 's/ *$//')
  has "$line" "product='$want" ; check "drive $n identifies as sg_inq says ($want)" $? "$line"
done
# Which one has no disc: the AHCI drive, on the higher host number.
out=$(brenvo-vmprobe tray 1 2>&1); echo "$out"
has "$out" "medium_absent=1 outcome=2 sense=2/3A" ; check "no disc: medium absent 2/3A" $? "$out"
out=$(brenvo-vmprobe tray 0 2>&1); echo "$out"
has "$out" "medium_absent=0" && has "$out" "eject=1 tray_open=1" && has "$out" "load=1 tray_open=0"
check "disc: eject opens the tray, load closes it, the tray test sees both" $? "$out"
out=$(brenvo-vmprobe ready 0 2>&1); echo "$out"
has "$out" "wait_ready=1 outcome=1"; check "ready wait with a disc" $? "$out"
# A drive whose disc is mounted is refused before anything is sent to it in the run.
sr=$(echo "$list" | sed -n 's/^E: .* block=\([^ ]*\).*/\1/p')
mkdir -p /mnt/disc
if mount -o ro "$sr" /mnt/disc 2> /tmp/mount.err && [ -f /mnt/disc/readme.txt ]; then
  out=$(BRENVO_TRACE=/tmp/mounted.jsonl brenvo-cli-q update --drive 0 --yes < /dev/null 2>&1); rc=$?
  echo "$out"
  [ $rc -eq 4 ] && has "$out" "Drive E: (QEMU" && has "$out" "is mounted at /mnt/disc"
  check "a drive whose disc is mounted is refused, naming the mount point (exit 4)" $? "rc=$rc $out"
  ! grep -q '"cdb":"3b' /tmp/mounted.jsonl && grep -q '"claim":"refused"' /tmp/mounted.jsonl
  check "and nothing was written to it" $? "$(grep -c cdb /tmp/mounted.jsonl) commands"
  umount /mnt/disc
else
  check "the disc mounts" 1 "$(cat /tmp/mount.err; ls -l /dev/sr* 2>&1; grep -c ext /proc/filesystems; dmesg | tail -3)"
fi
remove_all

echo "at $(cut -d' ' -f1 /proc/uptime) s: scsi_debug"
target=scsi_debug
# --- scsi_debug as a CD/DVD device ------------------------------------------------------------
insmod /modules/scsi_debug.ko ptype=5 delay=0 max_luns=1 num_tgts=1
settle 1; check "enumerated" $?
list=$(brenvo-vmprobe list); echo "$list"
sg=$(echo "$list" | sed -n 's/^E: sg=\([^ ]*\).*/\1/p')
inq=$(sg_inq "$sg" 2> /dev/null)
v=$(echo "$inq" | sed -n 's/^ *Vendor identification: *//p' | sed 's/ *$//')
p=$(echo "$inq" | sed -n 's/^ *Product identification: *//p' | sed 's/ *$//')
r=$(echo "$inq" | sed -n 's/^ *Product revision level: *//p' | sed 's/ *$//')
has "$list" "vendor='$v" && has "$list" "product='$p" && has "$list" "revision='$r'"
check "identification equals sg_inq ($v/$p/$r)" $? "$list"
has "$list" "address=$(basename /sys/bus/pseudo/drivers/scsi_debug/adapter0/host*/target*/[0-9]* | tr -d ' ')"
check "address is host:channel:target:lun from sysfs" $? "$list"
out=$(brenvo-cli list 2>&1); echo "$out"
has "$out" "$sg"; check "brenvo-cli list shows the device node" $? "$out"
out=$(brenvo-vmprobe ready 0 2>&1); echo "$out"
has "$out" "tur outcome=1" && has "$out" "wait_ready=1 outcome=1"
check "TEST UNIT READY and the ready wait" $? "$out"
out=$(brenvo-vmprobe microcode 0 2>&1); echo "$out"
has "$out" "write_buffer=1" && has "$out" "after outcome=2 sense=6/" &&
  has "$out" "wait_no_unit_attention=1 outcome=1"
check "mode-5 WRITE BUFFER raises a unit attention, the wait clears it" $? "$out"
out=$(brenvo-vmprobe bench 0 512 2>&1)
echo "$out" | sed 's/^/BENCH scsi_debug /'
has "$out" "test_unit_ready count="; check "benchmark ran" $? "$out"
# scsi_debug's error injection: every second command gets the fault of OPTS. The backend's own
# verdict is checked (ok, and the Windows error it gives), not what the core makes of the time.
sd=/sys/bus/pseudo/drivers/scsi_debug
inject() {  # inject OPTS CDB [LENGTH]: four sends of CDB with a 2-second time-out
  out=$(brenvo-vmprobe send 0 2 "$2" $3 $sd/every_nth=2 $sd/opts=$1 2>&1)
  echo 0 > $sd/opts; echo 0 > $sd/every_nth
  echo "$out" | sed "s/^/opts=$1 /"
}
# Every second command dropped (opts=4): the kernel's time-out, DID_TIME_OUT, is the pass-through's
# time-out (error 121), never an answer; the others pass.
out=$(inject 4 00); echo "$out"
[ "$(echo "$out" | grep -c 'send ok=0 error=121 status=00 host=03 ')" -eq 2 ] &&
  [ "$(echo "$out" | grep -c 'send ok=1 error=0 status=00 host=00 ')" -eq 2 ]
check "a dropped command ends as the pass-through's time-out (error 121), the others succeed" $? "$out"
addr=$(basename /sys/bus/pseudo/drivers/scsi_debug/adapter0/host*/target*/[0-9]*)
# A device the kernel has taken offline: the ioctl itself is refused, and so is the command.
out=$(brenvo-vmprobe send 0 2 00 /sys/class/scsi_device/$addr/device/state=offline 2>&1)
echo running > /sys/class/scsi_device/$addr/device/state
echo "$out"
[ "$(echo "$out" | grep -c 'send ok=0 error=2 ')" -eq 4 ]
check "an offline device: every command fails (error 2)" $? "$out"
# A refused command is the drive's answer, CHECK CONDITION with its sense, not a failed transport.
out=$(brenvo-vmprobe send 0 2 df11 2>&1); echo "$out"
[ "$(echo "$out" | grep -c 'send ok=1 error=0 status=02 host=00 .* sense=5/20/00 ')" -eq 4 ]
check "a vendor command refused: CHECK CONDITION with its sense 5/20/00 comes back as the answer" $? "$out"
# The update: scsi_debug takes the standard commands and refuses the vendor ones (ILLEGAL REQUEST,
# invalid opcode). It stays stopped after a STOP UNIT until a START UNIT, where our drives spin up
# by themselves: a helper starts it through the sr node whenever the program has stopped it, so the
# ready waits end as on a drive instead of running out their 60 and 30 seconds.
sr=$(echo "$list" | sed -n 's/^E: .* block=\([^ ]*\).*/\1/p')
t0=$(cut -d' ' -f1 /proc/uptime)
BRENVO_TRACE=/tmp/sd.jsonl brenvo-cli-sd update --yes < /dev/null > /tmp/sd.out 2>&1 & pid=$!
( while kill -0 $pid 2> /dev/null; do
    grep -q '"cdb":"1b0000000000' /tmp/sd.jsonl 2> /dev/null && sg_start --start "$sr" 2> /dev/null
    sleep 0.5
  done ) &
wait $pid; rc=$?
t1=$(cut -d' ' -f1 /proc/uptime)
out=$(cat /tmp/sd.out); echo "$out"
echo "the update on scsi_debug took $(echo "$t1 $t0" | awk '{printf "%.1f", $1 - $2}') s"
sed 's/.*"cdb":"\([0-9a-f]*\)".*"outcome":\([0-9]\),"sense":\(\[[0-9,]*\]\).*/\1 \2 \3/' /tmp/sd.jsonl |
  uniq -c | head -40
[ $rc -eq 1 ] && has "$out" "Unable to flash firmware" && has "$out" "the flash failed, now 0191"
check "brenvo-cli update fails (the target refuses vendor commands) and says the drive still has 0191" $? "rc=$rc"
grep -q '"cdb":"3c0101[0-9a-f]*","dir":1,[^}]*"outcome":2,"sense":\[5,32,0\]' /tmp/sd.jsonl &&
  ! grep -q '"cdb":"3b[0-9a-f]\{16\}\(80\|a0\)' /tmp/sd.jsonl
check "the flash stopped at the refused READ BUFFER (5/20/00) and no commit was sent" $? \
  "$(grep -c cdb /tmp/sd.jsonl) commands"
# A user who may not open the sg node: the refusal and what is needed.
chmod 600 "$sg"; echo "root:x:0:0::/:/bin/sh" > /etc/passwd; echo "root:x:0:" > /etc/group
echo "user:x:1000:1000::/tmp:/bin/sh" >> /etc/passwd; echo "user:x:1000:" >> /etc/group
out=$(su user -s /bin/sh -c "PATH=/bin LD_LIBRARY_PATH=$LD_LIBRARY_PATH brenvo-cli list" 2>&1); rc=$?
echo "$out"
# The explanation names the node, the user and what would help here (its lines joined again).
said=$(echo "$out" | tr '\n' ' ' | tr -s ' ')
[ $rc -eq 4 ] && has "$said" "Access denied ! user (uid 1000) may not open the drive's SCSI generic node $sg for reading and writing: Permission denied (owner root, group root, mode 0600)." &&
  has "$said" "root's rights: sudo " && ! has "$said" "administrator privilege"
check "a user without the sg node is refused, told the node, the user and what helps" $? "rc=$rc"
remove_all
rmmod scsi_debug 2> /dev/null

echo "at $(cut -d' ' -f1 /proc/uptime) s: TCMU"
target=tcmu
# --- our emulated drive, served through TCMU behind tcm_loop ----------------------------------
for m in target_core_mod target_core_user tcm_loop; do insmod /modules/$m.ko 2> /dev/null; done
mount -t configfs none /sys/kernel/config 2> /dev/null
tcmu_device
serve() { tcmu_serve /tmp/tcmu.log /tmp/handler.jsonl "$@"; }  # serve [--answer WHAT] BENCH
stop() { tcmu_stop; }
serve $W/drive.json
tcmu_link
# On a machine too busy the kernel's scan can run out of time before the handler answers its
# INQUIRY (it aborts it and adds no device): once more then.
if ! settle 1; then
  echo "the kernel's scan of our drive failed: $(dmesg | tail -3 | tr '\n' ' '); linking it again"
  rm "$tcmu_lun"; ln -s $C/core/user_0/cd0 "$tcmu_lun"
  settle 1
fi
check "the kernel attaches our drive" $? "$(cat /tmp/tcmu.log; dmesg | tail -5)"
out=$(brenvo-cli list 2>&1); echo "$out"
has "$out" "QUORVANT" && has "$out" "/dev/sg" && has "$out" "QV11 -> QV12"
check "brenvo-cli list: our drive, its nodes, the package's revisions" $? "$out"
lines=$(wc -l < /tmp/handler.jsonl)
# The kernel's own record of each command it hands the host, with as many bytes as SG_IO gave.
T=/sys/kernel/tracing
mount -t tracefs none $T 2> /dev/null
echo 4096 > $T/buffer_size_kb
echo 1 > $T/events/scsi/scsi_dispatch_cmd_start/enable
echo > $T/trace
t0=$(cut -d' ' -f1 /proc/uptime)
out=$(brenvo-cli update --yes < /dev/null 2>&1); rc=$?
t1=$(cut -d' ' -f1 /proc/uptime)
echo 0 > $T/events/scsi/scsi_dispatch_cmd_start/enable
echo "$out"
echo "BENCH tcmu whole 1 MiB update through the kernel: $(echo "$t1 $t0" | awk '{printf "%.2f", $1 - $2}') s"
[ $rc -eq 0 ] && has "$out" "now QV12"; check "brenvo-cli update succeeds, the drive reports QV12" $? "rc=$rc"
stop
out=$(brenvo-bench show $W/drive.json 2>&1)
echo "$out" | grep "E:" | head -2
has "$out" "$IMAGE_CRC"; check "the drive's flash equals the image (crc32 $IMAGE_CRC)" $? "$out"
# The commands the drive saw, against the emulated PC's run of the same package, on the bytes the
# kernel passes on (it keeps 10 of a WRITE BUFFER's and a vendor command's 12). A wait polls until
# the drive answers otherwise, so how many times one answer repeats depends on the clock: the drive
# here keeps real time while the emulated PC's run keeps virtual time. The claim opens and closes
# the drive's sr node, and the kernel's sr driver then asks the drive about its medium itself:
# every command of the run must arrive in order and unchanged, and any other must be one of those.
tail -n +$((lines + 1)) /tmp/handler.jsonl > /tmp/run.jsonl
d=$(brenvo-tracecmp $W/ref-e.jsonl /tmp/run.jsonl 2>&1); rc=$?
echo "$d"
[ $rc -eq 0 ]
check "trace equals the emulated PC's, command for command ($(echo "$d" | sed -n 's/^reference commands: //p') commands, waits collapsed)" $? "$(echo "$d" | head -8)"
# Every byte of the 12-byte blocks (WRITE and READ BUFFER, the vendor commands) as the kernel
# handed them on: bytes 10 and 11 included, which the target layer behind it drops.
blocks() { grep -o '"cdb":"\(3b\|3c\|[c-f][0-9a-f]\)[0-9a-f]*"' "$1" | cut -d'"' -f4; }
sed -n 's/.*scsi_dispatch_cmd_start: .*raw=\([0-9a-f ]*\)).*/\1/p' $T/trace | tr -d ' ' |
  grep '^\(3b\|3c\|[c-f][0-9a-f]\)' > /tmp/kernel.cdb
blocks $W/ref-e.jsonl > /tmp/ref.cdb
cmp -s /tmp/kernel.cdb /tmp/ref.cdb
check "the kernel received every 12-byte block whole ($(wc -l < /tmp/ref.cdb) blocks)" $? \
  "$(wc -l < /tmp/kernel.cdb) in the kernel; first difference: $(diff /tmp/ref.cdb /tmp/kernel.cdb | grep '^[-+][0-9a-f]' | head -2 | tr '\n' ' ')"

# The failing case: a read-back that differs.
serve $W/corrupt.json
out=$(brenvo-cli update --yes < /dev/null 2>&1); rc=$?
echo "$out"
stop
[ $rc -eq 1 ] && ! has "$out" "now QV12"
check "a corrupted read-back fails the update" $? "rc=$rc"
out=$(brenvo-bench show $W/corrupt.json 2>&1)
! has "$out" "$IMAGE_CRC"; check "and leaves the flash without the image" $? "$out"

# Two updates started together on one drive, each with its own image: exactly one flashes, each
# says what became of the drive, and the drive holds the one image.
serve $W/race.json
brenvo-cli update --yes < /dev/null > /tmp/race-a.out 2>&1 & a=$!
brenvo-cli-b update --yes < /dev/null > /tmp/race-b.out 2>&1 & b=$!
wait $a; ra=$?; wait $b; rb=$?
stop
cat /tmp/race-a.out /tmp/race-b.out
out=$(brenvo-bench show $W/race.json 2>&1)
echo "$out" | grep "E:" | head -2
if [ $ra -eq 0 ] && [ $rb -eq 4 ]; then won=a; lost=b; crc=$IMAGE_CRC; rev=QV12
elif [ $rb -eq 0 ] && [ $ra -eq 4 ]; then won=b; lost=a; crc=$IMAGE2_CRC; rev=QV13
else won=; fi
[ -n "$won" ]; check "two updates at once: one succeeds (exit 0), the other is refused (exit 4)" $? "rc $ra $rb"
if [ -n "$won" ]; then
  has "$(cat /tmp/race-$won.out)" "now $rev"
  check "the one that flashed says the drive reports its revision ($rev)" $? "$(cat /tmp/race-$won.out)"
  lo=$(cat /tmp/race-$lost.out)
  # Which came first decides whether the other saw the drive free at its scan (it names the
  # drive's model and says nothing was flashed) or already held (the letter, nothing written).
  has "$lo" "Drive E: " && has "$lo" "is in use by another program: brenvo-cli" && has "$lo" "(process " &&
    { has "$lo" "nothing was flashed" || has "$lo" "Nothing was written to the drive"; }
  check "the other names the drive and the program that holds it, and flashed nothing" $? "$lo"
  has "$out" "$crc"; check "the drive holds the image of the one that succeeded" $? "$out"
fi

# The block download through the kernel: a 128 KiB image on a drive with no flash ID.
serve $W/block.json
echo > $T/trace; echo 1 > $T/events/scsi/scsi_dispatch_cmd_start/enable
out=$(brenvo-cli-block update --yes < /dev/null 2>&1); rc=$?
echo 0 > $T/events/scsi/scsi_dispatch_cmd_start/enable
stop
echo "$out"
[ $rc -eq 0 ] && has "$out" "now QV12"
check "a block-download package flashes the drive (exit 0, the drive reports QV12)" $? "rc=$rc"
out=$(brenvo-bench show $W/block.json 2>&1)
has "$out" "$BLOCK_CRC"; check "the drive's flash equals the 128 KiB image (crc32 $BLOCK_CRC)" $? "$out"
commit=$(sed -n 's/.*scsi_dispatch_cmd_start: .*raw=\(f2 04 [0-9a-f ]*\)).*/\1/p' $T/trace)
[ "$commit" = "f2 04 00 00 00 00 00 02 00 00 00 01" ]
check "its commit reached the kernel with all 12 bytes (byte 11 = 01)" $? "commit: $commit"

# The check after the restart, under pkexec: a user of the desktop updates through pkexec; the
# restart entry goes to that user's autostart; its Exec= line, run as that user (as the desktop
# would at the next log-in), asks polkit once more and checks the drive as root. The system bus
# and polkitd run as on a desktop; a rule of this throwaway guest lets the user start the OEM
# package with root's rights without a password, and nothing else.
t0=$(cut -d' ' -f1 /proc/uptime)
printf '%s\n' "root:x:0:0::/:/bin/sh" "user:x:1000:1000::/home/user:/bin/sh" \
  "messagebus:x:100:100::/nonexistent:/bin/false" "polkitd:x:101:101::/nonexistent:/bin/false" > /etc/passwd
printf '%s\n' "root:x:0:" "user:x:1000:" "messagebus:x:100:" "polkitd:x:101:" > /etc/group
echo /bin/sh > /etc/shells
mkdir -p /home/user /run/dbus /var && ln -sfn /run /var/run && chown 1000:1000 /home/user
chown root:root /usr/bin/pkexec && chmod 4755 /usr/bin/pkexec
cat > /etc/polkit-1/rules.d/50-brenvo-vm.rules << 'RULES'
polkit.addRule(function(action, subject) {
  if (subject.user != "user") return polkit.Result.NOT_HANDLED;
  var program = action.lookup("program");
  if (action.id == "org.brenvo.Brenvo.pkexec" ||
      (action.id == "org.freedesktop.policykit.exec" &&
       (program == "/bin/brenvo-cli-qv" || program == "/bin/brenvo-window-elsewhere")))
    return polkit.Result.YES;
  return polkit.Result.NOT_HANDLED;
});
RULES
# Stand-ins for the window (no display server here): what pkexec leaves a window of its display,
# at the path the package's polkit action names and at one it does not.
printf '#!/bin/sh\necho "display=$DISPLAY xauthority=$XAUTHORITY uid=$(id -u)"\n' > /usr/bin/brenvo
chmod 755 /usr/bin/brenvo && cp /usr/bin/brenvo /bin/brenvo-window-elsewhere
/usr/bin/dbus-daemon --system
/usr/lib/polkit-1/polkitd --no-debug > /tmp/polkitd.log 2>&1 &
tries=0  # until polkitd answers on the bus
while ! /usr/bin/pkaction --action-id org.freedesktop.policykit.exec > /dev/null 2>&1 &&
  [ $tries -lt 100 ]; do
  sleep 0.1; tries=$((tries + 1))
done
# The shell stays the parent of what it starts: pkexec refuses an orphan.
as_user() { su user -s /bin/sh -c "PATH=/usr/bin:/bin; $1; exit \$?"; }
serve $W/qv.json
out=$(as_user "pkexec /bin/brenvo-cli-qv update --yes --no-reboot < /dev/null" 2>&1); rc=$?
echo "$out"
[ $rc -eq 0 ] && has "$out" "now QV12" && has "$out" "checked once more"
check "pkexec: the user's OEM update runs as root and registers the check after the restart" $? \
  "rc=$rc $(cat /tmp/polkitd.log)"
entry=/home/user/.config/autostart/brenvo-runonce-QVFWUpdate.desktop
cat $entry
# The entry names the drive it updated: QUORVANT, DVD-RW QV-1600 blank-padded, in hexadecimal.
qv_identity=51554F5256414E544456442D52572051562D313630302020
command=$(sed -n 's/^Exec=//p' $entry 2> /dev/null)
[ "$command" = "pkexec /bin/brenvo-cli-qv /QVCHECK 0 QV12 $qv_identity" ] && grep -q '^Terminal=true$' $entry &&
  [ "$(stat -c %u:%g $entry /home/user/.config/brenvo/registry.json | sort -u)" = 1000:1000 ]
check "the restart entry is the user's and starts the check through pkexec ($command)" $? \
  "$(ls -ln $entry /home/user/.config/brenvo 2>&1)"
restart() {  # restart WHAT: the entry's command as the user, as the desktop runs it at the log-in
  out=$(as_user "$command < /dev/null" 2>&1); rc=$?
  echo "$out"
  [ $rc -eq 0 ] && has "$out" "The firmware update was successful." && [ ! -e $entry ] &&
    ! grep -q QVFWUpdate /home/user/.config/brenvo/registry.json
  check "$1: the entry's command as the user runs the check as root, it finds the drive at QV12 and removes the entry" $? \
    "rc=$rc"
}
restart "pkexec"
# The same update through sudo: at the log-in sudo would have no terminal to ask on, so the entry
# asks pkexec as well. No sudo here: its variables, and above the run the user's process that a
# program of root's rights replaced itself in (sudo does so where it keeps no process of its own),
# as sudo's variables alone name no one.
out=$(SUDO_USER=user SUDO_UID=1000 /usr/bin/setpriv --ruid=1000 /usr/bin/bash -p -c \
  'brenvo-cli-qv update --yes --no-reboot --force < /dev/null; exit $?' 2>&1); rc=$?
command=$(sed -n 's/^Exec=//p' $entry 2> /dev/null)
[ $rc -eq 0 ] && [ "$command" = "pkexec /bin/brenvo-cli-qv /QVCHECK 0 QV12 $qv_identity" ]
check "sudo: the update's restart entry starts the check through pkexec too" $? "rc=$rc $command $out"
restart "sudo"
# The window's entry: through the package's action pkexec keeps the display (allow_gui); through
# the default action, for a window at a path no action names, it clears it (hence sudo -E there).
gui="DISPLAY=:7 XAUTHORITY=/home/user/.Xauthority"
out=$(as_user "$gui pkexec /usr/bin/brenvo /QVCHECK 0 QV12" 2>&1)
[ "$out" = "display=:7 xauthority=/home/user/.Xauthority uid=0" ]
check "pkexec /usr/bin/brenvo through the package's polkit action: root, with the display" $? "$out"
out=$(as_user "$gui pkexec /bin/brenvo-window-elsewhere /QVCHECK 0 QV12" 2>&1)
[ "$out" = "display= xauthority= uid=0" ]
check "a window no action names: root, without the display" $? "$out"
# polkit decides: the same user and another program need a password, which pkexec has no
# agent to ask for here: refused.
out=$(as_user "pkexec /bin/brenvo-cli list < /dev/null" 2>&1); rc=$?
[ $rc -eq 127 ] && has "$out" "authentication agent" && ! has "$out" "QUORVANT"
check "polkit asks a password of the user for another program: pkexec refuses (exit 127)" $? \
  "rc=$rc $out"
stop
echo "BENCH tcmu pkexec: polkitd up after $tries tries, update and check after the restart in $(cut -d' ' -f1 /proc/uptime | awk -v t=$t0 '{printf "%.1f", $1 - t}') s"

# BUSY: the kernel sends the command again itself, until the command's time-out. Three BUSY
# answers to the first data block: the update goes on and flashes the drive.
serve --answer busy:writeBuffer:1:3 $W/busy.json
out=$(timeout -s KILL 300 brenvo-cli update --yes < /dev/null 2>&1); rc=$?
stop
echo "$out"; cat /tmp/tcmu.log
[ $rc -eq 0 ] && has "$out" "now QV12" && has "$(cat /tmp/tcmu.log)" "answered 3 commands"
check "BUSY three times: the kernel retries, the update succeeds (exit 0, now QV12)" $? "rc=$rc"
has "$(brenvo-bench show $W/busy.json 2>&1)" "$IMAGE_CRC"
check "and the drive holds the image" $? "$(brenvo-bench show $W/busy.json 2>&1)"
# BUSY for ever: once the time-out has passed, the kernel hands BUSY up, and the backend fails the
# command.
# (READ DISC INFORMATION: a command the probe's enumeration does not send with its long time-out.)
cp $W/conflict.json /tmp/busy-rdi.json
serve --answer busy:readDiscInformation:1:0 /tmp/busy-rdi.json
out=$(timeout -s KILL 60 brenvo-vmprobe send 0 2 51000000000000002000 32 2>&1); echo "$out"
stop
[ "$(echo "$out" | grep -c 'send ok=0 error=1117 status=08 ')" -eq 4 ]
check "BUSY until the time-out: the backend fails the command (error 1117, status 08)" $? "$out"

# Statuses the target gives instead of the drive: RESERVATION CONFLICT for every data block, and
# CHECK CONDITION without sense for the commit (taken for success, it would leave the drive
# unflashed while the update said it was done). The update must fail, say so, and leave the drive
# as it was.
for answer in conflict:writeBuffer nosense:commit; do
  what=${answer%%:*}
  serve --answer $answer:1:0 $W/$what.json
  out=$(timeout -s KILL 300 brenvo-cli update --yes < /dev/null 2>&1); rc=$?
  stop
  echo "$out"; cat /tmp/tcmu.log
  show=$(brenvo-bench show $W/$what.json 2>&1)
  [ $rc -eq 1 ] && has "$out" "Unable to flash firmware" && has "$out" "the flash failed, now QV11" &&
    has "$(cat /tmp/tcmu.log)" "the target answered"
  check "$what for each ${answer#*:}: the update fails (exit 1) and says the drive still has QV11" $? "rc=$rc"
  has "$show" "revision QV11" && has "$show" "crc32 $FRESH_CRC"
  check "$what: the drive's flash is untouched (crc32 $FRESH_CRC)" $? "$show"
done

echo "at $(cut -d' ' -f1 /proc/uptime) s: a cut flash"
# --- a flash cut by a power failure, and drives in their boot loader ----------------------------
# The drive's power is cut at the first commit: from then on it takes no command. Once the run is
# there, the drive is switched off (its state written back) and the run ended, as a power failure
# ends both; the drive then comes back, without the fault, in its boot loader.
strip_faults() {  # strip_faults BENCH: the bench without its faults (as the handler writes it)
  awk '!skip && /"faults": \[$/ { head = $0; sub(/\[$/, "[]", head); skip = 1; depth = 1; next }
    skip { t = $0; depth += gsub(/\[/, "", t) - gsub(/\]/, "", t)
      if (depth == 0) { skip = 0; print head ($0 ~ /,$/ ? "," : "") }
      next }
    { print }' "$1"
}
since_line() { tail -n +$(($1 + 1)) /tmp/handler.jsonl; }  # since_line N: the drive's trace after line N
# Commands that change a drive: WRITE BUFFER, and vendor commands other than those that read.
writes() { since_line $1 | grep -cE '"cdb":"(3b|[c-f][0-9a-f])[0-9a-f]*","dir":[02]'; }
recover=$(brenvo-cli-r --help 2>&1 | grep -c -- "--recover")
lines=$(wc -l < /tmp/handler.jsonl)
serve $W/cut.json
brenvo-cli-r update --yes < /dev/null > /tmp/cut.out 2>&1 & run=$!
i=0
while ! since_line $lines | grep -q '"outcome":0' && [ $i -lt 1200 ]; do sleep 0.1; i=$((i + 1)); done
stop
# The run's command in the kernel ends when the target gives up on the drive (its 30 s).
kill -9 $run 2> /dev/null
i=0
while kill -0 $run 2> /dev/null && [ $i -lt 1200 ]; do sleep 0.1; i=$((i + 1)); done
out=$(cat /tmp/cut.out); echo "$out"
show=$(brenvo-bench show $W/cut.json 2>&1)
! kill -0 $run 2> /dev/null && ! has "$out" "now QV12" && has "$show" "flash incomplete"
check "a power cut at the commit leaves the drive's flash incomplete, and the run never says it is done" $? \
  "$out $show"
if ! kill -0 $run 2> /dev/null; then
  strip_faults $W/cut.json > $W/back.json
  serve $W/back.json
  list=$(brenvo-vmprobe list 2>&1); echo "$list"
  has "$list" "revision='0000'"
  check "power back: the drive answers the kernel from its boot loader (revision 0000)" $? "$list"
  lines=$(wc -l < /tmp/handler.jsonl)
  out=$(timeout -s KILL 120 brenvo-cli-r update --yes < /dev/null 2>&1); rc=$?
  echo "$out"
  [ $rc -ne 0 ] && [ "$(writes $lines)" -eq 0 ]
  check "an ordinary run leaves the drive in its loader alone (exit $rc, nothing written)" $? "$out"
  if [ "$recover" -gt 0 ]; then
    out=$(timeout -s KILL 300 brenvo-cli-r update --recover --yes < /dev/null 2>&1); rc=$?
    echo "$out"
    stop
    show=$(brenvo-bench show $W/back.json 2>&1)
    [ $rc -eq 0 ] && has "$out" "recovered" && has "$show" "$IMAGE_CRC" && ! has "$show" "flash incomplete"
    check "update --recover brings the drive out of its loader with the image (crc32 $IMAGE_CRC)" $? \
      "rc=$rc $out $show"
  else
    stop
    echo "NOT RUN tcmu update --recover through the kernel: this brenvo-cli has no --recover yet"
  fi
fi
# A drive of another maker in its loader: never written, by an ordinary run or by a recovery.
lines=$(wc -l < /tmp/handler.jsonl)
serve $W/foreign.json
out=$(timeout -s KILL 120 brenvo-cli-r update --yes < /dev/null 2>&1); rc=$?
echo "$out"
recovery=refused
if [ "$recover" -gt 0 ]; then
  out2=$(timeout -s KILL 120 brenvo-cli-r update --recover --yes < /dev/null 2>&1) && recovery=ran
  echo "$out2"
fi
stop
show=$(brenvo-bench show $W/foreign.json 2>&1)
[ $rc -ne 0 ] && [ $recovery = refused ] && [ "$(writes $lines)" -eq 0 ] && has "$show" "crc32 $FRESH_CRC"
check "another maker's drive in its loader is left alone (exit $rc$([ "$recover" -gt 0 ] && echo ", --recover $recovery"), nothing written)" $? \
  "$out ${out2:-} $show"

echo "at $(cut -d' ' -f1 /proc/uptime) s: end"
echo "BRENVO-VM-END"
printf '\000' | dd of=/dev/port bs=1 seek=244 count=1 2> /dev/null
poweroff -f
