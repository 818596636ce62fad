#!/bin/busybox sh
# The guest's first process (the initramfs /init of scripts/real-daemons.sh):
# mounts the host's root read-only under a tmpfs overlay and switches into the
# guest script named on the kernel command line (ovrin_guest=...).
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
# Dependency order, as modprobe listed it; out of order they miss symbols.
while read -r module; do
    insmod "/modules/$module" || echo "init: cannot load $module"
done </modules/order
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose,ro host /lower \
    || { echo "init: cannot mount the host's root"; poweroff -f; }
mount -t tmpfs -o size=512m tmpfs /upper
mkdir -p /upper/data /upper/work
mount -t overlay overlay -o lowerdir=/lower,upperdir=/upper/data,workdir=/upper/work /newroot \
    || { echo "init: cannot make the overlay"; poweroff -f; }
mount --move /proc /newroot/proc
mount --move /sys /newroot/sys
mount --move /dev /newroot/dev
exec switch_root /newroot /bin/bash "$ovrin_guest"
