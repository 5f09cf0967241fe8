#!/bin/sh
# Seeds of the PKI fuzzer: the kit's certificates, keys and chains, made by
# the openssl command, small JSON documents of every shape, the PKCS#12 and
# CMS fixtures, and SSH, PuTTY and JWK key files.
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
# Chain seeds: leaf, intermediate and root DER laid end to end.
CHAIN_SEEDS="$WORK/seeds-chain"
if [ ! -d "$CHAIN_SEEDS" ] && [ -d "$WORK/kit" ]; then
  mkdir -p "$CHAIN_SEEDS"
  for t in rsa p256 dsa; do
    cat "$WORK/kit/$t-leaf.der" "$WORK/kit/$t-int.der" "$WORK/kit/$t-root.der" >"$CHAIN_SEEDS/$t"
  done
fi
mkdir -p "$CHAIN_SEEDS"
# PKCS#12 and CMS seeds: the PKCS fixtures, and PFX files with an iteration
# count of 1 that the fuzzer's cap lets through to the decryption.
PKCS_SEEDS="$WORK/seeds-p12"
if [ ! -d "$PKCS_SEEDS" ] && [ -d "$WORK/kit" ] && command -v openssl >/dev/null 2>&1; then
  sh "$SRC/tests/netlib/pki/pkcs/make_pkcs_kit.sh" "$WORK/kit" "$WORK/kit-pkcs" >"$WORK/kit-pkcs.log" 2>&1 || {
    tail -n 20 "$WORK/kit-pkcs.log"; exit 1; }
  mkdir -p "$PKCS_SEEDS"
  cp "$WORK"/kit-pkcs/*.p12 "$WORK"/kit-pkcs/*.der "$WORK"/kit-pkcs/*.p7b "$WORK"/kit-pkcs/cms-*.pem "$PKCS_SEEDS"/
  for opts in "" "-legacy" "-legacy -keypbe PBE-SHA1-RC4-40 -certpbe PBE-SHA1-RC2-128"; do
    # shellcheck disable=SC2086
    openssl pkcs12 -export $opts -iter 1 -maciter -inkey "$WORK/kit/p256-leaf.key" -in "$WORK/kit/p256-leaf.crt" \
      -passout pass:fuzz -out "$PKCS_SEEDS/iter1$(echo "$opts" | tr -d ' -').p12"
  done
fi
mkdir -p "$PKCS_SEEDS"
for target in signed p7 enveloped; do
  mkdir -p "$WORK/seeds-$target"
  cp "$PKCS_SEEDS"/* "$WORK/seeds-$target"/ 2>/dev/null || true
done
# SSH key seeds: OpenSSH and PuTTY files, plain and encrypted (one bcrypt
# round, within the fuzzer's cap), when the tools are here.
SSH_SEEDS="$WORK/seeds-jwk"
if [ ! -d "$SSH_SEEDS" ]; then
  mkdir -p "$SSH_SEEDS"
  printf '{"kty":"EC","crv":"P-256","x":"AQ","y":"Ag","d":"Aw","kid":"a","n":1}' >"$SSH_SEEDS/jwk-ec"
  printf '{"kty":"RSA","n":"AMA","e":"AQAB","d":"AQ","x":[1,{}],"z":null}' >"$SSH_SEEDS/jwk-rsa"
  if command -v ssh-keygen >/dev/null 2>&1; then
    ssh-keygen -q -t ed25519 -N '' -f "$SSH_SEEDS/ossh-ed25519" && rm -f "$SSH_SEEDS/ossh-ed25519.pub"
    ssh-keygen -q -t ecdsa -N fuzz -a 1 -Z aes256-cbc -f "$SSH_SEEDS/ossh-ecdsa" && rm -f "$SSH_SEEDS/ossh-ecdsa.pub"
  fi
  if command -v puttygen >/dev/null 2>&1; then
    printf 'fuzz' >"$WORK/fuzz-pass"
    puttygen -q -t ed25519 -O private --ppk-param version=2 --new-passphrase /dev/null -o "$SSH_SEEDS/putty.ppk"
    puttygen -q -t ecdsa -O private --ppk-param version=2 --new-passphrase "$WORK/fuzz-pass" -o "$SSH_SEEDS/putty-enc.ppk"
  fi
fi
for target in openssh putty ssh2; do
  mkdir -p "$WORK/seeds-$target"
  cp "$SSH_SEEDS"/* "$WORK/seeds-$target"/ 2>/dev/null || true
done
