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
# The few sources this clang cannot compile (processor-feature builtins it
# does not know) are built with g++, uninstrumented; everything else is
# instrumented.
ninja -C "$WORK/lib" -k 0 -j3 tornell >"$WORK/ninja.log" 2>&1 || true
mkdir -p "$WORK/fallback"
rm -f "$WORK"/fallback/*.o
for obj in $(sed -n 's/^FAILED: netlib\/CMakeFiles\/tornell.dir\/\(.*\)\.o *$/\1/p' "$WORK/ninja.log"); do
  out="$WORK/fallback/$(echo "$obj" | tr / _).o"
  g++ -std=c++20 -O1 -g -fPIC -I"$SRC/netlib" -c "$SRC/netlib/$obj" -o "$out" || exit 1
done
rm -f "$WORK/libpki_fuzz.a"
find "$WORK/lib/netlib" "$WORK/fallback" -name '*.o' | xargs ar rcs "$WORK/libpki_fuzz.a"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$SRC/netlib" "$SRC/tests/netlib/pki/x509/PkiFuzz.cpp" "$WORK/libpki_fuzz.a" \
  -o "$WORK/pki_fuzz"
# Seeds: the kit's certificates and keys, made by the openssl command.
SEEDS="$WORK/seeds"
if [ ! -d "$SEEDS" ] && command -v openssl >/dev/null 2>&1; then
  sh "$SRC/tests/netlib/pki/kit/make_kit.sh" "$WORK/kit" >"$WORK/kit.log" 2>&1 || { tail -n 20 "$WORK/kit.log"; exit 1; }
  mkdir -p "$SEEDS"
  cp "$WORK"/kit/*.der "$WORK"/kit/*.p8 "$WORK"/kit/*.pem "$WORK"/kit/*.bin "$SEEDS"/
fi
# Chain seeds: leaf, intermediate and root DER laid end to end.
CHAIN_SEEDS="$WORK/chain-seeds"
if [ ! -d "$CHAIN_SEEDS" ] && [ -d "$WORK/kit" ]; then
  mkdir -p "$CHAIN_SEEDS"
  for t in rsa p256 dsa; do
    cat "$WORK/kit/$t-leaf.der" "$WORK/kit/$t-int.der" "$WORK/kit/$t-root.der" >"$CHAIN_SEEDS/$t"
  done
fi
mkdir -p "$CHAIN_SEEDS"
mkdir -p "$SEEDS"
# JSON seeds: small documents of every shape.
JSON_SEEDS="$WORK/json-seeds"
mkdir -p "$JSON_SEEDS"
printf '{"keys":[{"kty":"EC","crv":"P-256"},{"kty":"RSA","e":"AQAB"}]}' >"$JSON_SEEDS/jwk"
printf '([1, -2.5e3, true, FALSE, null, "a\\u20ACb\\ud83d\\ude00", {}, [[]],])' >"$JSON_SEEDS/mixed"
printf '$.keys[last()-1].kty' >"$JSON_SEEDS/jsonpath"
printf '/json/keys/[2]/kty' >"$JSON_SEEDS/xpath"
for target in der tree cert decode spki pkcs8 dn armor pem p8file keyfile keyder json json_split certmgr chain; do
  corpus="$WORK/corpus-$target"
  mkdir -p "$corpus"
  echo "== $target"
  if ! PKI_FUZZ_TARGET=$target ASAN_OPTIONS=detect_leaks=1 "$WORK/pki_fuzz" \
      -max_total_time="$SECONDS_EACH" -max_len=8192 -seed=1 -artifact_prefix="$WORK/" \
      "$corpus" "$(case $target in json*) echo "$JSON_SEEDS";; chain) echo "$CHAIN_SEEDS";; *) echo "$SEEDS";; esac)" \
      >"$WORK/$target.log" 2>&1; then
    tail -n 40 "$WORK/$target.log"
    exit 1
  fi
  grep -E '^Done|^#[0-9]+.*DONE' "$WORK/$target.log" | tail -n 1
done
