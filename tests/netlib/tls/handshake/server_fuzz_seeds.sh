#!/bin/sh
# Seeds of the server fuzzer: ClientHellos of every form behind a mode byte,
# and the certificates the fuzzer loads from beside itself (PKCS#12 password
# "fuzz").
# Usage: server_fuzz_seeds.sh <source root> <work folder>
set -eu
W=$2
mkdir -p "$W/seeds"
cd "$W"
openssl req -x509 -newkey rsa:2048 -nodes -keyout rsa.key -out rsa.crt -days 30 -subj /CN=localhost 2>/dev/null
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout p256.key -out p256.crt -days 30 \
  -subj /CN=localhost 2>/dev/null
for k in rsa p256; do
  openssl pkcs12 -export -inkey $k.key -in $k.crt -passout pass:fuzz -out $k.p12
done
/usr/bin/python3 "$1/tests/netlib/tls/handshake/server_fuzz_seeds.py" "$W/seeds"
