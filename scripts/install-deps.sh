#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need, but only
# when one of them is missing, so a second run costs nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config python3 zip
  libgtest-dev libgmock-dev libbenchmark-dev
  libonig-dev zlib1g-dev libassimp-dev assimp-testmodels nlohmann-json3-dev
  assimp-utils
  clang libclang-rt-dev
  blender python3-numpy
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
