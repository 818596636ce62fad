#!/bin/bash
# The long reliability runs, with their full counts: org.bluez leaving and
# coming back 100 times during discovery, pairing and an audio connect, the
# obexd daemons 50 times during a push and a send (CTest runs 5 of each),
# 100 000 lies from the daemons (CTest: 10 000), and the memory of 20 adapter
# handles, 5 device models and 1000 devices through 10 power cycles, 30 rounds
# (CTest: 5), judged by the median growth of one round in blocks and bytes in
# use; each against BlueZ 4 and then BlueZ 5. Figures go to the terminal;
# docs/reliability.md keeps them.
# Configure arguments go to CMake, e.g. -DOVRIN_SANITIZE=ON.
set -euo pipefail
cd "$(dirname "$0")/.."
OVRIN_BUILD_TARGET="tst_daemonrestarts tst_daemonlies loadmemory" bash scripts/build.sh "$@"
build_dir="${OVRIN_BUILD_DIR:-build}"

status=0
for bluez in 4 5; do
    export OVRIN_BLUEZ="$bluez" OVRIN_OBEXD="$bluez"
    echo "== BlueZ $bluez (with its obexd): daemon restarts" >&2
    if ! OVRIN_BLUEZ_RESTARTS="${OVRIN_BLUEZ_RESTARTS:-100}" OVRIN_OBEXD_RESTARTS="${OVRIN_OBEXD_RESTARTS:-50}" \
        "$build_dir/tests/reliability/tst_daemonrestarts"; then
        status=1
    fi
    echo "== BlueZ $bluez: lies from the daemons" >&2
    if ! OVRIN_LIE_BATCHES="${OVRIN_LIE_BATCHES:-200}" "$build_dir/tests/reliability/tst_daemonlies"; then
        status=1
    fi
    echo "== BlueZ $bluez: memory under load" >&2
    if ! OVRIN_LOAD_ROUNDS="${OVRIN_LOAD_ROUNDS:-30}" "$build_dir/tests/reliability/loadmemory" | column -t -s $'\t'; then
        status=1
    fi
done
exit "$status"
