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

check() {  # check TARGET WHAT CONDITION-STATUS [DETAIL]
  if [ "$3" -eq 0 ]; then echo "CHECK PASS $1 $2"; else echo "CHECK FAIL $1 $2 ${4:-}"; fi
}
has() { echo "$1" | grep -q -- "$2"; }
load() {  # load MODULE [PARAMS]: the module and, first, what it depends on (in order)
  insmod "/modules/$1.ko" $2 2> /dev/null
}
settle() {  # settle COUNT: wait (up to a minute) until COUNT type-5 devices have sg nodes
  i=0
  while [ $i -lt 300 ]; do
    n=0
    for d in /sys/class/scsi_device/*/device; do
      [ "$(cat $d/type 2> /dev/null)" = 5 ] || continue
      for g in $d/scsi_generic/*; do [ -c /dev/$(basename $g) ] && n=$((n + 1)); done
    done
    [ $n -ge "$1" ] && sleep 0.5 && return 0
    sleep 0.2; i=$((i + 1))
  done
  return 1
}
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
out=$(brenvo-cli list 2>&1); rc=$?
check atapi "no optical drive: brenvo-cli list says there is none" $([ $rc -eq 3 ] && has "$out" "No drives." && echo 0 || echo 1) "rc=$rc $out"

echo "at $(cut -d' ' -f1 /proc/uptime) s: qemu's ATAPI drives"
# --- qemu's ATAPI drives: IDE with a disc, AHCI without -------------------------------------
insmod /modules/ata_piix.ko; insmod /modules/libahci.ko; insmod /modules/ahci.ko
settle 2; check atapi "two drives enumerated" $? "$(brenvo-vmprobe list)"
list=$(brenvo-vmprobe list)
echo "$list"
for n in 0 1; do
  line=$(echo "$list" | grep "^[EF]:" | sed -n "$((n + 1))p")
  sg=$(echo "$line" | sed 's/.* sg=\([^ ]*\).*/\1/')
  want=$(sg_inq "$sg" 2> /dev/null | sed -n 's/^ *Product identification: *//p' | sed 's/ *$//')
  has "$line" "product='$want" ; check atapi "drive $n identifies as sg_inq says ($want)" $? "$line"
done
# Which one has no disc: the AHCI drive, on the higher host number.
out=$(brenvo-vmprobe tray 1 2>&1); echo "$out"
has "$out" "medium_absent=1 outcome=2 sense=2/3A" ; check atapi "no disc: medium absent 2/3A" $? "$out"
out=$(brenvo-vmprobe tray 0 2>&1); echo "$out"
has "$out" "medium_absent=0" && has "$out" "eject=1 tray_open=1" && has "$out" "load=1 tray_open=0"
check atapi "disc: eject opens the tray, load closes it, the tray test sees both" $? "$out"
out=$(brenvo-vmprobe ready 0 2>&1); echo "$out"
has "$out" "wait_ready=1 outcome=1"; check atapi "ready wait with a disc" $? "$out"
# A drive whose disc is mounted is refused before anything is sent to it in the run.
sr=$(echo "$list" | sed -n 's/^E: .* block=\([^ ]*\).*/\1/p')
mkdir -p /mnt/disc
if mount -o ro "$sr" /mnt/disc 2> /tmp/mount.err && [ -f /mnt/disc/readme.txt ]; then
  out=$(BRENVO_TRACE=/tmp/mounted.jsonl brenvo-cli-q update --drive 0 --yes < /dev/null 2>&1); rc=$?
  echo "$out"
  [ $rc -eq 4 ] && has "$out" "Drive E: (QEMU" && has "$out" "is mounted at /mnt/disc"
  check atapi "a drive whose disc is mounted is refused, naming the mount point (exit 4)" $? "rc=$rc $out"
  ! grep -q '"cdb":"3b' /tmp/mounted.jsonl && grep -q '"claim":"refused"' /tmp/mounted.jsonl
  check atapi "and nothing was written to it" $? "$(grep -c cdb /tmp/mounted.jsonl) commands"
  umount /mnt/disc
else
  check atapi "the disc mounts" 1 "$(cat /tmp/mount.err; ls -l /dev/sr* 2>&1; grep -c ext /proc/filesystems; dmesg | tail -3)"
fi
remove_all

echo "at $(cut -d' ' -f1 /proc/uptime) s: scsi_debug"
# --- scsi_debug as a CD/DVD device ------------------------------------------------------------
insmod /modules/scsi_debug.ko ptype=5 delay=0 max_luns=1 num_tgts=1
settle 1; check scsi_debug "enumerated" $?
list=$(brenvo-vmprobe list); echo "$list"
sg=$(echo "$list" | sed -n 's/^E: sg=\([^ ]*\).*/\1/p')
inq=$(sg_inq "$sg" 2> /dev/null)
v=$(echo "$inq" | sed -n 's/^ *Vendor identification: *//p' | sed 's/ *$//')
p=$(echo "$inq" | sed -n 's/^ *Product identification: *//p' | sed 's/ *$//')
r=$(echo "$inq" | sed -n 's/^ *Product revision level: *//p' | sed 's/ *$//')
has "$list" "vendor='$v" && has "$list" "product='$p" && has "$list" "revision='$r'"
check scsi_debug "identification equals sg_inq ($v/$p/$r)" $? "$list"
has "$list" "address=$(basename /sys/bus/pseudo/drivers/scsi_debug/adapter0/host*/target*/[0-9]* | tr -d ' ')"
check scsi_debug "address is host:channel:target:lun from sysfs" $? "$list"
out=$(brenvo-cli list 2>&1); echo "$out"
has "$out" "$sg"; check scsi_debug "brenvo-cli list shows the device node" $? "$out"
out=$(brenvo-vmprobe ready 0 2>&1); echo "$out"
has "$out" "tur outcome=1" && has "$out" "wait_ready=1 outcome=1"
check scsi_debug "TEST UNIT READY and the ready wait" $? "$out"
out=$(brenvo-vmprobe microcode 0 2>&1); echo "$out"
has "$out" "write_buffer=1" && has "$out" "after outcome=2 sense=6/" &&
  has "$out" "wait_no_unit_attention=1 outcome=1"
check scsi_debug "mode-5 WRITE BUFFER raises a unit attention, the wait clears it" $? "$out"
out=$(brenvo-vmprobe bench 0 512 2>&1)
echo "$out" | sed 's/^/BENCH scsi_debug /'
has "$out" "test_unit_ready count="; check scsi_debug "benchmark ran" $? "$out"
# Every second command dropped, with a 2-second time-out: transport failures.
out=$(brenvo-vmprobe timeout 0 2 /sys/bus/pseudo/drivers/scsi_debug/every_nth=2 \
  /sys/bus/pseudo/drivers/scsi_debug/opts=4 2>&1); echo "$out"
echo 0 > /sys/bus/pseudo/drivers/scsi_debug/opts
has "$out" "tur=0 outcome=0"; check scsi_debug "a dropped command ends as a transport failure" $? "$out"
out=$(brenvo-cli-sd update --yes < /dev/null 2>&1); rc=$?; echo "$out"
[ $rc -eq 1 ]; check scsi_debug "brenvo-cli update fails (the target refuses vendor commands)" $? "rc=$rc"
# A user who may not open the sg node: the refusal and what is needed.
chmod 600 "$sg"; echo "root:x:0:0::/:/bin/sh" > /etc/passwd; echo "root:x:0:" > /etc/group
echo "user:x:1000:1000::/tmp:/bin/sh" >> /etc/passwd; echo "user:x:1000:" >> /etc/group
out=$(su user -s /bin/sh -c "PATH=/bin LD_LIBRARY_PATH=$LD_LIBRARY_PATH brenvo-cli list" 2>&1); rc=$?
echo "$out"
# The explanation names the node, the user and what would help here (its lines joined again).
said=$(echo "$out" | tr '\n' ' ' | tr -s ' ')
[ $rc -eq 4 ] && has "$said" "Access denied ! user (uid 1000) may not open the drive's SCSI generic node $sg for reading and writing: Permission denied (owner root, group root, mode 0600)." &&
  has "$said" "root's rights: sudo " && ! has "$said" "administrator privilege"
check scsi_debug "a user without the sg node is refused, told the node, the user and what helps" $? "rc=$rc"
remove_all
rmmod scsi_debug 2> /dev/null

echo "at $(cut -d' ' -f1 /proc/uptime) s: TCMU"
# --- our emulated drive, served through TCMU behind tcm_loop ----------------------------------
for m in target_core_mod target_core_user tcm_loop; do insmod /modules/$m.ko 2> /dev/null; done
mount -t configfs none /sys/kernel/config 2> /dev/null
C=/sys/kernel/config/target
mkdir -p $C/core/user_0/cd0
echo "dev_config=brenvo/cd0,dev_size=1048576,hw_block_size=2048" > $C/core/user_0/cd0/control
echo 1 > $C/core/user_0/cd0/enable
serve() {  # serve BENCH: the handler on /dev/uio0
  BRENVO_TRACE=/tmp/handler.jsonl brenvo-tcmu "$1" /dev/uio0 > /tmp/tcmu.log 2>&1 &
  handler=$!
  sleep 0.3
}
stop() { kill $handler; wait $handler; }
serve $W/drive.json
naa=naa.5001405000000001
mkdir -p $C/loopback/$naa/tpgt_1/lun/lun_0
echo naa.5001405000000002 > $C/loopback/$naa/tpgt_1/nexus
ln -s $C/core/user_0/cd0 $C/loopback/$naa/tpgt_1/lun/lun_0/cd0
settle 1; check tcmu "the kernel attaches our drive" $? "$(cat /tmp/tcmu.log; dmesg | tail -5)"
out=$(brenvo-cli list 2>&1); echo "$out"
has "$out" "QUORVANT" && has "$out" "/dev/sg" && has "$out" "QV11 -> QV12"
check tcmu "brenvo-cli list: our drive, its nodes, the package's revisions" $? "$out"
lines=$(wc -l < /tmp/handler.jsonl)
t0=$(cut -d' ' -f1 /proc/uptime)
out=$(brenvo-cli update --yes < /dev/null 2>&1); rc=$?
t1=$(cut -d' ' -f1 /proc/uptime)
echo "$out"
echo "BENCH tcmu whole 1 MiB update through the kernel: $(echo "$t1 $t0" | awk '{printf "%.2f", $1 - $2}') s"
[ $rc -eq 0 ] && has "$out" "now QV12"; check tcmu "brenvo-cli update succeeds, the drive reports QV12" $? "rc=$rc"
stop
out=$(brenvo-bench show $W/drive.json 2>&1)
echo "$out" | grep "E:" | head -2
has "$out" "$IMAGE_CRC"; check tcmu "the drive's flash equals the image (crc32 $IMAGE_CRC)" $? "$out"
# The commands the drive saw, on the bytes the kernel passes on (it keeps 10 of a WRITE BUFFER's
# and a vendor command's 12), against the emulated PC's run of the same package.
normalise() {
  sed 's/,"t":[^}]*}/}/' "$1" | awk '{
    if (match($0, /"cdb":"[0-9a-f]+"/)) {
      c = substr($0, RSTART + 7, 24); op = substr(c, 1, 2)
      if (op == "3b" || op >= "c0") c = substr(c, 1, 20) "0000"
      $0 = substr($0, 1, RSTART + 6) c substr($0, RSTART + 31)
    }
    print }'
}
tail -n +$((lines + 1)) /tmp/handler.jsonl > /tmp/run.jsonl
normalise /tmp/run.jsonl > /tmp/run.norm
normalise $W/ref-e.jsonl > /tmp/ref.norm
# The claim opens and closes the drive's sr node, and the kernel's sr driver then asks the drive
# about its medium itself (TEST UNIT READY, GET EVENT STATUS, READ CAPACITY, ...): every command of
# the run must arrive in order and unchanged, and any other command must be one of those.
d=$(awk 'NR == FNR { n++; ref[n] = $0; next }
  { if (i < n && $0 == ref[i + 1]) { i++; next }
    if (match($0, /"cdb":"[0-9a-f][0-9a-f]/) && index(" 00 03 1e 25 43 46 4a 51 5a ", " " substr($0, RSTART + 7, 2) " ")) { extra++; next }
    print "unexpected: " $0; bad++ }
  END { if (i < n) print "missing from line " i + 1 ": " ref[i + 1]; print "kernel commands: " extra + 0 }' \
  /tmp/ref.norm /tmp/run.norm)
echo "$d"
! echo "$d" | grep -q "^unexpected\|^missing"
check tcmu "trace equals the emulated PC's, command for command ($(wc -l < /tmp/ref.norm) commands)" $? "$(echo "$d" | head -8)"

# The failing case: a read-back that differs.
serve $W/corrupt.json
out=$(brenvo-cli update --yes < /dev/null 2>&1); rc=$?
echo "$out"
stop
[ $rc -eq 1 ] && ! has "$out" "now QV12"
check tcmu "a corrupted read-back fails the update" $? "rc=$rc"
out=$(brenvo-bench show $W/corrupt.json 2>&1)
! has "$out" "$IMAGE_CRC"; check tcmu "and leaves the flash without the image" $? "$out"

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
[ -n "$won" ]; check tcmu "two updates at once: one succeeds (exit 0), the other is refused (exit 4)" $? "rc $ra $rb"
if [ -n "$won" ]; then
  has "$(cat /tmp/race-$won.out)" "now $rev"
  check tcmu "the one that flashed says the drive reports its revision ($rev)" $? "$(cat /tmp/race-$won.out)"
  lo=$(cat /tmp/race-$lost.out)
  has "$lo" "Drive E: (QUORVANT" && has "$lo" "is in use by another program: brenvo-cli" && has "$lo" "nothing was flashed"
  check tcmu "the other names the drive and the program that holds it, and flashed nothing" $? "$lo"
  has "$out" "$crc"; check tcmu "the drive holds the image of the one that succeeded" $? "$out"
fi

echo "at $(cut -d' ' -f1 /proc/uptime) s: end"
echo "BRENVO-VM-END"
printf '\000' | dd of=/dev/port bs=1 seek=244 count=1 2> /dev/null
poweroff -f
