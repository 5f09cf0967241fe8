#!/bin/sh
# Seeds of the HTTP object fuzzer: a gzip member and a zlib stream, so the
# decoder gets past the header.
# Usage: fuzz_seeds.sh <source root> <work folder>
set -eu
SEEDS="$2/seeds-decode"
mkdir -p "$SEEDS"
printf '\000\007\037\213\010\000\000\000\000\000\000\377\313\110\315\311\311\007\000\206\246\020\066\005\000\000\000' \
  >"$SEEDS/gzip"
printf '\001\003\170\234\313\110\315\311\311\007\000\006\054\002\025' >"$SEEDS/zlib"
