#!/usr/bin/env bash
# make bench: runs every benchmark of a build, one after the other (each prints its table).
# Pass --quick through for smaller inputs.
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR [--quick]}
shift
for bench in lz_bench huffman_bench file_bench rc4_bench list_bench collections_bench; do
  binary="$build/bench/$bench"
  [ -x "$binary" ] || { echo "($bench not built)"; continue; }
  echo "== $bench"
  "$binary" "$@"
  echo
done
