#!/bin/sh
# Seeds of the proxy reply fuzzer: whole exchanges of the authenticated
# tunnels (a 407 with a challenge, its body, the reply to the second request).
# Usage: fuzz_seeds.sh <source root> <work folder>
set -eu
SEEDS="$2/seeds"
mkdir -p "$SEEDS"
# piece line|raw TEXT: the length byte (top bit set for a record), then TEXT.
piece() {
  n=${#2}
  [ "$1" = line ] && n=$((n + 128))
  printf "\\$(printf %03o "$n")"
  printf '%s' "$2"
}
challenge() {
  piece line "HTTP/1.1 407 Proxy Authentication Required"
  piece line "$1"
  piece line "Content-Length: 12"
  piece line ""
  piece raw "<html>"
  piece raw "</html>"
}
second() {
  piece line "HTTP/1.1 200 Connection established"
  piece line "Proxy-Agent: seed"
  piece line ""
  piece raw "tunnel"
}
# The first byte picks the exchange (its value modulo 7: 3 NTLM, 4 Negotiate,
# 5 Digest) and sets a user and a password (bits 0x10 and 0x20).
{ printf '\064'; challenge "Proxy-Authenticate: NTLM TlRMTVNTUAACAAAAAAAAAAAAAAAFgggAASNFZ4mrze8AAAAAAAAAAAAAAAAAAAAABgGxHQAAAA8="
  second; } >"$SEEDS/ntlm"
{ printf '\065'; challenge "Proxy-Authenticate: Negotiate TlRMTVNTUAACAAAAAAAAAAAAAAAFgggAASNFZ4mrze8AAAAAAAAAAAAAAAAAAAAABgGxHQAAAA8="
  second; } >"$SEEDS/negotiate"
{ printf '\066'; challenge 'Proxy-Authenticate: Digest realm="r", qop="auth", nonce="n", opaque="o"'; second; } \
  >"$SEEDS/digest"
{ printf '\066'
  piece line "HTTP/1.1 407 Proxy Authentication Required"
  piece line 'Proxy-Authenticate: Digest realm="r", nonce="n"'
  piece line "Transfer-Encoding: chunked"
  piece line ""
  piece line "6;x=1"
  piece line "<html>"
  piece line "0"
  piece line "X-Trailer: 1"
  piece line ""
  second; } >"$SEEDS/digest-chunked"
