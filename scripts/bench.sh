#!/bin/bash
# Builds and runs every benchmark (benchmarks/), each on its own private buses
# with the simulator, prints their figures as one table with the floor or
# baseline of each beside it, and writes the same, with the machine, the date
# and what each figure means, to docs/performance.md. A benchmark that fails
# is reported and makes the script fail after the others have run (the page
# is then not rewritten). Configure arguments go to CMake, e.g.
# -DCMAKE_BUILD_TYPE=Release.
set -euo pipefail
cd "$(dirname "$0")/.."
OVRIN_BUILD_TARGET=ovrin-benchmarks bash scripts/build.sh "$@"
build_dir="${OVRIN_BUILD_DIR:-build}"

figures="$(mktemp)"
explanations="$(mktemp)"
trap 'rm -f "$figures" "$explanations"' EXIT
status=0
# Every benchmark against BlueZ 4 and then BlueZ 5, each with its own obexd
# (the simulator plays either);
# each figure is named with the dialect it was measured on.
for bluez in 4 5; do
    for bench in "$build_dir"/benchmarks/bench_*; do
        [ -f "$bench" ] && [ -x "$bench" ] || continue
        name="$(basename "$bench")"
        echo "running $name on BlueZ $bluez ..." >&2
        output="$(mktemp)"
        if ! OVRIN_BLUEZ="$bluez" OVRIN_OBEXD="$bluez" "$bench" >"$output"; then
            echo "$name failed on BlueZ $bluez" >&2
            status=1
        fi
        # Lines: "figure<TAB>value<TAB>unit<TAB>floor<TAB>note" or "about<TAB>title<TAB>text".
        grep -v $'^about\t' "$output" | sed "s/^/$name\tBlueZ $bluez: /" >>"$figures" || true
        if [ "$bluez" = 4 ]; then
            grep $'^about\t' "$output" | cut -f2- >>"$explanations" || true
        fi
        rm -f "$output"
    done
done

echo
{
    printf 'benchmark\tfigure\tvalue\tunit\tfloor / baseline\tnote\n'
    cat "$figures"
} | column -t -s $'\t'

[ "$status" -eq 0 ] || exit "$status"

cpu="$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
page=docs/performance.md
mkdir -p docs
{
    echo "# Performance"
    echo
    echo "Written by \`bash scripts/bench.sh\`, which builds and runs every benchmark in"
    echo "\`benchmarks/\` on private buses with the simulator (btsim) as BlueZ and obexd."
    echo "Each figure stands beside its floor (the least the same work can cost) or its"
    echo "baseline (the same work done the plainest way, measured in the same run)."
    echo
    echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "- Machine: ${cpu:-unknown CPU}, $(nproc) cores, $(uname -sr)"
    echo "- Build: $(grep -m1 '^CMAKE_BUILD_TYPE:' "$build_dir/CMakeCache.txt" | cut -d= -f2)"
    echo
    echo "| benchmark | figure | value | unit | floor / baseline | note |"
    echo "|---|---|---:|---|---|---|"
    sed 's/|/\\|/g; s/\t/ | /g; s/^/| /; s/$/ |/' "$figures"
    echo
    echo "## Goals not met"
    echo
    if grep -q 'goal MISSED' "$figures"; then
        echo "Why, and what meeting them would take, is told with each figure below."
        echo
        grep 'goal MISSED' "$figures" | cut -f2 | sed 's/^/- /'
    else
        echo "None: every goal is met."
    fi
    echo
    echo "## What the figures mean"
    while IFS=$'\t' read -r title text; do
        echo
        echo "**$title.** $text"
    done <"$explanations"
    # The genuine daemons' figures come from the real stage, not from here.
    echo
    echo "## On the genuine bluetoothd and obexd"
    echo
    echo "Measured in the guest of scripts/real-daemons.sh by tests/real (docs/real-daemons.md):"
    sed -n '/^## Figures/,/^## /{/^## /d;p}' docs/real-daemons.md
} >"$page"
echo "wrote $page" >&2
