#!/usr/bin/env bash
# Runs the CTest suite of one build directory. Tests that need an X display get a
# private Xvfb server on a free display number, stopped when the run ends.
# -noreset: the server would otherwise reset each time its last client leaves, and a test that
# connects during the reset fails to open the display.
set -euo pipefail
build=${1:?usage: run-tests.sh BUILD_DIR}

xvfb_pid=
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT

if command -v Xvfb >/dev/null 2>&1; then
  for n in $(seq 90 140); do
    [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ] && continue
    Xvfb ":$n" -screen 0 640x480x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${n}" ] && break; sleep 0.1; done
    if kill -0 "$xvfb_pid" 2>/dev/null; then export NARWICK_TEST_DISPLAY=":$n"; break; fi
    xvfb_pid=
  done
fi

ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300
