#!/bin/bash
# Builds and runs every benchmark (benchmarks/), each on its own private buses
# with the simulator, and prints their figures as one table. A benchmark that
# fails is reported and makes the script fail after the others have run.
# Configure arguments go to CMake, e.g. -DCMAKE_BUILD_TYPE=Release.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-deps.sh

build_dir="${OVRIN_BUILD_DIR:-build}"
generator=()
if [ ! -f "$build_dir/CMakeCache.txt" ] && command -v ninja >/dev/null; then
    generator=(-G Ninja)
fi
cmake -S . -B "$build_dir" "${generator[@]}" "$@" >/dev/null
cmake --build "$build_dir" --target ovrin-benchmarks --parallel "$(nproc)"

results="$(mktemp)"
trap 'rm -f "$results"' EXIT
status=0
for bench in "$build_dir"/benchmarks/bench_*; do
    [ -f "$bench" ] && [ -x "$bench" ] || continue
    name="$(basename "$bench")"
    echo "running $name ..." >&2
    if ! "$bench" | sed "s/^/$name\t/" >>"$results"; then
        echo "$name failed" >&2
        status=1
    fi
done

echo
{
    printf 'benchmark\tfigure\tvalue\tunit\tnote\n'
    cat "$results"
} | column -t -s $'\t'
exit "$status"
