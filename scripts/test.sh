#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
cmake --preset default -DGLOWREEL_TESTS=ON >/dev/null
cmake --build build -j"$(nproc)"
ctest --preset default -j"$(nproc)"
