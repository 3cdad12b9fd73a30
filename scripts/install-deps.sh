#!/usr/bin/env bash
# Installs what glowreel needs on Debian: "build" for the program alone,
# "test" for everything the test suite uses as well.
set -euo pipefail
what=${1:-build}
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
packages=(cmake g++ make pkg-config libgif-dev libpng-dev)
if [ "$what" = test ]; then
  packages+=(googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
