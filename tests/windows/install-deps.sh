#!/bin/sh
# Installs what the Windows build and its Wine tests (tests/windows/run.sh)
# need on a fresh Debian 12 machine, as root: CMake, the 32-bit mingw-w64
# cross compiler and 32-bit Wine.
#
# Some virtual machines cannot run 32-bit code at all, so neither can 32-bit
# Wine; there the 64-bit compiler and 64-bit Wine come too, and run.sh tests
# a 64-bit build of the same sources.
set -eu
export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture i386
apt-get update -q
apt-get install -y -q --no-install-recommends cmake make perl g++-mingw-w64-i686-posix wine wine32:i386
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "this machine cannot run 32-bit programs: adding 64-bit Wine and mingw-w64"
  apt-get install -y -q --no-install-recommends g++-mingw-w64-x86-64-posix wine64
fi
