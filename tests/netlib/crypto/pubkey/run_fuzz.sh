#!/bin/sh
# Builds the DER signature fuzzer with clang and runs it for a few seconds.
# Usage: run_fuzz.sh <source root> <work folder> [seconds]
set -eu
SRC=$1
WORK=$2
SECONDS_EACH=${3:-3}
if ! command -v clang++ >/dev/null 2>&1; then
  echo "clang++ not found"
  [ "${CI:-}" = "true" ] && exit 1
  exit 77
fi
mkdir -p "$WORK/corpus"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$SRC/netlib" \
  "$SRC/tests/netlib/crypto/pubkey/DerSignatureFuzz.cpp" "$SRC/netlib/crypto/pubkey/DerLength.cpp" \
  "$SRC/netlib/crypto/pubkey/PublicKeyAlgorithm.cpp" "$SRC/netlib/crypto/random/RandomSource.cpp" \
  "$SRC/netlib/core/text/InlineString.cpp" "$SRC/netlib/core/text/StringEncoding.cpp" \
  "$SRC/netlib/core/text/TextUtils.cpp" \
  -o "$WORK/der_signature_fuzz"
# Seeds: a short and a long-form signature.
printf '\060\006\002\001\005\002\001\007' >"$WORK/corpus/short"
if ! ASAN_OPTIONS=detect_leaks=1 "$WORK/der_signature_fuzz" -max_total_time="$SECONDS_EACH" -max_len=600 -seed=1 \
    -artifact_prefix="$WORK/" "$WORK/corpus" >"$WORK/fuzz.log" 2>&1; then
  tail -n 40 "$WORK/fuzz.log"
  exit 1
fi
grep -E '^Done|^#[0-9]+.*DONE' "$WORK/fuzz.log" | tail -n 1
