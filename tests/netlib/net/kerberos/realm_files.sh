# Sourced by the realm scripts: writes krb5.conf and kdc.conf for TEST.LOCAL
# in $K with the KDC on 127.0.0.1:$P, points the MIT tools at them and makes
# the database.
mkdir -p "$K"
cat > "$K/krb5.conf" <<CONF
[libdefaults]
 default_realm = TEST.LOCAL
 dns_lookup_kdc = false
 dns_lookup_realm = false
 rdns = false
 dns_canonicalize_hostname = false
 allow_weak_crypto = true
 allow_rc4 = true
[realms]
 TEST.LOCAL = {
  kdc = 127.0.0.1:$P
 }
[domain_realm]
 localhost = TEST.LOCAL
CONF
# The KDC reads its library settings from here, not from KRB5_CONFIG; without
# allow_rc4 it issues no rc4-hmac session key.
cat > "$K/kdc.conf" <<CONF
[libdefaults]
 allow_weak_crypto = true
 allow_rc4 = true
[kdcdefaults]
 kdc_listen = 127.0.0.1:$P
 kdc_tcp_listen = 127.0.0.1:$P
[realms]
 TEST.LOCAL = {
  database_name = $K/principal
  key_stash_file = $K/stash
  acl_file = $K/kadm5.acl
  supported_enctypes = aes256-cts-hmac-sha1-96:normal aes128-cts-hmac-sha1-96:normal arcfour-hmac:normal
 }
[logging]
 kdc = FILE:$K/kdc.log
 default = FILE:$K/kdc.log
CONF
export KRB5_CONFIG="$K/krb5.conf" KRB5_KDC_PROFILE="$K/kdc.conf" KRB5CCNAME="FILE:$K/ccache"
kdb5_util create -s -r TEST.LOCAL -P masterpw >/dev/null 2>&1
