#!/bin/bash
# Pictures of the screens for people to look at: the demo's tour into
# build/gallery/tour/ and every other screen state (ovrin-bt-gallery) into
# build/gallery/. Both run offscreen in simulated worlds of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${OVRIN_BUILD_DIR:-build}"
OVRIN_BUILD_TARGET="ovrin-bt-demo ovrin-bt-gallery" bash scripts/build.sh "$@"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$build_dir/gallery"
"$build_dir/demo/ovrin-bt-demo" --tour "$build_dir/gallery/tour"
"$build_dir/demo/gallery/ovrin-bt-gallery" "$build_dir/gallery"
