#!/bin/bash
# Configures and builds everything into build/ (or $OVRIN_BUILD_DIR); with
# OVRIN_BUILD_TARGET set, only those targets (separated by spaces) and what
# they need.
# Extra arguments go to CMake's configure step, e.g. -DOVRIN_SANITIZE=ON.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-deps.sh

build_dir="${OVRIN_BUILD_DIR:-build}"
generator=()
if [ ! -f "$build_dir/CMakeCache.txt" ] && command -v ninja >/dev/null; then
    generator=(-G Ninja)
fi
target=()
if [ -n "${OVRIN_BUILD_TARGET:-}" ]; then
    read -r -a names <<<"$OVRIN_BUILD_TARGET"
    target=(--target "${names[@]}")
fi
cmake -S . -B "$build_dir" "${generator[@]}" "$@" >/dev/null
cmake --build "$build_dir" "${target[@]}" --parallel "$(nproc)"
