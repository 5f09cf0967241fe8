#!/bin/sh
# Builds the HTTP/2 fuzzer with clang and runs each target for a few seconds.
# Usage: run_fuzz.sh <source root> <work folder> [seconds per target]
set -eu
SRC=$1
WORK=$2
SECONDS_EACH=${3:-3}
if ! command -v clang++ >/dev/null 2>&1; then
  echo "clang++ not found"
  [ "${CI:-}" = "true" ] && exit 1
  exit 77
fi
mkdir -p "$WORK"
LIB="$SRC/netlib"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$LIB" "$SRC/tests/netlib/http/h2/HttpFuzz.cpp" \
  "$LIB"/http/h2/*.cpp "$LIB"/core/text/*.cpp "$LIB"/core/buffer/*.cpp "$LIB"/core/base/*.cpp \
  -o "$WORK/http_fuzz"
for target in hpack frames; do
  corpus="$WORK/corpus-$target"
  mkdir -p "$corpus"
  echo "== $target"
  if ! HTTP_FUZZ_TARGET=$target ASAN_OPTIONS=detect_leaks=1 "$WORK/http_fuzz" \
      -max_total_time="$SECONDS_EACH" -max_len=20000 -seed=1 -artifact_prefix="$WORK/" \
      "$corpus" >"$WORK/$target.log" 2>&1; then
    tail -n 40 "$WORK/$target.log"
    exit 1
  fi
  grep -E '^Done|^#[0-9]+.*DONE' "$WORK/$target.log" | tail -n 1
done
