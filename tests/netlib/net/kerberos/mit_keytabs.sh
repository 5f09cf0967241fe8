#!/bin/sh
# Builds a scratch realm in $1 with the MIT tools (no KDC needs to run) and
# writes key tables: user.keytab (kadmin ktadd -norandkey of a password
# principal), alice.keytab (ktutil addent -password, three etypes) and
# http.keytab (ktadd twice, then ktremove old: holes before the live entries).
set -e
K=$1
mkdir -p "$K"
cat > "$K/krb5.conf" <<CONF
[libdefaults]
 default_realm = TEST.LOCAL
 dns_lookup_kdc = false
 dns_lookup_realm = false
 allow_weak_crypto = true
[realms]
 TEST.LOCAL = {
  kdc = 127.0.0.1:1
 }
CONF
cat > "$K/kdc.conf" <<CONF
[realms]
 TEST.LOCAL = {
  database_name = $K/principal
  key_stash_file = $K/stash
  acl_file = $K/kadm5.acl
  supported_enctypes = aes256-cts-hmac-sha1-96:normal aes128-cts-hmac-sha1-96:normal arcfour-hmac:normal
 }
[logging]
 default = FILE:$K/kdc.log
CONF
export KRB5_CONFIG="$K/krb5.conf" KRB5_KDC_PROFILE="$K/kdc.conf" KRB5CCNAME="FILE:$K/ccache"
kdb5_util create -s -r TEST.LOCAL -P masterpw >/dev/null 2>&1
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
