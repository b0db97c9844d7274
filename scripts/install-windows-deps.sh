#!/usr/bin/env bash
# Installs the Debian packages of the Windows cross build and its tests, but only when
# one of them is missing: MinGW-w64 (the POSIX-threads compilers), Wine to run the
# tests, GoogleTest's sources (/usr/src/googletest) and zlib built for MinGW.
set -euo pipefail

packages=(
  cmake ninja-build pkg-config dpkg-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 googletest libz-mingw-w64-dev
)

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
