#!/bin/sh
# Makes every certificate and key fixture of the PKI tests with the openssl
# command into the folder given (created when missing). Certificates are
# written as DER (.der), keys as PEM (.key) and PKCS#8 DER (.p8).
# Usage: make_kit.sh <folder>
set -eu
D=$1
mkdir -p "$D"
cd "$D"
O=openssl

# Writes a DER copy next to a PEM certificate.
der() { $O x509 -in "$1.crt" -outform DER -out "$1.der"; }

cat > int.ext <<'X'
basicConstraints=critical,CA:TRUE,pathlen:0
keyUsage=critical,keyCertSign,cRLSign
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
X
cat > leaf.ext <<'X'
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth,clientAuth
subjectAltName=DNS:localhost,DNS:kit.example,IP:127.0.0.1,email:leaf@example.com
X

$O genpkey -genparam -algorithm DSA -pkeyopt dsa_paramgen_bits:2048 -out dsa.param 2>/dev/null
newkey() {
  case $1 in
    rsa) $O genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$2" 2>/dev/null ;;
    p256) $O genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$2" ;;
    p384) $O genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 -out "$2" ;;
    p521) $O genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-521 -out "$2" ;;
    dsa) $O genpkey -paramfile dsa.param -out "$2" ;;
    ed25519) $O genpkey -algorithm ED25519 -out "$2" ;;
  esac
}
digest() { case $1 in ed25519) ;; *) echo -sha256 ;; esac; }

for t in rsa p256 p384 p521 dsa ed25519; do
  md=$(digest $t)
  for r in root int leaf; do newkey $t "$t-$r.key"; done
  $O req -x509 -new -key "$t-root.key" $md -days 3650 -set_serial 0x7f01 \
    -subj "/C=US/ST=Oregon/L=Portland/O=Kit Org/OU=Kit Unit/CN=Kit $t Root/emailAddress=root@example.com" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign -out "$t-root.crt"
  $O req -new -key "$t-int.key" $md -subj "/C=US/O=Kit Org/CN=Kit $t Intermediate" -out "$t-int.csr"
  $O x509 -req -in "$t-int.csr" -CA "$t-root.crt" -CAkey "$t-root.key" $md -days 1825 \
    -set_serial 0x8000000000000001 -extfile int.ext -out "$t-int.crt" 2>/dev/null
  $O req -new -key "$t-leaf.key" $md -subj "/C=US/O=Kit Org/OU=Servers/CN=kit.example" -out "$t-leaf.csr"
  $O x509 -req -in "$t-leaf.csr" -CA "$t-int.crt" -CAkey "$t-int.key" $md -days 825 \
    -set_serial 0x00ff00 -extfile leaf.ext -out "$t-leaf.crt" 2>/dev/null
  for r in root int leaf; do der "$t-$r"; done
done

# Version 1: no extensions.
$O req -new -key rsa-leaf.key -subj "/CN=Kit v1" -out v1.csr
$O x509 -req -in v1.csr -signkey rsa-leaf.key -days 30 -out v1.crt 2>/dev/null
der v1

# A BMPString name.
cat > bmp.cnf <<'X'
[req]
distinguished_name=dn
string_mask=MASK:0x800
utf8=yes
prompt=no
[dn]
CN=Grüße Kit
O=Kit BMP
X
$O req -x509 -new -config bmp.cnf -key p256-leaf.key -days 30 -out bmp.crt
der bmp

# A multi-valued RDN.
$O req -x509 -new -key p256-leaf.key -days 30 -multivalue-rdn -subj "/CN=a+OU=b/O=c" -out multi.crt
der multi

# PrintableString names: re-encodes byte for byte from its record.
cat > printable.cnf <<'X'
[req]
distinguished_name=dn
string_mask=default
prompt=no
x509_extensions=ext
[dn]
C=US
ST=Oregon
O=Kit Printable
CN=printable.example
emailAddress=printable@example.com
[ext]
basicConstraints=critical,CA:FALSE
subjectAltName=DNS:printable.example
X
$O req -x509 -new -config printable.cnf -key rsa-leaf.key -sha256 -days 30 -set_serial 0x00c0ffee -out printable.crt
der printable

# Validity edges: notAfter past 2049, UTCTime years 49 and 50.
$O req -x509 -new -key p256-leaf.key -subj "/CN=Kit far" -days 12000 -out far.crt
der far
faketime '2049-12-30 00:00:00' $O req -x509 -new -key p256-leaf.key -subj "/CN=Kit 49" -days 1 -out y49.crt
der y49
faketime '1950-01-01 00:00:00' $O req -x509 -new -key p256-leaf.key -subj "/CN=Kit 50" -days 1 -out y50.crt
der y50

# EC keys the certificate reader treats apart: explicit P-256 parameters,
# a compressed point, and a curve it does not know.
$O ecparam -name prime256v1 -param_enc explicit -genkey -noout -out explicit.key
$O req -x509 -new -key explicit.key -subj "/CN=Kit explicit" -days 30 -out explicit.crt
der explicit
$O ec -in p256-leaf.key -conv_form compressed -out compressed.key 2>/dev/null
$O req -x509 -new -key compressed.key -subj "/CN=Kit compressed" -days 30 -out compressed.crt
der compressed
$O genpkey -algorithm EC -pkeyopt ec_paramgen_curve:secp256k1 -out k1.key
$O req -x509 -new -key k1.key -subj "/CN=Kit k1" -days 30 -out k1.crt
der k1

# PKCS#8 private keys.
for t in rsa p256 p384 p521 dsa ed25519; do
  $O pkcs8 -topk8 -nocrypt -in "$t-leaf.key" -outform DER -out "$t.p8"
done
$O genpkey -algorithm ED448 -out ed448.key
$O pkcs8 -topk8 -nocrypt -in ed448.key -outform DER -out ed448.p8
rm -f ./*.csr ./*.srl

# Key files of the key-file readers, password "kit secret": traditional PEM,
# plain and encrypted; PKCS#8 PEM, plain and encrypted under several schemes.
P="pass:kit secret"
$O rsa -in rsa-leaf.key -traditional -out rsa-trad.pem 2>/dev/null
$O rsa -in rsa-leaf.key -traditional -outform DER -out rsa-trad.bin 2>/dev/null
$O rsa -in rsa-leaf.key -traditional -des3 -passout "$P" -out rsa-des3.pem 2>/dev/null
$O rsa -in rsa-leaf.key -traditional -aes128 -passout "$P" -out rsa-aes128.pem 2>/dev/null
$O rsa -in rsa-leaf.key -traditional -aes256 -passout "$P" -out rsa-aes256.pem 2>/dev/null
$O dsa -in dsa-leaf.key -out dsa-trad.pem 2>/dev/null
$O dsa -in dsa-leaf.key -outform DER -out dsa-trad.bin 2>/dev/null
$O dsa -in dsa-leaf.key -des3 -passout "$P" -out dsa-des3.pem 2>/dev/null
for t in rsa dsa p256 ed25519; do
  $O pkcs8 -topk8 -nocrypt -in "$t-leaf.key" -out "$t-p8.pem"
done
$O pkcs8 -topk8 -v2 des3 -v2prf hmacWithSHA1 -in rsa-leaf.key -passout "$P" -out rsa-p8des3.pem
$O pkcs8 -topk8 -v2 des3 -v2prf hmacWithSHA1 -in p256-leaf.key -passout "$P" -out p256-p8des3.pem
$O pkcs8 -topk8 -v2 des3 -in rsa-leaf.key -passout "$P" -out rsa-p8sha256.pem
$O pkcs8 -topk8 -v2 aes256 -in rsa-leaf.key -passout "$P" -out rsa-p8aes.pem
$O pkcs8 -topk8 -v1 PBE-SHA1-3DES -in rsa-leaf.key -passout "$P" -out rsa-p8v1.pem
# A 3000-bit key, whose blob width is not a multiple of 512 bits.
$O genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:3000 -out rsa3000.key 2>/dev/null
# SEC1 "EC PRIVATE KEY" files, with and without the public key.
for t in p256 p384 p521; do $O ec -in "$t-leaf.key" -out "$t-sec1.pem" 2>/dev/null; done
$O ec -in p256-leaf.key -no_public -out p256-nopub.pem 2>/dev/null
$O ecparam -genkey -name secp384r1 -out p384-param.pem

# Chain-verification cases. An intermediate with the name and key of rsa-int
# that expired in 2020; a leaf of rsa-int that is valid only from 2035.
$O req -new -key rsa-int.key -subj "/C=US/O=Kit Org/CN=Kit rsa Intermediate" -out chain.csr
faketime '2020-01-01 00:00:00' $O x509 -req -in chain.csr -CA rsa-root.crt -CAkey rsa-root.key -sha256 -days 30 \
  -set_serial 0x42 -extfile int.ext -out rsa-int-expired.crt 2>/dev/null
der rsa-int-expired
$O req -new -key rsa-leaf.key -subj "/C=US/O=Kit Org/OU=Servers/CN=kit.example" -out chain.csr
faketime '2035-01-01 00:00:00' $O x509 -req -in chain.csr -CA rsa-int.crt -CAkey rsa-int.key -sha256 -days 30 \
  -set_serial 0x43 -extfile leaf.ext -out rsa-leaf-future.crt 2>/dev/null
der rsa-leaf-future
# A self-signed leaf, and a self-signed decoy with its names under another key.
$O req -x509 -new -key rsa-leaf.key -sha256 -days 30 -set_serial 0x51 \
  -subj "/C=US/O=Kit Org/OU=Servers/CN=kit.example" -out self-leaf.crt
der self-leaf
$O req -x509 -new -key rsa-int.key -sha256 -days 30 -set_serial 0x52 \
  -subj "/C=US/O=Kit Org/OU=Servers/CN=kit.example" -out self-decoy.crt
der self-decoy
# Subject alternative names of every kind the manager reads or skips.
$O req -x509 -new -key p256-leaf.key -days 30 -subj "/CN=Kit san" -set_serial 0x0abc \
  -addext "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1,email:a@b,IP:2001:db8::8:800:200c:417a" -out san.crt
der san
rm -f ./*.csr ./*.srl
