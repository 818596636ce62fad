#!/bin/bash
# Installs what is missing, builds, then starts the simulator with its default
# scenario on private buses and shows, by asking it over D-Bus, what it offers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build_dir="${OVRIN_BUILD_DIR:-build}"
exec "$build_dir/simulator/btsim" --private-buses -- "$build_dir/simulator/btinspect"
