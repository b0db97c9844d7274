#!/usr/bin/env bash
# Installs the Debian packages of the Windows cross build and its tests, but only when
# one of them is missing: MinGW-w64 (the POSIX-threads compilers), Wine to run the
# tests, GoogleTest's sources (/usr/src/googletest) and zlib built for MinGW. 32-bit Wine
# (wine32, an i386 package) is installed too where the machine can take i386 packages;
# without it the 32-bit programs are built but not run.
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
want_wine32=false
dpkg -s wine32:i386 >/dev/null 2>&1 || want_wine32=true
[ ${#missing[@]} -eq 0 ] && [ "$want_wine32" = false ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
if [ "$want_wine32" = true ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386 || want_wine32=false
fi
"${as_root[@]}" apt-get update
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
# Some kernels (and virtual machines) cannot run 32-bit programs at all: try the i386 C
# library's loader, unpacked from its package, before fetching the ~150 MB of wine32.
if [ "$want_wine32" = true ]; then
  probe=$(mktemp -d)
  if ! (cd "$probe" && apt-get download libc6:i386 >/dev/null 2>&1 &&
        dpkg-deb -x libc6_*_i386.deb root && root/lib/i386-linux-gnu/ld-linux.so.2 --version >/dev/null 2>&1); then
    echo "This machine cannot run 32-bit programs: 32-bit Wine is not installed"
    want_wine32=false
  fi
  rm -rf "$probe"
fi
if [ "$want_wine32" = true ]; then
  echo "Installing 32-bit Wine (wine32:i386)"
  "${as_root[@]}" apt-get install -y --no-install-recommends wine32:i386 ||
    echo "32-bit Wine could not be installed: the 32-bit programs will be built but not run"
fi
