#!/usr/bin/env bash
# Installs the Debian packages the build, tests, demo and benchmarks need, when missing, and
# any further packages named as arguments (`make fuzz` adds clang).
# Safe to run repeatedly: it only calls apt-get when something is absent.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libicu-dev libsqlite3-dev libcurl4-openssl-dev libx11-dev libcli11-dev
  xvfb
  zlib1g-dev liblz4-dev libzstd-dev libssl-dev
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
