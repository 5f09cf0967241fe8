#!/usr/bin/env bash
# Runs every benchmark and prints one table. Argument: the build folder.
set -euo pipefail
BUILD=$1
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$BUILD/bench/tornell_bench" --benchmark_min_time=0.2 --benchmark_out="$out" --benchmark_out_format=json >/dev/null
python3 "$ROOT/scripts/bench_table.py" "$out"
