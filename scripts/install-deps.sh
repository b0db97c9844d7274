#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need, but only
# when one of them is missing, so a second run costs nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config python3 zip
  libgtest-dev libgmock-dev libbenchmark-dev
  libonig-dev zlib1g-dev libassimp-dev assimp-testmodels nlohmann-json3-dev
  assimp-utils
  clang libclang-rt-dev clang-tidy clang-format
  blender python3-numpy nodejs
)

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive

# The Khronos glTF Validator, from the npm registry at the version package-lock.json pins.
# npm comes with some builds of nodejs; Debian's own nodejs needs its npm package.
install_validator() {
  local folder
  folder="$(dirname "$0")/../tests/dcc/validator"
  [ -d "$folder/node_modules/gltf-validator" ] && return 0
  if ! command -v npm >/dev/null; then
    "${as_root[@]}" apt-get update
    "${as_root[@]}" apt-get install -y --no-install-recommends npm
  fi
  (cd "$folder" && npm ci --no-audit --no-fund)
}

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  install_validator
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
install_validator
