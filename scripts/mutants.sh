#!/bin/bash
# Deliberate faults: applies each fault of scripts/mutants/*.txt on its own,
# rebuilds, runs the suites of the folders the fault names, restores the
# file, and prints caught or missed per fault and the totals.
#   scripts/mutants.sh              every fault
#   scripts/mutants.sh ID...        only these (e.g. bluez-3 obex-1)
#   scripts/mutants.sh --check      only check that each fault's text is found
# The faults are built into build-mutants/ (or $OVRIN_MUTANTS_DIR), without
# optimisation and without relinking the programs when only the library
# changed, so a fault costs seconds to build. Results also go to
# <build dir>/mutants-result.txt. While it runs, each fault sits in the
# sources in its turn: build nothing else from this checkout meanwhile.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${OVRIN_MUTANTS_DIR:-build-mutants}"
if [ "${1:-}" = --check ]; then
    exec python3 scripts/mutants/run.py --check
fi
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
OVRIN_BUILD_DIR="$build_dir" bash scripts/build.sh -DOVRIN_BUILD_BENCHMARKS=OFF \
    -DCMAKE_BUILD_TYPE=None -DCMAKE_LINK_DEPENDS_NO_SHARED=ON "${launcher[@]}"
exec python3 scripts/mutants/run.py --build-dir "$build_dir" "$@"
