#!/bin/sh
# Builds the proxy reply fuzzer with clang and runs it for a few seconds.
# The Kerberos sources need the cipher layer, which this build leaves out;
# what the connection's TLS engine needs comes from the given build of the
# library.
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
# shellcheck disable=SC2046
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$SRC/netlib" "$SRC/tests/netlib/net/proxy/ProxyFuzz.cpp" \
  $(find "$SRC/netlib/core/base" "$SRC/netlib/core/buffer" "$SRC/netlib/core/socket" "$SRC/netlib/core/text" \
    "$SRC/netlib/net" "$SRC/netlib/pki/der" -name '*.cpp' -not -path '*/net/kerberos/*' | sort) \
  "$SRC/netlib/crypto/digest/hash/Md4Digest.cpp" "$SRC/netlib/crypto/digest/hash/Md5Digest.cpp" \
  "$SRC/netlib/crypto/cipher/block/CryptDes.cpp" "$SRC/netlib/crypto/random/RandomSource.cpp" \
  "$LIB" -o "$WORK/proxy_fuzz"
corpus="$WORK/corpus"
mkdir -p "$corpus"
if ! ASAN_OPTIONS=detect_leaks=1 "$WORK/proxy_fuzz" -max_total_time="$SECONDS_EACH" -max_len=2048 -seed=1 \
    -artifact_prefix="$WORK/" "$corpus" >"$WORK/proxy.log" 2>&1; then
  tail -n 40 "$WORK/proxy.log"
  exit 1
fi
grep -E '^Done|^#[0-9]+.*DONE' "$WORK/proxy.log" | tail -n 1
