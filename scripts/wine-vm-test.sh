#!/usr/bin/env bash
# The shipped 32-bit Windows build against the real kernel: Wine inside the qemu VM (TCG) of the
# VM stage, where the kernel runs 32-bit programs whether this machine can or not. The guest
# mounts this machine's root filesystem read-only over 9p and runs its Wine in a chroot of it;
# our emulated drive is served to the guest's kernel by brenvo-tcmu through TCMU behind tcm_loop,
# Wine maps /dev/sr0 as the CD-ROM drive E:, and the packed i686 brenvo-cli.exe and brenvo.exe
# flash it through IOCTL_SCSI_PASS_THROUGH_DIRECT -> Wine -> SG_IO -> the kernel -> our drive.
# The Wine prefix is made here, natively, and shared into the guest under an overlay in memory;
# where 32-bit programs cannot run here, the guest finishes its 32-bit half.
# Prints each part's time and ends with "N passed, M failed"; non-zero on failure.
#
# Usage: scripts/wine-vm-test.sh [BUILD_DIR]   (the host build, default build; the i686 build is
#        build-windows/i686 as scripts/wine-test.sh makes it; the kernel is cached as the VM
#        stage caches it)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${1:-build}")
win=$root/build-windows/i686
source scripts/vm/kernel.sh
source tests/check.sh
began=$SECONDS
part() {  # part NAME START: the time a part took
  echo "TIME $1 $((SECONDS - $2)) s"
}
# The guest sees this machine's folders by their names: the job must not be under /tmp, which the
# guest mounts afresh.
job=$(mktemp -d /var/tmp/brenvo-wine-vm.XXXXXX)
chmod 755 "$job"
export WINEPREFIX=$job/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k 2> /dev/null
  rm -rf "$job"
}
trap cleanup EXIT
abort() {
  echo "wine-vm-test: $*"
  echo "$passed passed, $((failed + 1)) failed"
  exit 1
}
gate() {  # gate WHY: stops after a failed check
  [ "$failed" -eq 0 ] && return
  echo "wine-vm-test: $1"
  echo "$passed passed, $failed failed"
  exit 1
}

# 32-bit programs may not run on this machine; in the VM they do, so the i686 build is always
# the one tried there. Here the prefix is made with the 64-bit loader when they cannot.
# BRENVO_HOST_32BIT=0 makes it as such a machine would: its 32-bit programs are kept from starting.
if /lib/ld-linux.so.2 --version > /dev/null 2>&1; then
  host32="yes"
  wine=wine
else
  host32="no"
  wine=/usr/lib/wine/wine64
fi
simulated=no
[ "${BRENVO_HOST_32BIT:-}" = 0 ] && [ $host32 = yes ] && host32="no" && wine=/usr/lib/wine/wine64 &&
  simulated=yes
echo "== 32-bit programs on this machine: $host32$([ $simulated = yes ] && echo " (as BRENVO_HOST_32BIT=0 asks: they are kept from starting while the prefix is made)")"
i386_builtins=/usr/lib/i386-linux-gnu/wine/i386-windows
[ $host32 = yes ] || [ -f "$i386_builtins/rundll32.exe" ] ||
  abort "Wine's 32-bit half is not installed (wine32:i386): the VM has no 32-bit Wine to run"

# --- the programs ------------------------------------------------------------------------------
t=$SECONDS
source scripts/ccache.sh
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" > /dev/null
fi
out=$(ninja -C "$build" brenvo-cli brenvo-pack brenvo-bench brenvo-tcmu 2>&1)
check "host build" 0 $? "$out" ""
gate "the host build failed"
# The Wine stage's flavour: one file a target, unoptimised (configured the same way when absent).
if [ ! -f "$win/build.ninja" ]; then
  cmake -S . -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS=-O0 \
    -DBRENVO_ONE_FILE_TARGETS=ON -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-i686.cmake" \
    "${launcher[@]}" > /dev/null
fi
out=$(ninja -C "$win" brenvo-cli brenvo 2>&1)
check "i686 cross build (brenvo-cli.exe, brenvo.exe)" 0 $? "$out" ""
gate "the i686 build failed"
part build $t

# --- what the guest runs: packed programs and the benches of its drives ------------------------
t=$SECONDS
cd "$job"
pack=$build/tools/pack/brenvo-pack
bench=$build/tools/bench/brenvo-bench
image_crc=$("$bench" firmware --revision QV12 --size 1048576 fw.bin | sed 's/.*crc32 \([0-9a-f]*\).*/\1/')
block_crc=$("$bench" firmware --revision QV12 --size 131072 fw128.bin | sed 's/.*crc32 \([0-9a-f]*\).*/\1/')
"$bench" key --seed 12 key.bin > /dev/null
manifest() {  # manifest NAME OPTIONS IMAGE
  cat > "$1.manifest.json" << JSON
{ "title": "Firmware Flasher - QV12 - DVD-RW QV-1600", "driveName": "DVD-RW QV-1600",
  "options": "$2",
  "images": [ { "file": "$3", "key": "key.bin", "newRevision": "QV12",
                "constraints": [ { "low": "QV10", "high": "QV19" } ] } ] }
JSON
}
shipped=$(options)
manifest verified $shipped fw.bin
manifest block $shipped fw128.bin
manifest ide $(options directIde=1) fw.bin  # digit 12: direct IDE
manifest window $(options rebootAfterSuccess=0 unattended=1 exitWhenDone=1) fw.bin  # unattended, ends by itself
manifest window-ide $(options rebootAfterSuccess=0 unattended=1 exitWhenDone=1 directIde=1) fw.bin  # the same, direct IDE
packs=("verified $build/cli/brenvo-cli linux-cli" "verified $win/cli/brenvo-cli.exe cli.exe"
       "block $win/cli/brenvo-cli.exe block.exe" "ide $win/cli/brenvo-cli.exe ide.exe"
       "window $win/win32/brenvo.exe window.exe" "window-ide $win/win32/brenvo.exe window-ide.exe")
for p in "${packs[@]}"; do
  read -r name program packed <<< "$p"
  out=$("$pack" "$name.manifest.json" "$program" "$packed" 2>&1) || abort "packing $packed failed: $out"
done
echo "== The 32-bit build: $(file -b cli.exe | cut -d, -f1-2) ($win)"
# The drives: each keeps real time, as a drive behind the kernel must.
"$bench" new --preset typical fresh.json > /dev/null
"$bench" new --preset bank bank.json > /dev/null
# No disc: with one, the kernel and Wine's mount manager read it whenever /dev/sr0 is opened.
sed -i -e 's/"mode": "virtual"/"mode": "paced"/' -e 's/"medium": true/"medium": false/' fresh.json
for name in linux idle list verified window; do cp fresh.json $name.json; done
sed '0,/"faults": \[\]/s//"faults": [{"kind": "corruptReadBack", "command": "readBuffer", "nth": 7, "times": 0}]/' \
  fresh.json > corrupt.json
python3 - << 'PY' || abort "the benches could not be made"
import json
fresh = json.load(open("fresh.json"))
# Another maker's drive first: the one the TCMU handler serves.
other = dict(fresh, drives=[d for d in fresh["drives"] if d.get("vendor") != "QUORVANT"])
json.dump(other, open("other.json", "w"), indent=2)
# The block download's drive: 128 KiB of flash and no flash ID to read.
bank = json.load(open("bank.json"))
bank["clock"] = fresh["clock"]
bank["drives"][0].pop("flashId")
bank["drives"][0]["medium"] = False
json.dump(bank, open("block.json", "w"), indent=2)
PY
# A drive left in its boot loader: the package that names the drive's maker and model (blank-padded,
# as the drive reports them) cuts its flash at the commit on an emulated PC; the drive served in the
# guest is that one, its power back.
sed 's/"high": "QV19" }/"high": "QV19", "vendor": "QUORVANT", "product": "DVD-RW QV-1600  " }/' \
  verified.manifest.json > recover.manifest.json
for p in "$build/cli/brenvo-cli linux-cli-r" "$win/cli/brenvo-cli.exe cli-r.exe"; do
  read -r program packed <<< "$p"
  out=$("$pack" recover.manifest.json "$program" "$packed" 2>&1) || abort "packing $packed failed: $out"
done
"$bench" new --preset typical cut.json > /dev/null
sed -i '0,/"faults": \[\]/s//"faults": [{"kind": "powerCut", "command": "commit", "nth": 1, "times": 1}]/' cut.json
BRENVO_MACHINE=cut.json ./linux-cli-r update --yes < /dev/null > cut.out 2>&1
"$bench" copy cut.json loader.json > /dev/null
python3 - << 'PY' || abort "the loader drive's bench could not be made"
import json
fresh, loader = json.load(open("fresh.json")), json.load(open("loader.json"))
drive = loader["drives"][0]
assert drive["flashIncomplete"], "the power cut left no drive in its loader"
drive.update(faults=[], medium=False)
loader["clock"] = fresh["clock"]
json.dump(loader, open("loader.json", "w"), indent=2)
PY
crc_of() { "$bench" show "$1" | sed -n 's/^ *[A-Z]:.*crc32 \([0-9a-f]*\).*/\1/p' | head -1; }
# The guest sees this machine's folders but its own /tmp: what it runs is copied into the job,
# so a clone anywhere (under /tmp too) works.
mkdir -p "$job/build/tools/tcmu" "$job/build/tools/bench" "$job/repo/scripts/vm"
cp "$build/tools/tcmu/brenvo-tcmu" "$job/build/tools/tcmu/"
cp "$bench" "$job/build/tools/bench/"
cp "$root/scripts/vm/wine-guest.sh" "$root/scripts/vm/common.sh" "$job/repo/scripts/vm/"
cat > env << ENV
PREFIX=$job/prefix
BUILD=$job/build
IMAGE_CRC=$image_crc
BLOCK_CRC=$block_crc
FRESH_CRC=$(crc_of fresh.json)
OTHER_CRC=$(crc_of other.json)
LOADER_CRC=$(crc_of loader.json)
RECOVER=$("$build/cli/brenvo-cli" --help 2>&1 | grep -c -- --recover)
ENV
cd "$root"
part packages $t

# --- the Wine prefix: made here, natively, then checked ------------------------------------------
t=$SECONDS
make_prefix() {
  $wine wineboot -i > "$job/wineboot.log" 2>&1
  wineserver -w  # wineboot returns before the prefix is whole
}
if [ $simulated = yes ]; then
  # A mount namespace of this command alone in which the 32-bit loader is no program ("Exec
  # format error", as where the kernel cannot run 32-bit programs).
  { printf '\177ELF' && head -c 60 /dev/zero; } > "$job/no-32-bit" && chmod 755 "$job/no-32-bit"
  export -f make_prefix && export wine job
  unshare -m --propagation private bash -c \
    'mount --bind "$job/no-32-bit" /lib/ld-linux.so.2 && ! /lib/ld-linux.so.2 --version 2> /dev/null && make_prefix' ||
    abort "32-bit programs cannot be kept from starting here (unshare and mount need root)"
else
  make_prefix
fi
# The drive: E: is the CD-ROM drive whose device is the guest's /dev/sr0.
mkdir -p "$job/cdrom"
ln -sfn "$job/cdrom" "$WINEPREFIX/dosdevices/e:"
ln -sfn /dev/sr0 "$WINEPREFIX/dosdevices/e::"
printf '\n[Software\\\\Wine\\\\Drives] %s\n"e:"="cdrom"\n' "$(date +%s)" >> "$WINEPREFIX/system.reg"
wow64=$WINEPREFIX/drive_c/windows/syswow64
if [ $host32 = no ]; then
  # Made where 32-bit programs cannot run, the prefix lacks its 32-bit half: Wine's setup of it
  # runs the 32-bit rundll32, which cannot start here. Its system folder gets the 32-bit builtins
  # that setup puts there (copied, files only: nothing 32-bit runs here), so that the 32-bit
  # rundll32 can start in the guest and finish the setup (its registry, national language files
  # and 16-bit modules, which it installs under other names: left out here). Copies, not links:
  # Wine rewrites a prefix's files in place, which through a link would rewrite Wine's own.
  [ ! -e "$wow64/kernel32.dll" ]
  check "the prefix made with the 64-bit loader alone lacks its 32-bit half" 0 $? \
    "$(ls "$wow64" | head -5)" ""
  copied=$SECONDS
  find "$i386_builtins" -maxdepth 1 -type f ! -name '*16' -print0 | xargs -0 cp -t "$wow64"
  part prefix-32-bit-programs $copied
  echo "HALF32=guest" >> "$job/env"
fi
# Whole: both halves' system folders, the drive, and the version stamp Wine would otherwise
# update the prefix for at its first start in the guest (minutes there).
stamp=$(stat -c %Y /usr/share/wine/wine.inf 2> /dev/null)
[ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] &&
  [ -f "$wow64/kernel32.dll" ] && [ -f "$wow64/rundll32.exe" ] &&
  { [ $host32 = no ] || [ -f "$wow64/c_1252.nls" ]; } &&
  grep -q '^"e:"="cdrom"' "$WINEPREFIX/system.reg" &&
  [ "$(head -1 "$WINEPREFIX/.update-timestamp" 2> /dev/null)" = "$stamp" ]
check "the Wine prefix is made here and whole$([ $host32 = no ] && echo ", its 32-bit half's programs copied") ($(du -sh "$WINEPREFIX" | cut -f1))" 0 $? \
  "$(tail -5 "$job/wineboot.log")" ""
gate "no usable Wine prefix"
part prefix $t

# --- the kernel and the initramfs --------------------------------------------------------------
t=$SECONDS
vm_kernel || abort "$vm_error"
initrd=$job/initrd.d
mkdir -p "$initrd"/{bin,dev,proc,sys,tmp}
cp "$(command -v busybox)" "$initrd/bin/busybox"
[[ "$(ldd "$initrd/bin/busybox" 2>&1)" == *"not a dynamic"* || "$(ldd "$initrd/bin/busybox" 2>&1)" == *"statically linked"* ]] ||
  abort "busybox is not static (install busybox-static)"
vm_modules "$initrd" virtio_pci 9p 9pnet_virtio overlay configfs sg sr_mod target_core_user tcm_loop ||
  abort "$vm_error"
cp scripts/vm/wine-init.sh "$initrd/init"
chmod +x "$initrd/init"
printf 'JOB=%s\nREPO=%s\nPREFIX=%s\n' "$job" "$job/repo" "$job/prefix" > "$initrd/config"
(cd "$initrd" && find . | "$initrd/bin/busybox" cpio -o -H newc 2> /dev/null) > "$job/initrd" ||
  abort "cpio failed"
part kernel-and-initramfs $t

# --- the VM ------------------------------------------------------------------------------------
t=$SECONDS
# -cpu max with SMAP faults Wine's processes in the guest's kernel (an oops at an iret): no SMAP.
# The overlay's upper layer is the guest's memory: the prefix's 32-bit half, when the guest makes
# it, takes about 600 MB of it.
memory=$([ $host32 = yes ] && echo 2048 || echo 3072)
timeout 840 qemu-system-x86_64 -machine pc,accel=tcg -cpu max,-smap -m $memory -smp 2 -nographic \
  -nic none -no-reboot -kernel "$vm_vmlinuz" -initrd "$job/initrd" \
  -append "console=ttyS0 panic=-1 quiet loglevel=3 tsc=reliable clocksource=tsc block.events_dfl_poll_msecs=0" \
  -device isa-debug-exit,iobase=0xf4,iosize=0x04 \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  > "$job/console.log" 2>&1
status=$?
part vm $t
[ -n "${BRENVO_VM_LOG:-}" ] && cp "$job/console.log" "$BRENVO_VM_LOG"
tr -d '\r' < "$job/console.log" > "$job/console.txt"
grep '^TIME ' "$job/console.txt" | sed 's/^TIME \(.*\) \(.*\)/    in the VM: \1 \2 s/'
while read -r line; do
  case $line in
    "CHECK PASS "*) passed=$((passed + 1)); echo "PASS in the VM: ${line#CHECK PASS }" ;;
    "CHECK FAIL "*) failed=$((failed + 1)); echo "FAIL in the VM: ${line#CHECK FAIL }" ;;
    "DETAIL "*) echo "    ${line#DETAIL }" ;;
    "NOT RUN "*) echo "not run in the VM: ${line#NOT RUN }" ;;
  esac
done < <(grep -e '^CHECK ' -e '^DETAIL ' -e '^NOT RUN ' "$job/console.txt")
# isa-debug-exit hands back (code << 1) | 1; the marker proves the guest ran to its end.
if ! grep -q '^BRENVO-VM-END' "$job/console.txt" || [ "$status" -ne 1 ]; then
  echo "wine-vm-test: the guest did not finish (qemu status $status); the console's end:"
  tail -30 "$job/console.txt"
  failed=$((failed + 1))
fi
echo "TIME whole $((SECONDS - began)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
