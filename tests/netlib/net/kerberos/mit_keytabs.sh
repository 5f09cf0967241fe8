#!/bin/sh
# Builds a scratch realm in $1 with the MIT tools (no KDC needs to run) and
# writes key tables: user.keytab (kadmin ktadd -norandkey of a password
# principal), alice.keytab (ktutil addent -password, three etypes) and
# http.keytab (ktadd twice, then ktremove old: holes before the live entries).
set -e
K=$1
P=1  # no KDC runs
. "$(dirname "$0")/realm_files.sh"
kadmin.local -q "addprinc -pw userpw user" >/dev/null 2>&1
kadmin.local -q "ktadd -k $K/user.keytab -norandkey user" >/dev/null 2>&1
printf '%s\n' \
  "addent -password -p alice@TEST.LOCAL -k 1 -e aes128-cts-hmac-sha1-96" alicepw \
  "addent -password -p alice@TEST.LOCAL -k 1 -e aes256-cts-hmac-sha1-96" alicepw \
  "addent -password -p alice@TEST.LOCAL -k 1 -e rc4-hmac" alicepw \
  "wkt $K/alice.keytab" quit | ktutil >/dev/null 2>&1
kadmin.local -q "addprinc -randkey HTTP/localhost" >/dev/null 2>&1
kadmin.local -q "ktadd -k $K/http.keytab HTTP/localhost" >/dev/null 2>&1
kadmin.local -q "ktadd -k $K/http.keytab HTTP/localhost" >/dev/null 2>&1
kadmin.local -q "ktremove -k $K/http.keytab HTTP/localhost old" >/dev/null 2>&1
for f in user alice http; do
  klist -kteK "$K/$f.keytab" > "$K/$f.klist"
done
