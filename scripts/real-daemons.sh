#!/bin/bash
# Runs a command next to the genuine bluetoothd and obexd of this machine's
# BlueZ packages, in a throw-away QEMU guest with two emulated controllers:
#
#   bash scripts/real-daemons.sh [-d] [--] command [arguments...]
#
# The guest boots Debian's own kernel (fetched with apt-get download into the
# build folder, never installed), sees this machine's root read-only under a
# tmpfs overlay, loads the Bluetooth modules, makes hci0 and hci1 with
# `btvirt -l2`, and starts a system bus with bluetoothd and a session bus with
# obexd. The command runs as root in the current folder with the environment
# below; its output is ours and its exit status is this script's. Files it
# writes under $OVRIN_REAL_OUTPUT (default: the run's folder in the build
# folder) come back to this machine; everything else goes with the guest.
#
# -d: bluetoothd and obexd log at debug level and both buses are recorded
# (system-bus.log, session-bus.log). The run's folder
# (console.log, bluetoothd.log, obexd.log, btvirt.log) is kept when the
# command fails or with -d, and removed otherwise.
#
# OVRIN_REAL_TIMEOUT: seconds before the guest is stopped (default 600).
# OVRIN_REAL_ACCEL: "tcg" (default; this machine's nested KVM is slower) or "kvm".
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
build="$(realpath -m "${OVRIN_BUILD_DIR:-$root/build}")"
rig="$build/real-daemons"

debug=0
while [ $# -gt 0 ]; do
    case "$1" in
        -d) debug=1; shift ;;
        --) shift; break ;;
        *) break ;;
    esac
done
[ $# -gt 0 ] || { echo "usage: $0 [-d] [--] command [arguments...]" >&2; exit 2; }

bash "$here/ensure-deps.sh"

# --- The kernel and the initramfs, made once per build folder ---------------

kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }'
}

prepare_kernel() {
    local package version tree
    package="$(kernel_package)"
    [ -n "$package" ] || { echo "real-daemons: no linux-image package known to apt" >&2; return 1; }
    version="${package#linux-image-}"
    [ -f "$rig/ready-$version" ] && return 0
    echo "real-daemons: preparing kernel $version in $rig" >&2
    rm -rf "$rig/kernel" "$rig"/ready-* "$rig/initramfs"*
    mkdir -p "$rig/download" "$rig/kernel"
    (cd "$rig/download" && rm -f ./*.deb && apt-get download -q "$package" >/dev/null 2>&1 \
        || { apt-get update -qq && apt-get download -q "$package" >/dev/null; })
    dpkg -x "$rig"/download/"$package"_*.deb "$rig/kernel"
    rm -f "$rig"/download/*.deb
    depmod -b "$rig/kernel" "$version"
    # An uncompressed kernel boots several seconds faster under emulation:
    # the xz stream inside vmlinuz, found by its magic.
    local image="$rig/kernel/boot/vmlinuz-$version" offset
    offset="$(LC_ALL=C grep -obUaP '\xFD7zXZ\x00' "$image" | head -1 | cut -d: -f1)"
    if [ -n "$offset" ] && tail -c +"$((offset + 1))" "$image" | xz -dc 2>/dev/null >"$rig/vmlinux.part" \
        && [ -s "$rig/vmlinux.part" ]; then
        mv "$rig/vmlinux.part" "$rig/vmlinux"
    else
        rm -f "$rig/vmlinux.part"
        cp "$image" "$rig/vmlinux"
    fi
    make_initramfs "$version"
    echo "$version" >"$rig/version"
    touch "$rig/ready-$version"
}

# Static busybox, the modules that mount the root (in dependency order) and
# the init that switches into the guest script.
make_initramfs() {
    local version="$1" staging="$rig/initramfs.d" tree="$rig/kernel"
    rm -rf "$staging"
    mkdir -p "$staging"/{bin,modules,proc,sys,dev,lower,upper,newroot}
    cp /bin/busybox "$staging/bin/busybox"
    cp "$here/real-daemons-init.sh" "$staging/init"
    chmod +x "$staging/init"
    local module path seen=" "
    for module in virtio_pci 9pnet_virtio 9p overlay; do
        while read -r _ path _; do
            case "$seen" in *" $path "*) continue ;; esac
            seen="$seen$path "
            cp "$path" "$staging/modules/"
            basename "$path" >>"$staging/modules/order"
        done < <(modprobe -d "$tree" -S "$version" --show-depends "$module" | grep '^insmod')
    done
    (cd "$staging" && find . | cpio -o -H newc --quiet | gzip -1 >"$rig/initramfs.gz")
    rm -rf "$staging"
}

mkdir -p "$rig"
# One preparation at a time: tests may start several guests side by side.
exec 9>"$rig/lock"
flock 9
prepare_kernel
flock -u 9
version="$(cat "$rig/version")"

# --- One run -------------------------------------------------------------------

mkdir -p "$rig/runs"
run="$(mktemp -d "$rig/runs/run-XXXXXX")"
output="${OVRIN_REAL_OUTPUT:-$run/output}"
mkdir -p "$output"

# The command, as the guest script runs it: this folder, this environment's
# test switches, the arguments quoted as given.
{
    echo "cd $(printf %q "$PWD")"
    echo "export OVRIN_REAL_OUTPUT=$(printf %q "$output")"
    env | grep -E '^(OVRIN_|QT_|QTEST_|ASAN_|UBSAN_|LSAN_|LANG=|LC_)' | grep -v '^OVRIN_REAL_OUTPUT=' \
        | while IFS='=' read -r name value; do echo "export $name=$(printf %q "$value")"; done
    printf 'exec'
    printf ' %q' "$@"
    echo
} >"$run/command.sh"
echo "$debug" >"$run/debug"
echo "$version" >"$run/kernel-version"

accel="${OVRIN_REAL_ACCEL:-tcg}"
qemu_args=(
    -accel "$accel" -M pc -smp 1 -m 1024 -nodefaults -no-user-config -nographic -no-reboot
    -serial "file:$run/console.log" -monitor none
    -kernel "$rig/vmlinux" -initrd "$rig/initramfs.gz"
    -append "console=ttyS0 quiet panic=-1 cryptomgr.notests=1 ovrin_guest=$here/real-daemons-guest.sh ovrin_run=$run ovrin_modules=$rig/kernel/lib/modules ovrin_output=$output"
    -fsdev "local,id=host,path=/,security_model=none,readonly=on,multidevs=remap"
    -device virtio-9p-pci,fsdev=host,mount_tag=host
    -fsdev "local,id=run,path=$run,security_model=none,multidevs=remap"
    -device virtio-9p-pci,fsdev=run,mount_tag=run
)
if [ "$output" != "$run/output" ]; then
    qemu_args+=(-fsdev "local,id=output,path=$output,security_model=none,multidevs=remap"
        -device virtio-9p-pci,fsdev=output,mount_tag=output)
fi

started=$(date +%s.%N)
status=0
timeout --kill-after=10 "${OVRIN_REAL_TIMEOUT:-600}" qemu-system-x86_64 "${qemu_args[@]}" </dev/null || status=$?
[ -f "$run/stdout" ] && cat "$run/stdout"
[ -f "$run/stderr" ] && cat "$run/stderr" >&2
if [ -f "$run/status" ]; then
    status="$(cat "$run/status")"
elif [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "real-daemons: the guest did not end within ${OVRIN_REAL_TIMEOUT:-600} s" >&2
    status=124
else
    echo "real-daemons: the guest ended without running the command (qemu status $status)" >&2
    status=125
fi
[ -f "$run/ready" ] && echo "real-daemons: guest ready after $(cat "$run/ready") s of uptime," \
    "whole run $(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s" >&2
if [ "$status" -ne 0 ] || [ "$debug" = 1 ]; then
    echo "real-daemons: console and daemon logs kept in $run" >&2
    [ "$status" -ne 0 ] && [ -f "$run/guest.log" ] && tail -n 30 "$run/guest.log" >&2
else
    rm -rf "$run"
fi
exit "$status"
