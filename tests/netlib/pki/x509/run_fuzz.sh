#!/bin/sh
# Builds the library and the PKI fuzzer with clang and runs each target for a
# few seconds. The clang build of the library is kept in the work folder, so
# later runs rebuild only what changed.
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
FLAGS="-O1 -g -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
cmake -S "$SRC" -B "$WORK/lib" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_FLAGS="$FLAGS" -DSARNVALE_TESTS=OFF -DSARNVALE_SANITIZE=OFF >"$WORK/cmake.log" 2>&1 || {
  tail -n 40 "$WORK/cmake.log"; exit 1; }
ninja -C "$WORK/lib" -j3 tornell >"$WORK/ninja.log" 2>&1 || { tail -n 40 "$WORK/ninja.log"; exit 1; }
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$SRC/netlib" "$SRC/tests/netlib/pki/x509/PkiFuzz.cpp" "$WORK/lib/netlib/libtornell.a" \
  -o "$WORK/pki_fuzz"
for target in der tree cert decode spki pkcs8 dn; do
  corpus="$WORK/corpus-$target"
  mkdir -p "$corpus"
  echo "== $target"
  if ! PKI_FUZZ_TARGET=$target ASAN_OPTIONS=detect_leaks=1 "$WORK/pki_fuzz" \
      -max_total_time="$SECONDS_EACH" -max_len=8192 -seed=1 -artifact_prefix="$WORK/" \
      "$corpus" "$SRC/tests/netlib/pki/x509/seeds" >"$WORK/$target.log" 2>&1; then
    tail -n 40 "$WORK/$target.log"
    exit 1
  fi
  grep -E '^Done|^#[0-9]+.*DONE' "$WORK/$target.log" | tail -n 1
done
