#!/usr/bin/env bash
# Runs the tests of the threaded code from a ThreadSanitizer build. Kernels that randomize
# addresses over more bits than this compiler's TSan runtime knows make it stop at random
# with "unexpected memory mapping" before any test runs; there the run is reported as not
# possible and skipped, as the X tests are without a display. Five tries of a test program
# tell such a kernel apart (each try fails about two times in three there). Any other failure
# fails.
set -euo pipefail
build=${1:?usage: run-thread-tests.sh BUILD_DIR TEST_REGEX}
pattern=${2:?usage: run-thread-tests.sh BUILD_DIR TEST_REGEX}

for _ in 1 2 3 4 5; do
  probe=$("$build/src/compress/common/compress_common_test" --gtest_list_tests 2>&1 >/dev/null || true)
  if grep -q "ThreadSanitizer: unexpected memory mapping" <<<"$probe"; then
    echo "run-thread-tests: ThreadSanitizer cannot run on this kernel's memory layout; thread tests skipped" >&2
    exit 0
  fi
done

ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300 -R "$pattern"
