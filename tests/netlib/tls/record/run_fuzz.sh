#!/bin/sh
# Builds the engine fuzzer with clang and runs it for a few seconds. The TLS
# sources are compiled here with the fuzzer's coverage and the sanitizers; the
# rest comes from the given build of the library.
# Usage: run_fuzz.sh <source root> <work folder> <library archive> [seconds]
set -eu
SRC=$1
WORK=$2
LIB=$3
SECONDS_EACH=${4:-3}
if ! command -v clang++ >/dev/null 2>&1; then
  echo "clang++ not found"
  [ "${CI:-}" = "true" ] && exit 1
  exit 77
fi
mkdir -p "$WORK"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I"$SRC/netlib" \
  "$SRC/tests/netlib/tls/record/EngineFuzz.cpp" "$SRC/netlib/core/text/SplitList.cpp" \
  $(find "$SRC/netlib/tls" -name '*.cpp' | sort) "$LIB" -o "$WORK/engine_fuzz"
corpus="$WORK/corpus"
mkdir -p "$corpus"
# Server flights captured from openssl s_server, behind the mode byte 0.
cp "$SRC/tests/netlib/tls/record/seeds/"*.bin "$corpus/"
if ! ASAN_OPTIONS=detect_leaks=1 "$WORK/engine_fuzz" -max_total_time="$SECONDS_EACH" -max_len=4096 -seed=1 \
    -artifact_prefix="$WORK/" "$corpus" >"$WORK/engine.log" 2>&1; then
  tail -n 40 "$WORK/engine.log"
  exit 1
fi
grep -E '^Done|^#[0-9]+.*DONE' "$WORK/engine.log" | tail -n 1
