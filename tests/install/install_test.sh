#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds a small program against it twice:
# through the CMake package (find_package(Narwick)) and through pkg-config (narwick.pc).
set -euo pipefail
build=${1:?usage: install_test.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir=$(ls -d "$work/prefix"/lib*/ | head -n 1)

cmake -S "$here" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
LD_LIBRARY_PATH="$libdir" "$work/cmake-build/consumer"

export PKG_CONFIG_PATH="$libdir/pkgconfig"
# shellcheck disable=SC2046
g++ -o "$work/pc-consumer" "$here/consumer.cc" $(pkg-config --cflags --libs narwick)
LD_LIBRARY_PATH="$libdir" "$work/pc-consumer"
