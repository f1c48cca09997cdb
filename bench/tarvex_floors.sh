#!/usr/bin/env bash
# Counts the instructions of a whole tarvex run and of its three floors under callgrind, the same
# on every run, and prints the run's count over the floors' sum (about two minutes at 100,000):
# bench/tarvex_floors.sh BUILD_DIR [POLYGONS]
set -euo pipefail
build=${1:-build}
count=${2:-100000}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

toggles=()
for part in run read log write; do
  toggles+=("--toggle-collect=*measure_$part*")
done
valgrind --tool=callgrind --callgrind-out-file="$scratch/callgrind.out" --collect-atstart=no "${toggles[@]}" \
  "$build/bench/tarvex_floors" "$count" once > /dev/null 2>&1
callgrind_annotate --inclusive=yes "$scratch/callgrind.out" | awk -v count="$count" '
  /measure_(run|read|log|write)/ {
    match($0, /measure_[a-z]+/)
    part = substr($0, RSTART + 8, RLENGTH - 8)
    gsub(",", "", $1)
    counted[part] = $1
  }
  END {
    floors = counted["read"] + counted["log"] + counted["write"]
    printf "%d polygons, instructions: run %.3f G; floors: read %.3f G, log %.3f G, write %.3f G; ratio %.2f\n",
      count, counted["run"] / 1e9, counted["read"] / 1e9, counted["log"] / 1e9, counted["write"] / 1e9,
      counted["run"] / floors
  }'
