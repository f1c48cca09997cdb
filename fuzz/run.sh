#!/usr/bin/env bash
# Runs each fuzz target for a while from its seed corpus: fuzz/run.sh BUILD_DIR SECONDS
# New inputs go to a scratch corpus, so the committed seeds stay as they are; a finding stops the
# run with the input saved as crash-* in the current folder.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
for target in tarvex mirolt maps reader pictures; do
  scratch=$(mktemp -d)
  max_len=4096
  [ "$target" = maps ] && max_len=65536  # a map with its tile layers is larger than the other inputs
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 \
    "$scratch" "$here/corpus/$target"
  rm -rf "$scratch"
done
