#!/bin/bash
# Installs what is missing, builds, checks the API reference, and runs every
# test; then builds everything again with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the suite and the demo's tour under them
# (scripts/sanitize.sh). OVRIN_SANITIZE_RUN=0 leaves the second pass out.
# Each test executable brings up its own private buses and simulator, so
# tests run in parallel.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh "$@"
build_dir="${OVRIN_BUILD_DIR:-build}"
# The API reference takes seconds; a doc warning fails the run like a test.
cmake --build "$build_dir" --target ovrin-apidocs
ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)"
if [ "${OVRIN_SANITIZE_RUN:-1}" != 0 ]; then
    bash scripts/sanitize.sh
fi
