#!/bin/bash
# Installs a build into a temporary prefix and proves an application can use
# it from there: built through the CMake package and through pkg-config, each
# run on private buses with the installed btsim.
# Arguments: BUILD_DIR CONSUMER_SOURCE_DIR CMAKE_GENERATOR CXX_COMPILER LIBDIR
set -euo pipefail
build_dir="$1"
consumer_source="$2"
generator="$3"
compiler="$4"
libdir="$5"

work="$(mktemp -d /tmp/ovrin-pack.XXXXXX)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

started_ms=$(($(date +%s%N) / 1000000))
step() { printf '%-26s at %6d ms\n' "$1" $(($(date +%s%N) / 1000000 - started_ms)); }
# Runs a command with its output in a log that is shown only if it fails.
quietly() {
    local log="$work/$1.log"
    shift
    "$@" >"$log" 2>&1 || { cat "$log"; return 1; }
}

quietly install cmake --install "$build_dir" --prefix "$prefix"
step "installed"

# Through the CMake package: only the prefix is known, nothing of the build.
quietly configure cmake -S "$consumer_source" -B "$work/cmake-build" -G "$generator" \
    -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_PREFIX_PATH="$prefix"
quietly build cmake --build "$work/cmake-build" --parallel 2
step "built with find_package"

# Through pkg-config. Qt is built with reduced relocations, so -fPIC.
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
pc_flags="$(pkg-config --cflags --libs ovrin-bluetooth)"
# shellcheck disable=SC2086
"$compiler" -std=c++17 -fPIC "$consumer_source/main.cpp" $pc_flags -o "$work/consumer-pc"
step "built with pkg-config"

# The consumers' world: a home of their own, no display, and the simulator.
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
mkdir -p "$HOME" && mkdir -m 0700 "$XDG_RUNTIME_DIR"
unset LD_LIBRARY_PATH
"$prefix/bin/btsim" --private-buses -- "$work/cmake-build/ovrin-consumer" "$prefix"
step "ran find_package consumer"
LD_LIBRARY_PATH="$prefix/$libdir" "$prefix/bin/btsim" --private-buses -- "$work/consumer-pc" "$prefix"
step "ran pkg-config consumer"
