#!/usr/bin/env bash
# The Linux backend against the real kernel: boots Debian's kernel in a small qemu VM (TCG) and
# runs brenvo-cli and the device layer against three peers: scsi_debug as a CD/DVD device, qemu's
# ATAPI drives (IDE and AHCI, with and without a disc), and our own emulated optical drive served
# to the kernel through TCMU behind tcm_loop, where a whole update runs through the SCSI stack; on
# that drive, the check after the restart as its autostart entry starts it, under pkexec and polkitd.
# Prints one line per target and ends with "N passed, M failed" (checks); non-zero on failure.
#
# Usage: scripts/vm-test.sh [BUILD_DIR]     (the kernel package is cached in $BRENVO_VM_CACHE,
#                                            default ~/.cache/brenvo-vm; never installed)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD source scripts/ccache.sh
build=${1:-build}
cache=${BRENVO_VM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/brenvo-vm}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "vm-test: $*"; echo "0 passed, 1 failed"; exit 1; }

# --- the programs --------------------------------------------------------------------------
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" > /dev/null || fail "cmake failed"
fi
cmake --build "$build" --target brenvo-cli brenvo-pack brenvo-bench brenvo-tcmu brenvo-vmprobe brenvo-tracecmp \
  > "$work/build.log" 2>&1 || { tail -20 "$work/build.log"; fail "build failed"; }

# --- the kernel: Debian's package, unpacked, never installed --------------------------------
mkdir -p "$cache"
kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'
}
package=$(kernel_package)
if [ -z "$package" ]; then  # a fresh machine may have no package lists yet
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq > /dev/null 2>&1
  package=$(kernel_package)
fi
[ -n "$package" ] || fail "apt-cache knows no linux-image-amd64"
if [ ! -d "$cache/$package" ]; then
  (cd "$cache" && rm -f "$package"_*.deb && apt-get download "$package" > /dev/null 2>&1) ||
    fail "apt-get download $package failed"
  dpkg -x "$cache/$package"_*.deb "$cache/$package.tmp" && mv "$cache/$package.tmp" "$cache/$package" ||
    fail "dpkg -x failed"
  rm -f "$cache/$package"_*.deb
fi
kroot=$cache/$package
vmlinuz=$(ls "$kroot"/boot/vmlinuz-* | head -1)
moddir=$(ls -d "$kroot"/lib/modules/* | head -1)

# --- what the VM runs: a packed brenvo-cli, firmware, bench files, the emulated PC's trace ------
bin=$build
host=$work/host
mkdir -p "$host"
"$bin/tools/bench/brenvo-bench" firmware --revision QV12 --size 1048576 "$host/fw1.bin" > "$host/fw.txt"
image_crc=$(sed 's/.*crc32 \([0-9a-f]*\).*/\1/' "$host/fw.txt")
"$bin/tools/bench/brenvo-bench" key --seed 12 "$host/key1.bin" > /dev/null
sed 's#out/##g' demo/manifest.json > "$host/manifest.json"
"$bin/tools/pack/brenvo-pack" "$host/manifest.json" "$bin/cli/brenvo-cli" "$host/brenvo-cli" > /dev/null ||
  fail "packing brenvo-cli failed"
# A package that takes scsi_debug's drive (revision 0191), which refuses our vendor commands.
sed -e 's/"QV10"/"0100"/' -e 's/"QV19"/"0199"/' "$host/manifest.json" > "$host/manifest-sd.json"
"$bin/tools/pack/brenvo-pack" "$host/manifest-sd.json" "$bin/cli/brenvo-cli" "$host/brenvo-cli-sd" > /dev/null ||
  fail "packing brenvo-cli for scsi_debug failed"
# The emulated PC's run of the same package: the trace the drive behind the kernel must see.
"$bin/tools/bench/brenvo-bench" new --preset typical "$host/ref.json" > /dev/null
BRENVO_MACHINE="$host/ref.json" BRENVO_TRACE="$host/ref.jsonl" "$host/brenvo-cli" update --yes \
  < /dev/null > "$host/ref.out" 2>&1 || fail "the update on the emulated PC failed"
grep '"device":"E:"' "$host/ref.jsonl" > "$host/ref-e.jsonl"
# The drive served to the kernel keeps real time: the program's waits are real there.
"$bin/tools/bench/brenvo-bench" new --preset typical "$host/drive.json" > /dev/null
sed -i 's/"mode": "virtual"/"mode": "paced"/' "$host/drive.json"
cp "$host/drive.json" "$host/corrupt.json"
# One program per drive: a second package with another image, both started together on one
# fresh drive; and a package that takes qemu's ATAPI drive, whose disc is mounted.
cp "$host/drive.json" "$host/race.json"
"$bin/tools/bench/brenvo-bench" firmware --revision QV13 --size 1048576 "$host/fw2.bin" > "$host/fw2.txt"
image2_crc=$(sed 's/.*crc32 \([0-9a-f]*\).*/\1/' "$host/fw2.txt")
sed -e 's/fw1.bin/fw2.bin/' -e 's/"QV12"/"QV13"/g' "$host/manifest.json" > "$host/manifest-b.json"
"$bin/tools/pack/brenvo-pack" "$host/manifest-b.json" "$bin/cli/brenvo-cli" "$host/brenvo-cli-b" > /dev/null ||
  fail "packing the second brenvo-cli failed"
sed -e 's/"QV10"/"0000"/' -e 's/"QV19"/"9999"/' "$host/manifest.json" > "$host/manifest-q.json"
"$bin/tools/pack/brenvo-pack" "$host/manifest-q.json" "$bin/cli/brenvo-cli" "$host/brenvo-cli-q" > /dev/null ||
  fail "packing brenvo-cli for qemu's drive failed"
sed -i '0,/"faults": \[\]/s//"faults": [{"kind": "corruptReadBack", "command": "readBuffer", "nth": 7, "times": 0}]/' \
  "$host/corrupt.json"
# Drives the target answers for (BUSY, RESERVATION CONFLICT, CHECK CONDITION without sense):
# each must be left as it was.
for name in busy conflict nosense; do cp "$host/drive.json" "$host/$name.json"; done
fresh_crc=$("$bin/tools/bench/brenvo-bench" show "$host/drive.json" |
  sed -n 's/^ *E:.*crc32 \([0-9a-f]*\).*/\1/p')
# The block download: a 128 KiB image for a drive of that flash with no flash ID to read.
"$bin/tools/bench/brenvo-bench" firmware --revision QV12 --size 131072 "$host/fw128.bin" > "$host/fw128.txt"
block_crc=$(sed 's/.*crc32 \([0-9a-f]*\).*/\1/' "$host/fw128.txt")
sed 's/fw1.bin/fw128.bin/' "$host/manifest.json" > "$host/manifest-block.json"
"$bin/tools/pack/brenvo-pack" "$host/manifest-block.json" "$bin/cli/brenvo-cli" "$host/brenvo-cli-block" \
  > /dev/null || fail "packing brenvo-cli for the block download failed"
"$bin/tools/bench/brenvo-bench" new --preset bank "$host/block.json" > /dev/null
python3 - "$host/block.json" "$host/drive.json" << 'PY' || fail "the block download's bench could not be made"
import json, sys
bank, fresh = json.load(open(sys.argv[1])), json.load(open(sys.argv[2]))
bank["clock"] = fresh["clock"]  # real time, as a drive behind the kernel keeps
bank["drives"][0].pop("flashId")
json.dump(bank, open(sys.argv[1], "w"), indent=2)
PY
# The OEM variant of that package, whose update registers the check after the restart: the guest
# runs it through pkexec, and then the restart entry's command as written.
sed 's/"options": "0/"options": "2/' "$host/manifest-block.json" > "$host/manifest-qv.json"
"$bin/tools/pack/brenvo-pack" "$host/manifest-qv.json" "$bin/cli/brenvo-cli" "$host/brenvo-cli-qv" \
  > /dev/null || fail "packing the OEM brenvo-cli failed"
cp "$host/block.json" "$host/qv.json"
# A drive left in its boot loader: a package that names the drive's maker and model (blank-padded,
# as the drive reports them), a fresh drive whose power is cut at the first commit, and a drive of
# another maker already in its loader.
sed -e 's/"vendor": ""/"vendor": "QUORVANT"/' -e 's/"product": ""/"product": "DVD-RW QV-1600  "/' \
  "$host/manifest.json" > "$host/manifest-r.json"
"$bin/tools/pack/brenvo-pack" "$host/manifest-r.json" "$bin/cli/brenvo-cli" "$host/brenvo-cli-r" \
  > /dev/null || fail "packing the maker's brenvo-cli failed"
sed '0,/"faults": \[\]/s//"faults": [{"kind": "powerCut", "command": "commit", "nth": 1, "times": 1}]/' \
  "$host/drive.json" > "$host/cut.json"
python3 - "$host/drive.json" "$host/foreign.json" << 'PY' || fail "the foreign loader drive's bench could not be made"
import json, sys
bench = json.load(open(sys.argv[1]))
bench["drives"][0].update(vendor="OTHERCO", product="DVD-RW XJ-1600", flashIncomplete=True)
json.dump(bench, open(sys.argv[2], "w"), indent=2)
PY

# --- the initramfs ---------------------------------------------------------------------------
root=$work/root
mkdir -p "$root"/{bin,sbin,lib,lib64,dev,proc,sys,tmp,etc,work,modules}
cp /bin/busybox "$root/bin/busybox" 2>/dev/null || cp "$(command -v busybox)" "$root/bin/busybox"
[[ "$(ldd "$root/bin/busybox" 2>&1)" == *"not a dynamic"* || "$(ldd "$root/bin/busybox" 2>&1)" == *"statically linked"* ]] ||
  fail "busybox is not static (install busybox-static)"
add_program() {  # add_program FILE [DIR]: the program, in DIR of the guest (/bin), and its shared libraries
  local dir=${2:-/bin}
  mkdir -p "$root$dir"
  cp "$1" "$root$dir/"
  strip --strip-debug "$root$dir/$(basename "$1")" 2>/dev/null
  ldd "$1" | awk '/=> \// {print $3} /^\t\/lib64/ {print $1}' | while read -r lib; do
    mkdir -p "$root$(dirname "$lib")"
    [ -f "$root$lib" ] || cp -L "$lib" "$root$lib"
  done
}
for p in "$host/brenvo-cli" "$host/brenvo-cli-sd" "$host/brenvo-cli-b" "$host/brenvo-cli-q" "$host/brenvo-cli-block" \
         "$host/brenvo-cli-qv" "$host/brenvo-cli-r" \
         "$bin/tools/bench/brenvo-bench" "$bin/tools/tcmu/brenvo-tcmu" \
         "$bin/tools/vmprobe/brenvo-vmprobe" "$bin/tools/tracecmp/brenvo-tracecmp" \
         "$(command -v sg_inq)" "$(command -v sg_start)"; do
  add_program "$p"
done
# util-linux's setpriv and bash for the sudo case, in /usr/bin: busybox's applets take /bin.
for p in "$(command -v setpriv)" "$(command -v bash)"; do
  add_program "$p" /usr/bin
done
cp "$host"/fw1.bin "$host"/drive.json "$host"/corrupt.json "$host"/race.json "$host"/ref-e.jsonl \
  "$host"/busy.json "$host"/conflict.json "$host"/nosense.json "$host"/block.json "$host"/qv.json \
  "$host"/cut.json "$host"/foreign.json "$root/work/"
# A desktop's rights machinery, from this machine's packages: the system bus, polkitd with the
# action pkexec asks for, pkexec itself (made setuid root in the guest), and a PAM service for it
# that admits everyone (the rule decides who may).
for p in /usr/bin/pkexec /usr/bin/pkaction /usr/lib/polkit-1/polkitd /usr/bin/dbus-daemon; do
  [ -x "$p" ] || fail "$p is missing (scripts/install-deps.sh installs pkexec and polkitd)"
  add_program "$p" "$(dirname "$p")"
done
mkdir -p "$root/usr/share/dbus-1/system.d" "$root/usr/share/polkit-1/actions" "$root/etc/pam.d" \
  "$root/etc/polkit-1/rules.d" "$root/lib/x86_64-linux-gnu/security"
cp /usr/share/dbus-1/system.conf "$root/usr/share/dbus-1/"
cp /usr/share/dbus-1/system.d/org.freedesktop.PolicyKit1.conf "$root/usr/share/dbus-1/system.d/"
cp /usr/share/polkit-1/actions/org.freedesktop.policykit.policy data/org.brenvo.Brenvo.policy \
  "$root/usr/share/polkit-1/actions/"
cp /lib/x86_64-linux-gnu/security/pam_permit.so "$root/lib/x86_64-linux-gnu/security/"
printf '%s required pam_permit.so\n' auth account password session > "$root/etc/pam.d/polkit-1"
# Modules in dependency order, read from each module's own depends= (the unpacked tree has no
# usable modules.dep).
declare -A loaded=()
order=()
add_module() {
  local name=$1 file dep
  [ -n "${loaded[$name]:-}" ] && return
  loaded[$name]=1
  file=$(find "$moddir" -name "$name.ko*" -o -name "${name//_/-}.ko*" | head -1)
  [ -n "$file" ] || fail "module $name not in $package"
  for dep in $(tr '\0' '\n' < "$file" | sed -n 's/^depends=//p' | tr ',' ' '); do
    add_module "$dep"
  done
  cp "$file" "$root/modules/"
  order+=("$(basename "$file")")
}
for m in configfs sg sr_mod crct10dif_generic ata_piix ahci scsi_debug target_core_user tcm_loop \
         ext4 crc32c_generic; do
  add_module "$m"
done
printf '%s\n' "${order[@]}" > "$root/modules/order"
cp scripts/vm/guest.sh "$root/init"
cp scripts/vm/common.sh "$root/common.sh"
chmod +x "$root/init"
sed -i -e "s/@IMAGE_CRC@/$image_crc/" -e "s/@IMAGE2_CRC@/$image2_crc/" -e "s/@FRESH_CRC@/$fresh_crc/" \
  -e "s/@BLOCK_CRC@/$block_crc/" "$root/init"
[ "$(id -u)" -eq 0 ] && mknod -m 600 "$root/dev/console" c 5 1
(cd "$root" && find . | "$root/bin/busybox" cpio -o -H newc 2> /dev/null) > "$work/initrd" ||
  fail "cpio failed"

# --- the VM ----------------------------------------------------------------------------------
# The IDE drive's disc carries a file system (2048-byte blocks, as the drive reads them), so that
# the guest can mount it.
mkdir -p "$work/disc"; echo "a file on the disc" > "$work/disc/readme.txt"
mke2fs -q -F -t ext2 -b 2048 -d "$work/disc" "$work/disc.iso" 4M > /dev/null 2>&1 ||
  fail "mke2fs failed (install e2fsprogs)"
start=$(date +%s)
timeout 480 qemu-system-x86_64 -machine pc,accel=tcg -cpu max -m 768 -smp 1 -nographic -no-reboot \
  -kernel "$vmlinuz" -initrd "$work/initrd" \
  -append "console=ttyS0 panic=-1 quiet loglevel=3 tsc=reliable clocksource=tsc block.events_dfl_poll_msecs=0" \
  -device isa-debug-exit,iobase=0xf4,iosize=0x04 \
  -drive if=none,id=cd0,media=cdrom,file="$work/disc.iso",format=raw \
  -device ide-cd,drive=cd0,bus=ide.1,unit=0 \
  -device ahci,id=ahci0 -drive if=none,id=cd1,media=cdrom -device ide-cd,drive=cd1,bus=ahci0.0 \
  > "$work/console.log" 2>&1
status=$?
echo "vm: booted and ran in $(( $(date +%s) - start )) s (qemu status $status)"
[ -n "${BRENVO_VM_LOG:-}" ] && cp "$work/console.log" "$BRENVO_VM_LOG"

# isa-debug-exit hands back (code << 1) | 1; the marker proves the guest ran to its end (a
# kernel panic also ends qemu with 0).
passed=$(grep -c '^CHECK PASS' "$work/console.log")
failed=$(grep -c '^CHECK FAIL' "$work/console.log")
for target in scsi_debug atapi tcmu; do
  p=$(grep -c "^CHECK PASS $target " "$work/console.log")
  f=$(grep -c "^CHECK FAIL $target " "$work/console.log")
  if [ "$f" -eq 0 ] && [ "$p" -gt 0 ]; then
    echo "PASS $target ($p checks)"
  else
    echo "FAIL $target ($p passed, $f failed)"
    # Each failure with the DETAIL lines that follow it.
    tr -d '\r' < "$work/console.log" | awk -v t="CHECK FAIL $target " '
      index($0, t) == 1 { print "    " substr($0, 12); detail = 1; next }
      detail && /^DETAIL / { print "        " substr($0, 8); next }
      { detail = 0 }'
  fi
done
grep '^BENCH ' "$work/console.log" | sed 's/^BENCH /    /'
grep '^NOT RUN ' "$work/console.log" | sed 's/^NOT RUN /    not run: /'
if ! grep -q '^BRENVO-VM-END' "$work/console.log" || [ "$status" -ne 1 ]; then
  echo "vm-test: the guest did not finish (qemu status $status); the console's end:"
  tail -30 "$work/console.log"
  failed=$((failed + 1))
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
