#!/usr/bin/env bash
# Runs every benchmark and prints one table. Argument: the build folder.
# Seven short repetitions of each row in random order, reported by their
# median: ours and the peer then see the same share of a busy machine.
set -euo pipefail
BUILD=$1
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$BUILD/bench/tornell_bench" --benchmark_min_time=0.05 --benchmark_repetitions=7 --benchmark_enable_random_interleaving=true --benchmark_out="$out" --benchmark_out_format=json >/dev/null
python3 "$ROOT/scripts/bench_table.py" "$out"
