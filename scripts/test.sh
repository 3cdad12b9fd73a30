#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test: the Linux suite,
# the Windows build under Wine, the suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a minute of fuzzing for each fuzz target.
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

cmake --preset asan >/dev/null
cmake --build --preset asan -j"$(nproc)"
ctest --preset asan -j"$(nproc)"

scripts/fuzz.sh "${GLOWREEL_FUZZ_SECONDS:-60}"
