#!/bin/busybox sh
# /init of the emulator guest (scripts/emulator-guest.sh): mounts the host's root read-only and the
# output folder writable at its host path, gives Wine a network interface with a default route
# (with loopback only it reports no internet connection), runs OUT/job.sh and powers off.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
echo "guest: kernel up after $(cut -d' ' -f1 /proc/uptime) s"
for module in $(cat /modules); do
  insmod "/lib/modules/$module.ko" || echo "guest: insmod $module failed"
done
out=$(sed -n 's/.*flashdeck\.out=\([^ ]*\).*/\1/p' /proc/cmdline)
if ! mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000 hostroot /newroot; then
  echo "guest: the host's root folder could not be mounted"
  poweroff -f
fi
for fs in proc sys dev; do mount --bind "/$fs" "/newroot/$fs"; done
mkdir -p /newroot/dev/pts /newroot/dev/shm
mount -t devpts devpts /newroot/dev/pts
mount -t tmpfs shm /newroot/dev/shm
# Wine prefixes (about 1.3 GB each) live in /tmp: most of the guest's memory goes there.
mount -t tmpfs -o mode=1777,size=7g guest-tmp /newroot/tmp
for dir in root run var/tmp var/lib/xkb var/log; do
  [ -d "/newroot/$dir" ] && mount -t tmpfs -o mode=1777 "guest-$dir" "/newroot/$dir"
done
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 out "/newroot$out" || {
  echo "guest: the output folder $out could not be mounted"
  poweroff -f
}
cut -d' ' -f1 /proc/uptime >"/newroot$out/boot-seconds"

# 32-bit Wine reserves fixed parts of its address space at start; without randomised placement
# nothing of the loader's can be in the way.
echo 0 >/proc/sys/kernel/randomize_va_space
ip link set lo up
ip link add dummy0 type dummy 2>/dev/null
ip addr add 192.0.2.1/24 dev dummy0
ip link set dummy0 up
ip route add default via 192.0.2.254 dev dummy0

chroot /newroot /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  LANG=C.UTF-8 /bin/bash "$out/job.sh" >>"/newroot$out/job.log" 2>&1
echo $? >"/newroot$out/exit-code"
sync
poweroff -f
