#!/bin/busybox sh
# The init of the Wine VM (scripts/wine-vm-test.sh): loads the modules, mounts the host's root
# filesystem (read-only, over 9p) and runs the checks in a chroot of it, where the host's Wine, X
# server and programs run on this kernel. The prefix made on the host is the lower layer of an
# overlay whose upper layer is memory, so the run writes nothing back. Ends with the marker, then
# isa-debug-exit.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
exec < /dev/console > /dev/console 2>&1
. /config  # JOB, REPO, PREFIX: folders of the host, named as the host names them
for m in $(cat /modules/order); do insmod /modules/$m 2> /dev/null; done

H=/host
mkdir -p $H
if mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=262144 hostroot $H; then
  mount -t proc proc $H/proc
  mount -t sysfs sys $H/sys
  mount -t devtmpfs dev $H/dev
  mkdir -p $H/dev/shm $H/dev/pts
  mount -t tmpfs shm $H/dev/shm
  mount -t devpts pts $H/dev/pts
  mount -t tmpfs tmp $H/tmp
  mount -t tmpfs run $H/run
  mount -t configfs none $H/sys/kernel/config
  mkdir -p $H/tmp/overlay/upper $H/tmp/overlay/work
  mount -t overlay overlay \
    -o lowerdir=$H$PREFIX,upperdir=$H/tmp/overlay/upper,workdir=$H/tmp/overlay/work $H$PREFIX ||
    echo "CHECK FAIL vm the prefix's overlay cannot be mounted"
  chroot $H /bin/bash "$REPO/scripts/vm/wine-guest.sh" "$JOB" "$REPO"
else
  echo "CHECK FAIL vm the host's root filesystem cannot be mounted over 9p"
fi
echo "BRENVO-VM-END"
printf '\000' | dd of=/dev/port bs=1 seek=244 count=1 2> /dev/null
poweroff -f
