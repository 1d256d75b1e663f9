#!/usr/bin/env bash
# Runs one libFuzzer target for a given time.
#   fuzz/run.sh <target> [seconds] [build-dir]
# Defaults: 600 seconds, build-fuzz, which is configured with clang on first use.
# The target is built, then run at low priority on a corpus folder
# <target>.corpus next to its binary, starting from <target>.seeds and with
# <target>.dict when they exist there. Findings land in <target>.findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: fuzz/run.sh <target> [seconds] [build-dir]}
seconds=${2:-600}
build=${3:-build-fuzz}

if [[ ! -f "$build/build.ninja" ]]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DMIRVO_FUZZ=ON -DMIRVO_TESTS=OFF -DMIRVO_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target "$target" -j2 >/dev/null
binary=$(find "$build/fuzz" -type f -name "$target" -perm -u+x | head -n 1)
if [[ -z "$binary" ]]; then
  echo "no fuzz target named $target in $build" >&2
  exit 1
fi
dir=$(dirname "$binary")
corpus="$dir/$target.corpus"
findings="$dir/$target.findings"
mkdir -p "$corpus" "$findings"
args=(-max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=64 -timeout=10
      -artifact_prefix="$findings/" -print_final_stats=1)
[[ -f "$dir/$target.dict" ]] && args+=(-dict="$dir/$target.dict")
dirs=("$corpus")
[[ -d "$dir/$target.seeds" ]] && dirs+=("$dir/$target.seeds")
exec nice -n 19 "$binary" "${args[@]}" "${dirs[@]}"
