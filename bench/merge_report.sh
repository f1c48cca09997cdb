#!/usr/bin/env bash
# A table row per map: tile shapes, pieces, lower bound, worst cell, mean cells per piece, bytes and
# time, merged against --no-merge: bench/merge_report.sh BUILD_DIR MAP...
set -euo pipefail
build=$1
shift
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for map in "$@"; do
  "$build/bench/merge_report" "$map"
  for mode in merged --no-merge; do
    flags=()
    [ "$mode" = --no-merge ] && flags=(--no-merge)
    start=$(date +%s.%N)
    "$build/tarvex/tarvex" "${flags[@]}" "$map" "$scratch/out.col" --manifest "$scratch/out.json" > /dev/null 2> "$scratch/err"
    end=$(date +%s.%N)
    python3 - "$scratch/out.json" "$(stat -c %s "$scratch/out.col")" "$(echo "$end - $start" | bc)" "$mode" <<'PY'
import json, sys
records = json.load(open(sys.argv[1]))["records"]
cells = [0] * 16
reached = 0
for record in records:
    mask = int(str(record["mask"]), 0) if isinstance(record["mask"], str) else record["mask"]
    for bit in range(16):
        if mask >> bit & 1:
            cells[bit] += 1
            reached += 1
print(f"  {sys.argv[4]:>10}: {len(records)} polygons, worst cell {max(cells)}, "
      f"{reached / max(len(records), 1):.2f} cells per polygon, {sys.argv[2]} bytes, {float(sys.argv[3]):.3f} s")
PY
  done
done
