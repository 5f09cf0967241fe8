#!/bin/sh
# Builds the key table, decryption and KDC reply fuzzer with clang and runs it for a few
# seconds. The Kerberos and UDP sources are compiled here with the fuzzer's
# coverage and the sanitizers; the rest comes from the given build of the
# library, whose copies of those objects the linker then leaves out.
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
N=$SRC/netlib
# shellcheck disable=SC2046
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$N" "$SRC/tests/netlib/net/kerberos/KerberosFuzz.cpp" \
  $(find "$N/net/udp" "$N/net/kerberos" -name '*.cpp' | sort) "$LIB" -o "$WORK/kerberos_fuzz"
corpus="$WORK/corpus"
mkdir -p "$corpus"
if ! ASAN_OPTIONS=detect_leaks=1 "$WORK/kerberos_fuzz" -max_total_time="$SECONDS_EACH" -max_len=4096 -seed=1 \
    -artifact_prefix="$WORK/" "$corpus" "$SRC/tests/netlib/net/kerberos/fuzz_seeds" >"$WORK/kerberos.log" 2>&1; then
  tail -n 40 "$WORK/kerberos.log"
  exit 1
fi
grep -E '^Done|^#[0-9]+.*DONE' "$WORK/kerberos.log" | tail -n 1
