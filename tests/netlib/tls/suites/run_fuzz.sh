#!/bin/sh
# Builds the TLS fuzzer with clang and runs each target for a few seconds.
# The TLS sources are compiled here with the fuzzer's coverage and the
# sanitizers; the rest comes from the given build of the library, whose
# copies of the TLS objects the linker then leaves out.
# Usage: run_fuzz.sh <source root> <work folder> <library archive> [seconds per target]
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
  "$SRC/tests/netlib/tls/suites/TlsFuzz.cpp" "$SRC/netlib/core/text/SplitList.cpp" \
  $(find "$SRC/netlib/tls" -name '*.cpp' | sort) "$LIB" -o "$WORK/tls_fuzz"
for target in lists peer record; do
  corpus="$WORK/corpus-$target"
  mkdir -p "$corpus"
  echo "== $target"
  if ! TLS_FUZZ_TARGET=$target ASAN_OPTIONS=detect_leaks=1 "$WORK/tls_fuzz" \
      -max_total_time="$SECONDS_EACH" -max_len=4096 -seed=1 -artifact_prefix="$WORK/" \
      "$corpus" >"$WORK/$target.log" 2>&1; then
    tail -n 40 "$WORK/$target.log"
    exit 1
  fi
  grep -E '^Done|^#[0-9]+.*DONE' "$WORK/$target.log" | tail -n 1
done
