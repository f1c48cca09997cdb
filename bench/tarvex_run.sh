#!/usr/bin/env bash
# Times whole runs of tarvex on a random map of 100,000 polygons and reports its peak memory:
# bench/tarvex_run.sh BUILD_DIR [POLYGONS]
set -euo pipefail
build=${1:-build}
count=${2:-100000}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$build/bench/make_map" "$count" 1 "$scratch/map.txt"
echo "map of $count polygons: $(wc -c < "$scratch/map.txt") bytes, $(wc -l < "$scratch/map.txt") lines"
run="$build/tarvex/tarvex $scratch/map.txt $scratch/map.col"
if command -v hyperfine >/dev/null; then
  hyperfine --warmup 1 --runs 5 --output=null "$run"
else
  time $run > /dev/null
fi
if [ -x /usr/bin/time ]; then
  /usr/bin/time -f "peak memory: %M KiB" $run > /dev/null
fi
echo "collision file: $(wc -c < "$scratch/map.col") bytes"
