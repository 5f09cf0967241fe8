#!/bin/sh
# Makes the PKCS#12, CMS and PKCS#7 fixtures with the openssl command from the
# certificates and keys of the PKI kit folder, into a folder of their own.
# PKCS#12 password: "p12 pass"; message content: content.txt.
# Usage: make_pkcs_kit.sh <kit folder> <folder>
set -eu
K=$(cd "$1" && pwd)
D=$2
mkdir -p "$D"
cd "$D"
O=openssl
P="pass:p12 pass"

for t in rsa p256 ed25519; do
  cat "$K/$t-int.crt" "$K/$t-root.crt" > "$t-chain.pem"
  $O pkcs12 -export -inkey "$K/$t-leaf.key" -in "$K/$t-leaf.crt" -certfile "$t-chain.pem" -passout "$P" \
    -out "$t-default.p12"
done
export_rsa() {
  out=$1
  shift
  $O pkcs12 -export -inkey "$K/rsa-leaf.key" -in "$K/rsa-leaf.crt" -certfile rsa-chain.pem -passout "$P" "$@" \
    -out "$out"
}
export_rsa rsa-aes128.p12 -keypbe AES-128-CBC
export_rsa rsa-des3.p12 -keypbe DES-EDE3-CBC
export_rsa rsa-legacy.p12 -legacy
export_rsa rsa-rc4-128.p12 -legacy -keypbe PBE-SHA1-RC4-128 -certpbe PBE-SHA1-2DES
export_rsa rsa-rc4-40.p12 -legacy -keypbe PBE-SHA1-RC4-40 -certpbe PBE-SHA1-RC2-128
export_rsa rsa-nomac.p12 -nomac
export_rsa rsa-nocertpbe.p12 -certpbe NONE
export_rsa rsa-keybag.p12 -keypbe NONE -certpbe NONE
$O pkcs12 -export -inkey "$K/rsa-leaf.key" -in "$K/rsa-leaf.crt" -passout pass: -out rsa-empty.p12

# Signed data, attached content.
printf 'Signed and enveloped content of the kit.\n' > content.txt
sign() {
  out=$1
  shift
  $O cms -sign -nodetach -binary -outform DER -nosmimecap -in content.txt -signer "$K/rsa-leaf.crt" \
    -inkey "$K/rsa-leaf.key" -certfile rsa-chain.pem "$@" -out "$out"
}
sign signed.der
sign signed-keyid.der -keyid
sign signed-noattr.der -noattr

# A revocation list from a small CA, wrapped with one certificate.
mkdir -p ca
: > ca/index.txt
echo 01 > ca/crlnumber
cat > ca.cnf <<X
[ca]
default_ca=kit
[kit]
database=ca/index.txt
crlnumber=ca/crlnumber
default_md=sha256
default_crl_days=30
certificate=$K/rsa-int.crt
private_key=$K/rsa-int.key
X
$O ca -config ca.cnf -gencrl -out crl.pem 2>/dev/null
$O crl2pkcs7 -in crl.pem -certfile "$K/rsa-leaf.crt" -outform DER -out crl.p7b

# Enveloped data for two RSA recipients, and the variants the reader refuses.
$O smime -encrypt -des3 -binary -in content.txt -outform PEM -out smime-des3.pem "$K/rsa-leaf.crt" "$K/rsa-int.crt"
$O cms -encrypt -des3 -binary -in content.txt -outform PEM -out cms-des3.pem "$K/rsa-leaf.crt" "$K/rsa-int.crt"
$O cms -encrypt -aes256 -binary -in content.txt -outform PEM -out cms-aes256.pem "$K/rsa-leaf.crt"
$O cms -encrypt -des3 -binary -in content.txt -outform PEM -out cms-oaep.pem -recip "$K/rsa-leaf.crt" \
  -keyopt rsa_padding_mode:oaep -keyopt rsa_oaep_md:sha256
$O cms -encrypt -des3 -binary -stream -in content.txt -outform PEM -out cms-stream.pem "$K/rsa-leaf.crt"
