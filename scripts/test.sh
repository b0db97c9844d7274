#!/usr/bin/env bash
# Builds everything, checks the product code with clang-tidy and the formatting of the
# whole tree (scripts/lint.sh), and runs the whole test suite twice: once in the normal build, once
# in a build with AddressSanitizer and UndefinedBehaviorSanitizer; compiler warnings
# fail both builds. The tests of code that runs on several threads (the rig reader's
# lists, the memory pool, error texts) run a third time under ThreadSanitizer. Then runs each fuzz target for 60 seconds (scripts/fuzz.sh), and
# cross-builds the Windows programs and runs their tests under Wine
# (TESSALINE_SKIP_WINDOWS=1 leaves that step out).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

scripts/build.sh build -DTESSALINE_WERROR=ON
scripts/lint.sh build
(cd build && ctest --output-on-failure --parallel "$(nproc)")

scripts/build.sh build-asan -DTESSALINE_SANITIZE=ON -DTESSALINE_WERROR=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure --parallel "$(nproc)")

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALINE_SANITIZE_THREAD=ON \
  -DTESSALINE_WERROR=ON -DTESSALINE_TOOLS=OFF -DTESSALINE_BENCH=OFF -DTESSALINE_TEST_LAYERS="brix;plugin" >/dev/null
cmake --build build-tsan --parallel "$(nproc)" --target brix_tests plugin_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/brix/brix_tests \
  --gtest_filter='UMemoryPool*:GlobalAllocation*:ErrorDescription*:ArchiveStream*'
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/plugin/plugin_tests --gtest_filter='RigReader*:RigLists*:Import*'

scripts/fuzz.sh all 60

if [ "${TESSALINE_SKIP_WINDOWS:-0}" != 1 ]; then
  scripts/test-windows.sh
fi
