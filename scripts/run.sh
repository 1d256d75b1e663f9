#!/usr/bin/env bash
# Installs what Mirvo needs, builds it in Release and starts the player.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRVO_TESTS=OFF -DMIRVO_BENCH=OFF
cmake --build build --target mirvo
exec ./build/src/mirvo "$@"
