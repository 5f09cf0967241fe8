#!/bin/sh
# Builds a realm for a KDC on 127.0.0.1:$2 (UDP and TCP) in the folder $1:
# user (aes keys, no pre-authentication), alice (aes keys, pre-authentication
# required), carol (rc4-hmac and aes keys, pre-authentication required),
# HTTP/localhost with http.keytab, user.keytab (ktadd -norandkey) and user-rc4.keytab (an rc4 key only).
set -e
K=$1
P=$2
. "$(dirname "$0")/realm_files.sh"
AES=aes256-cts-hmac-sha1-96:normal,aes128-cts-hmac-sha1-96:normal
kadmin.local -q "addprinc -e $AES -pw userpw user" >/dev/null 2>&1
kadmin.local -q "addprinc -e $AES -pw alicepw +requires_preauth alice" >/dev/null 2>&1
kadmin.local -q "addprinc -e arcfour-hmac:normal,$AES -pw carolpw +requires_preauth carol" >/dev/null 2>&1
kadmin.local -q "addprinc -randkey HTTP/localhost" >/dev/null 2>&1
kadmin.local -q "ktadd -k $K/http.keytab HTTP/localhost" >/dev/null 2>&1
kadmin.local -q "ktadd -k $K/user.keytab -norandkey user" >/dev/null 2>&1
printf '%s\n' "addent -password -p user@TEST.LOCAL -k 1 -e rc4-hmac" userpw "wkt $K/user-rc4.keytab" quit \
  | ktutil >/dev/null 2>&1
