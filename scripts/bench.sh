#!/usr/bin/env bash
# Runs every benchmark and prints one table. Argument: the build folder.
# Seven short repetitions of each row in random order, reported by their
# median: ours and the peer then see the same share of a busy machine.
# On a processor with AVX-512 the rows run a second time as on one without
# it: our paths narrowed through the bench's switch, OpenSSL's through its
# capability mask (the AVX-512 F, DQ, IFMA, BW and VL bits of CPUID leaf 7),
# and the table shows both passes side by side.
# BENCH_FILTER (a Google Benchmark regex) limits the rows.
set -euo pipefail
BUILD=$1
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
full=$(mktemp)
narrow=$(mktemp)
trap 'rm -f "$full" "$narrow"' EXIT
run() {  # output file
  "$BUILD/bench/tornell_bench" --benchmark_min_time=0.05 --benchmark_repetitions=7 \
    --benchmark_enable_random_interleaving=true --benchmark_filter="${BENCH_FILTER:-.}" \
    --benchmark_out="$1" --benchmark_out_format=json >/dev/null
}
run "$full"
if grep -qw avx512f /proc/cpuinfo; then
  TORNELL_BENCH_WITHOUT_AVX512=1 OPENSSL_ia32cap=":~0xC0230000" run "$narrow"
  python3 "$ROOT/scripts/bench_table.py" "$full" "$narrow"
else
  python3 "$ROOT/scripts/bench_table.py" "$full"
fi
