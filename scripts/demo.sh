#!/bin/bash
# The main job: installs what is missing, builds the demo, and runs it. With a
# display the demo window opens; without one the scripted tour runs offscreen
# and leaves a picture per step and transcript.txt in build/demo-tour/ (the
# script fails if a step of the tour failed). Arguments go to the demo
# (--help lists them).
set -euo pipefail
cd "$(dirname "$0")/.."
OVRIN_BUILD_TARGET=ovrin-bt-demo bash scripts/build.sh
build_dir="${OVRIN_BUILD_DIR:-build}"
arguments=("$@")
if [ ${#arguments[@]} -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    arguments=(--tour "$build_dir/demo-tour")
fi
exec "$build_dir/demo/ovrin-bt-demo" "${arguments[@]}"
