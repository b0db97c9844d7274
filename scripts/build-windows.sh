#!/usr/bin/env bash
# Cross-compiles the Windows build with Debian's MinGW-w64 compilers.
#   scripts/build-windows.sh [--module] [x86_64|i686]...   (default: both)
# For each architecture, in build-windows/ARCH/: the plug-in module TessalineExporter.mll
# (in bin/), the stand-in host tessahost.dll, and the brix, kiln, plug-in and module test
# programs. Oniguruma and GoogleTest, which Debian ships for Linux only, are built for the
# target first, from sources that Debian packages carry (see fetch_oniguruma below), into
# build-windows/ARCH/deps/. Run scripts/test-windows.sh afterwards to run the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-windows-deps.sh

root=$PWD
out=$root/build-windows
jobs=${TESSALINE_JOBS:-2}
# --module builds only the plug-in module and the stand-in host (no test programs).
targets=(TessalineExporter tessahost brix_tests kiln_tests plugin_tests tools_tests)
if [ "${1:-}" = --module ]; then targets=(TessalineExporter tessahost); shift; fi
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(x86_64 i686)

# Oniguruma's sources: Debian's source package when deb-src lines are configured;
# otherwise the copy of the same release (6.9.8, as libonig-dev) that Debian's package of
# the Rust binding crate installs under /usr/share/cargo/registry. The .deb is fetched
# with apt-get and unpacked into the build folder, not installed.
fetch_oniguruma() {
  local dest=$out/sources/oniguruma
  [ -f "$dest/CMakeLists.txt" ] && return 0
  local work=$out/sources/fetch
  rm -rf "$work" "$dest"
  mkdir -p "$work"
  if (cd "$work" && apt-get source --download-only libonig >/dev/null 2>&1); then
    (cd "$work" && dpkg-source -x libonig_*.dsc src >/dev/null)
    mv "$work/src" "$dest"
  else
    # A stale package list may not know the current version: refresh it once.
    (cd "$work" && { apt-get download librust-onig-sys-dev >/dev/null 2>&1 ||
                     { apt-get update >/dev/null && apt-get download librust-onig-sys-dev >/dev/null; }; })
    dpkg-deb -x "$work"/librust-onig-sys-dev_*.deb "$work/root"
    mv "$work"/root/usr/share/cargo/registry/onig_sys-*/oniguruma "$dest"
  fi
  rm -rf "$work"
}

# configure_and_install NAME SOURCE ARCH [cmake arguments]: a dependency built once per
# architecture into its deps prefix.
build_dependency() {
  local name=$1 source=$2 arch=$3; shift 3
  local prefix=$out/$arch/deps
  [ -f "$prefix/.$name-built" ] && return 0
  cmake -S "$source" -B "$out/$arch/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$arch.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@" >/dev/null
  cmake --build "$out/$arch/$name" --parallel "$jobs" >/dev/null
  cmake --install "$out/$arch/$name" >/dev/null
  touch "$prefix/.$name-built"
}

fetch_oniguruma
for arch in "${arches[@]}"; do
  case "$arch" in x86_64|i686) ;; *) echo "unknown architecture: $arch" >&2; exit 2 ;; esac
  echo "== Windows $arch"
  export TESSALINE_WINDOWS_DEPS=$out/$arch/deps
  build_dependency oniguruma "$out/sources/oniguruma" "$arch" \
    -DINSTALL_DOCUMENTATION=OFF -DINSTALL_EXAMPLES=OFF
  build_dependency googletest /usr/src/googletest "$arch" -DBUILD_GMOCK=OFF
  cmake -S . -B "$out/$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$arch.cmake" \
    -DTESSALINE_TOOLS=OFF -DTESSALINE_BENCH=OFF \
    -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$out/$arch/bin" -DCMAKE_LIBRARY_OUTPUT_DIRECTORY="$out/$arch/bin" \
    -DTESSALINE_TEST_LAYERS="brix;kiln;plugin;tools" >/dev/null
  cmake --build "$out/$arch" --parallel "$jobs" --target "${targets[@]}"
done
