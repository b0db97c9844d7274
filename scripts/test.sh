#!/usr/bin/env bash
# Builds everything and runs the whole test suite twice: once in the normal build, once
# in a build with AddressSanitizer and UndefinedBehaviorSanitizer; compiler warnings
# fail both builds. Then runs each fuzz target for 60 seconds (scripts/fuzz.sh), and
# cross-builds the Windows programs and runs their tests under Wine
# (TESSALINE_SKIP_WINDOWS=1 leaves that step out).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

scripts/build.sh build -DTESSALINE_WERROR=ON
(cd build && ctest --output-on-failure --parallel "$(nproc)")

scripts/build.sh build-asan -DTESSALINE_SANITIZE=ON -DTESSALINE_WERROR=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure --parallel "$(nproc)")

scripts/fuzz.sh all 60

if [ "${TESSALINE_SKIP_WINDOWS:-0}" != 1 ]; then
  scripts/test-windows.sh
fi
