#!/usr/bin/env bash
# Runs libFuzzer targets.
#   fuzz/run.sh <target>|all [seconds] [build-dir]
# Each target runs until 10,000,000 executions or `seconds` (default 1800),
# whichever comes first, at low priority, no input slower than 1 s, 64 MB per
# allocation and 2 GB in all. The build (default build-fuzz, configured with
# clang on first use) puts next to each binary its committed seeds
# (<target>.seeds) and dictionary (<target>.dict); new inputs go to
# <target>.corpus and findings to <target>.findings/ there.
# Prints one line per target: executions, libFuzzer's final cov and ft, the
# seconds taken, findings, the slowest corpus input and the peak RSS. Exits
# non-zero when anything was found. Several targets may be named, in quotes.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: fuzz/run.sh <target>|all [seconds] [build-dir]}
seconds=${2:-1800}
build=${3:-build-fuzz}

if [[ ! -f "$build/build.ninja" ]]; then
  launcher=()
  command -v ccache >/dev/null &&
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DMIRVO_FUZZ=ON -DMIRVO_TESTS=OFF -DMIRVO_BENCH=OFF "${launcher[@]}" >/dev/null
fi
if [[ "$target" == all ]]; then
  cmake --build "$build" -j2 >/dev/null
  mapfile -t targets < "$build/fuzz/targets.txt"
else
  read -ra targets <<<"$target"
  cmake --build "$build" --target "${targets[@]}" -j2 >/dev/null
fi

# Leaks inside the libraries themselves are no findings (as in the sanitizer build).
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer/leaks.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

# fuzz_one <target>: runs it and prints its line; the exit status is the finding count.
fuzz_one() {
  local name=$1 binary dir corpus findings log start found slowest
  binary=$(find "$build/fuzz" -type f -name "$name" -perm -u+x | head -n 1)
  if [[ -z "$binary" ]]; then
    echo "no fuzz target named $name in $build" >&2
    return 1
  fi
  dir=$(dirname "$binary")
  corpus="$dir/$name.corpus"
  findings="$dir/$name.findings"
  log="$dir/$name.log"
  mkdir -p "$corpus" "$findings"
  local args=(-runs=10000000 -max_total_time="$seconds" -timeout=1 -malloc_limit_mb=64
              -rss_limit_mb=2048 -artifact_prefix="$findings/" -print_final_stats=1)
  [[ -f "$dir/$name.dict" ]] && args+=(-dict="$dir/$name.dict")
  local dirs=("$corpus")
  [[ -d "$dir/$name.seeds" ]] && dirs+=("$dir/$name.seeds")
  local before
  before=$(find "$findings" -type f ! -name 'slow-unit-*' ! -name 'stall-*' | wc -l)
  start=$(date +%s)
  nice -n 19 "$binary" "${args[@]}" "${dirs[@]}" >"$log" 2>&1 || true
  local took=$(($(date +%s) - start))
  # A timeout that does not come back when the input is run alone was the
  # machine's load (the fuzzer runs at nice 19), not the input: kept as stall-*.
  local unit ms
  for unit in "$findings"/timeout-*; do
    [[ -f "$unit" ]] || continue
    ms=$("$binary" -timeout=10 "$unit" 2>&1 | sed -n 's/^Executed .* in \([0-9]*\) ms$/\1/p')
    if [[ -n "$ms" && "$ms" -lt 1000 ]]; then
      mv "$unit" "$findings/stall-${unit##*/timeout-}"
    fi
  done
  found=$(($(find "$findings" -type f ! -name 'slow-unit-*' ! -name 'stall-*' | wc -l) - before))
  ((found < 0)) && found=0
  # Each corpus input once more, timed.
  slowest=$(find "$corpus" "$dir/$name.seeds/" -type f -print0 |
            xargs -0 -r nice -n 19 "$binary" -timeout=10 2>&1 |
            sed -n 's/^Executed .* in \([0-9]*\) ms$/\1/p' | sort -n | tail -n 1)
  local execs cov ft rss
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  printf '%-28s execs %-10s cov %-6s ft %-6s %5ss findings %s slowest %sms rss %sMB\n' \
    "$name" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$took" "$found" "${slowest:-?}" "${rss:-?}"
  return $((found > 0 ? 1 : 0))
}

status=0
for name in "${targets[@]}"; do
  fuzz_one "$name" || status=1
done
exit $status
