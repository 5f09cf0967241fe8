#!/bin/sh
# Builds the authentication fuzzer with clang and runs each target for a few seconds.
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
L="$SRC/netlib"
# shellcheck disable=SC2046
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$L" "$SRC/tests/netlib/net/auth/AuthFuzz.cpp" \
  $(find "$L/core/base" "$L/core/buffer" "$L/core/secure" "$L/core/text" "$L/pki/der" "$L/net/auth" -name '*.cpp' | sort) \
  "$L/crypto/digest/hash/Md4Digest.cpp" "$L/crypto/digest/hash/Md5Digest.cpp" \
  "$L/crypto/cipher/block/CryptDes.cpp" "$L/crypto/random/RandomSource.cpp" \
  -o "$WORK/auth_fuzz"
for target in digest ntlm dump; do
  corpus="$WORK/corpus-$target"
  mkdir -p "$corpus"
  echo "== $target"
  if ! AUTH_FUZZ_TARGET=$target ASAN_OPTIONS=detect_leaks=1 "$WORK/auth_fuzz" \
      -max_total_time="$SECONDS_EACH" -max_len=4096 -seed=1 -artifact_prefix="$WORK/" \
      "$corpus" >"$WORK/$target.log" 2>&1; then
    tail -n 40 "$WORK/$target.log"
    exit 1
  fi
  grep -E '^Done|^#[0-9]+.*DONE' "$WORK/$target.log" | tail -n 1
done
