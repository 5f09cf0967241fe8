#!/bin/sh
# Builds the HTTP object fuzzer with clang and runs each target for a few seconds.
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
  -I"$LIB" "$SRC/tests/netlib/http/url/HttpObjectFuzz.cpp" \
  "$LIB"/http/headers/*.cpp "$LIB"/http/url/*.cpp "$LIB"/http/cookies/*.cpp "$LIB"/http/decode/*.cpp \
  "$LIB"/core/text/*.cpp "$LIB"/core/buffer/*.cpp "$LIB"/core/base/*.cpp \
  -lz -o "$WORK/http_object_fuzz"
# Seeds: a gzip member and a zlib stream, so the decoder gets past the header.
mkdir -p "$WORK/corpus-decode"
printf '\000\007\037\213\010\000\000\000\000\000\000\377\313\110\315\311\311\007\000\206\246\020\066\005\000\000\000' \
  >"$WORK/corpus-decode/gzip"
printf '\001\003\170\234\313\110\315\311\311\007\000\006\054\002\025' >"$WORK/corpus-decode/zlib"
for target in headers cookies url decode; do
  corpus="$WORK/corpus-$target"
  mkdir -p "$corpus"
  echo "== $target"
  if ! HTTP_OBJECT_FUZZ_TARGET=$target ASAN_OPTIONS=detect_leaks=1 "$WORK/http_object_fuzz" \
      -max_total_time="$SECONDS_EACH" -max_len=20000 -seed=1 -artifact_prefix="$WORK/" \
      "$corpus" >"$WORK/$target.log" 2>&1; then
    tail -n 40 "$WORK/$target.log"
    exit 1
  fi
  grep -E '^Done|^#[0-9]+.*DONE' "$WORK/$target.log" | tail -n 1
done
