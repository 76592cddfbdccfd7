#!/usr/bin/env bash
# Coverage-guided fuzzing of every fuzz target (or those named) with libFuzzer, under ASan and
# UBSan (clang's, which also reports pointer arithmetic that wraps), each for SECONDS on a copy
# of its saved corpus. Findings and logs go to BUILD/findings/<target>/; new inputs worth
# keeping can be copied into fuzz/corpus/<target>/, which CTest replays.
#   scripts/fuzz.sh [--seconds N] [--build DIR] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
build=build-fuzz
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=${2:?--seconds needs a number}; shift 2 ;;
    --build) build=${2:?--build needs a folder}; shift 2 ;;
    -h|--help) sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz.sh: libFuzzer needs clang (make fuzz installs it)" >&2
  exit 2
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/*_fuzz.cc; do targets+=("$(basename "$source" _fuzz.cc)"); done
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DNARWICK_LIBFUZZER=ON \
  -DNARWICK_SANITIZE=address,undefined -DNARWICK_BUILD_TESTS=OFF -DNARWICK_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/%/_fuzz}"

status=0
for target in "${targets[@]}"; do
  work="$build/findings/$target"
  mkdir -p "$work/corpus"
  cp -n fuzz/corpus/"$target"/* "$work/corpus/" 2>/dev/null || true
  echo "fuzz.sh: $target for ${seconds} s" >&2
  if "$build/fuzz/${target}_fuzz" "$work/corpus" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
      -artifact_prefix="$work/" -print_final_stats=1 >"$work/log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    echo "$target: no finding in ${runs:-?} runs"
  else
    echo "$target: FINDING, see $work/log and the crash-, leak- or timeout- file beside it"
    status=1
  fi
done
exit $status
