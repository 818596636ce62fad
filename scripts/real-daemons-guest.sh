#!/bin/bash
# The guest side of scripts/real-daemons.sh, run as the guest's first process
# on the host's root (read-only, under a tmpfs overlay). Brings up two emulated
# controllers, the system bus with bluetoothd and a session bus with obexd,
# runs the command the host wrote into the run folder, and powers off.
# Everything it writes for the host goes into the run folder (a 9p share).
set -u
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
run="$ovrin_run"
output="$ovrin_output"

power_off() {
    dmesg >"$run/dmesg.log" 2>&1
    sync
    busybox poweroff -f
}

mkdir -p "$run" && mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 run "$run" || power_off
exec >>"$run/guest.log" 2>&1
log() { echo "$(cut -d' ' -f1 /proc/uptime) $*"; }
fail() {
    log "guest: $*"
    echo "real-daemons guest: $*" >>"$run/stderr"
    echo 125 >"$run/status"
    power_off
}
log "guest: started"

# The overlay is writable already; these only must start empty. The build
# folder may lie anywhere (under /tmp too), so nothing else is mounted over.
for folder in /run /var/lib/bluetooth /dev/shm; do
    mkdir -p "$folder" && mount -t tmpfs tmpfs "$folder" || fail "cannot mount $folder"
done
if [ "$output" != "$run/output" ]; then
    mkdir -p "$output" && mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 output "$output" \
        || fail "cannot mount the output folder"
fi
mkdir -p /dev/pts /lib/modules && mount -t devpts devpts /dev/pts
mount --bind "$ovrin_modules" /lib/modules || fail "cannot mount the kernel's modules"
debug=""
[ "$(cat "$run/debug")" = 1 ] && debug="-d"

# The crypto modules first: btvirt opens crypto sockets while it makes each
# controller, and loading them on demand under emulation made hci0 miss its
# reset deadline.
modprobe -a bluetooth hci_vhci rfcomm bnep af_alg algif_hash algif_skcipher cmac ecb \
    || fail "cannot load the Bluetooth modules"

controller_address() {
    hciconfig "$1" 2>/dev/null | awk '/BD Address/ { print $3 }'
}

controllers_up() {
    local hci address
    for hci in hci0 hci1; do
        address="$(controller_address "$hci")"
        [ -n "$address" ] && [ "$address" != "00:00:00:00:00:00" ] || return 1
    done
}

start_controllers() {
    local attempt tick
    for attempt in 1 2 3; do
        btvirt -l2 >>"$run/btvirt.log" 2>&1 &
        btvirt_pid=$!
        for tick in $(seq 100); do
            controllers_up && return 0
            sleep 0.2
        done
        log "guest: controllers not up (attempt $attempt)"
        kill "$btvirt_pid"
        wait "$btvirt_pid"
        sleep 1
    done
    return 1
}
start_controllers || fail "btvirt made no two controllers"
log "guest: controllers $(controller_address hci0) $(controller_address hci1)"

mkdir -p /run/dbus
dbus-daemon --system --fork || fail "cannot start the system bus"
# Started so that the log tells how the daemon ended, if it did.
run_daemon() {
    local log="$1"
    shift
    ("$@" >>"$log" 2>&1; status=$?; echo "$(basename "$1") ended with status $status" >>"$log") &
}
run_daemon "$run/bluetoothd.log" /usr/libexec/bluetooth/bluetoothd -n $debug

adapters_on_bus() {
    dbus-send --system --print-reply --dest=org.bluez / org.freedesktop.DBus.ObjectManager.GetManagedObjects \
        2>/dev/null | grep -c 'object path "/org/bluez/hci[0-9]*"$'
}
for tick in $(seq 150); do
    [ "$(adapters_on_bus)" = 2 ] && break
    sleep 0.2
done
[ "$(adapters_on_bus)" = 2 ] || fail "bluetoothd shows no two adapters"

# The session bus knows only GConf's service; obexd runs already.
mkdir -p /run/session/services /run/user/0
chmod 700 /run/user/0
cp /usr/share/dbus-1/services/org.gnome.GConf.service /run/session/services/ 2>/dev/null
cat >/run/session/session.conf <<'CONF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=/run/session/bus</listen>
  <auth>EXTERNAL</auth>
  <servicedir>/run/session/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
dbus-daemon --config-file=/run/session/session.conf --fork || fail "cannot start the session bus"
export DBUS_SESSION_BUS_ADDRESS=unix:path=/run/session/bus
export HOME=/run/home XDG_RUNTIME_DIR=/run/user/0 XDG_CACHE_HOME=/run/home/.cache
export XDG_CONFIG_HOME=/run/home/.config XDG_DATA_HOME=/run/home/.local/share
export QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_CACHE_HOME/obexd" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
run_daemon "$run/obexd.log" /usr/libexec/bluetooth/obexd -n $debug -r "$XDG_CACHE_HOME/obexd"
for tick in $(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
        string:org.bluez.obex 2>/dev/null | grep -q 'boolean true' && break
    sleep 0.1
done
# With -d, every message on both buses goes into the run folder too.
if [ -n "$debug" ]; then
    dbus-monitor --system >"$run/system-bus.log" 2>&1 &
    dbus-monitor --session >"$run/session-bus.log" 2>&1 &
fi
cut -d' ' -f1 /proc/uptime >"$run/ready"
log "guest: ready"

# What the command may want to know of the guest.
export OVRIN_REAL_DAEMONS=1
export OVRIN_REAL_BLUETOOTHD_LOG="$run/bluetoothd.log" OVRIN_REAL_OBEXD_LOG="$run/obexd.log"
export OVRIN_REAL_OBEXD_ROOT="$XDG_CACHE_HOME/obexd"
bash "$run/command.sh" >"$run/stdout" 2>"$run/stderr"
echo $? >"$run/status.part"
mv "$run/status.part" "$run/status"
log "guest: command ended with $(cat "$run/status")"
power_off
