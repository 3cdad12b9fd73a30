#!/usr/bin/env bash
# Builds glowreel and plays the demo animation on the emulated display in
# this terminal. Set GLOWREEL_PORT to play it elsewhere (see README.md).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake --preset default -DGLOWREEL_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target glowreel
cd examples
GLOWREEL_PORT=${GLOWREEL_PORT:-screen} ../build/glowreel ani.txt
echo
