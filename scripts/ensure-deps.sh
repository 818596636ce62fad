#!/bin/bash
# Installs the Debian packages that building, testing and the demo need, when
# any is missing. Safe to run again: installed packages are left alone.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config          # build tools
    qt6-base-dev qt6-base-dev-tools           # Qt Core, Gui, Widgets, DBus, Test
    qt6-qpa-plugins                           # the demo's window on X11 or Wayland
    qt6-tools-dev qt6-l10n-tools              # Qt LinguistTools (lrelease)
    libgconf2-dev gconf2                      # GConf client library and gconfd-2
    dbus-daemon                               # private buses for tests and the demo
    libdbus-1-dev                             # the benchmarks' bus monitor
    shared-mime-info                          # MIME types through QMimeDatabase
    doxygen                                   # the API reference (ovrin-apidocs)
    python3-dbusmock                          # an outside BlueZ 5 for one test
    # The genuine daemons in a throw-away guest (scripts/real-daemons.sh)
    qemu-system-x86 busybox-static cpio xz-utils kmod
    bluez bluez-obexd bluez-test-tools        # bluetoothd, obexd 5, btvirt
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
    # A fresh machine may have stale or no package lists.
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
