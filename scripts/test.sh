#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test: the Linux suite,
# then the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

scripts/install-deps.sh test
$sudo tests/windows/install-deps.sh

cmake --preset default -DGLOWREEL_TESTS=ON >/dev/null
cmake --build build -j"$(nproc)"
ctest --preset default -j"$(nproc)"

tests/windows/run.sh
