#!/usr/bin/env bash
# make demo: the late-bound tour, then the file jobs of the command-line tool on the bundled
# sample data, each checked to restore the original bytes.
set -euo pipefail
build=${1:?usage: demo.sh BUILD_DIR}
narwick="$build/tools/narwick/narwick"
"$build/examples/narwick_tour"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sample=testdata/samples/sample.txt

has() { "$narwick" --help 2>/dev/null | grep -qE "^  $1 "; }

echo
echo "== narwick on $sample ($(wc -c < "$sample") bytes)"
for codec in lz huffman; do
  if ! has "$codec"; then echo "  ($codec command not available in this build)"; continue; fi
  "$narwick" "$codec" compress --quiet "$sample" "$work/sample.$codec"
  "$narwick" "$codec" decompress --quiet "$work/sample.$codec" "$work/sample.$codec.out"
  cmp -s "$sample" "$work/sample.$codec.out" && verdict="bytes restored" || verdict="MISMATCH"
  printf '  %-8s %8d -> %8d bytes (%s)\n' "$codec" "$(wc -c < "$sample")" "$(wc -c < "$work/sample.$codec")" "$verdict"
  [ "$verdict" = "bytes restored" ]
done
if has case; then
  echo
  echo "== narwick case on testdata/samples/addresses.txt"
  "$narwick" case < testdata/samples/addresses.txt | sed 's/^/  /'
fi
