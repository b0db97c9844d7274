#!/usr/bin/env bash
# Static checks of the product code: clang-tidy with the checks of .clang-tidy over every
# source file of brix, kiln, the plug-in, the stand-in host, the command-line host and the
# engine reader, as the release build compiles them (its compile_commands.json), and
# clang-format's check that every file of the tree is formatted as .clang-format says.
# Exits 1 on any finding.
# usage: scripts/lint.sh [BUILD_DIR=build]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
if [ ! -f "$build/compile_commands.json" ]; then
  echo "lint: $build/compile_commands.json is missing; configure the build first (scripts/build.sh $build)" >&2
  exit 1
fi
status=0

mapfile -t sources < <(git ls-files 'brix/*.cpp' 'kiln/*.cpp' 'plugin/*.cpp' 'host/*.cpp' 'tools/*.cpp' |
  grep -v '/Windows/\|WindowsKernel')
echo "lint: clang-tidy over ${#sources[@]} files"
if ! printf '%s\n' "${sources[@]}" |
    xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet 2>/dev/null >"$build/clang-tidy.log"; then
  status=1
fi
if grep -q "error:" "$build/clang-tidy.log"; then
  grep -A3 "error:" "$build/clang-tidy.log" >&2
  status=1
fi

mapfile -t formatted < <(git ls-files '*.cpp' '*.h' '*.c')
if ! clang-format --dry-run -Werror "${formatted[@]}" 2>"$build/clang-format.log"; then
  echo "lint: files not formatted as .clang-format says (clang-format -i FILE):" >&2
  grep -o '^[^:]*' "$build/clang-format.log" | sort -u >&2
  status=1
fi
[ "$status" = 0 ] && echo "lint: clean"
exit "$status"
