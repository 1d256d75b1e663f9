#!/usr/bin/env bash
# Installs what the tests need, builds everything in Release and runs every
# test; then builds the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs it there too.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --tests
# Tests list themselves at build time and some of them open windows.
export QT_QPA_PLATFORM=offscreen
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRVO_TESTS=ON -DMIRVO_BENCH=ON
cmake --build build
(cd build && ctest --output-on-failure --timeout 600 -j2)

# Any memory error, leak or undefined behaviour fails the test it happens in.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitizer/leaks.supp:print_suppressions=0
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRVO_SANITIZE=ON \
  -DMIRVO_TESTS=ON -DMIRVO_BENCH=OFF
cmake --build build-asan
cd build-asan
ctest --output-on-failure --timeout 600 -j2
