#!/bin/sh
# Seeds of the PKI fuzzer: the kit's certificates and keys, made by the
# openssl command, and small JSON documents of every shape for the JSON
# targets.
# Usage: fuzz_seeds.sh <source root> <work folder>
set -eu
SRC=$1
WORK=$2
SEEDS="$WORK/seeds"
if [ ! -d "$SEEDS" ] && command -v openssl >/dev/null 2>&1; then
  sh "$SRC/tests/netlib/pki/kit/make_kit.sh" "$WORK/kit" >"$WORK/kit.log" 2>&1 || { tail -n 20 "$WORK/kit.log"; exit 1; }
  mkdir -p "$SEEDS"
  cp "$WORK"/kit/*.der "$WORK"/kit/*.p8 "$WORK"/kit/*.pem "$WORK"/kit/*.bin "$SEEDS"/
fi
mkdir -p "$SEEDS"
for target in json json_split; do
  JSON_SEEDS="$WORK/seeds-$target"
  mkdir -p "$JSON_SEEDS"
  printf '{"keys":[{"kty":"EC","crv":"P-256"},{"kty":"RSA","e":"AQAB"}]}' >"$JSON_SEEDS/jwk"
  printf '([1, -2.5e3, true, FALSE, null, "a\\u20ACb\\ud83d\\ude00", {}, [[]],])' >"$JSON_SEEDS/mixed"
  printf '$.keys[last()-1].kty' >"$JSON_SEEDS/jsonpath"
  printf '/json/keys/[2]/kty' >"$JSON_SEEDS/xpath"
done
