#!/usr/bin/env bash
# Installs what the tests need, builds everything in Release and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --tests
# Tests list themselves at build time and some of them open windows.
export QT_QPA_PLATFORM=offscreen
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRVO_TESTS=ON -DMIRVO_BENCH=ON
cmake --build build
cd build
ctest --output-on-failure --timeout 600 -j2
