// libFuzzer target: key table parsing and the three decryptions on
// arbitrary bytes. The first byte picks the parser and the key usage.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "net/kerberos/KerberosClient.h"
#include "net/kerberos/Keytab.h"

namespace {

void Require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

const int kEtypes[] = {3, 23, 17, 18};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 16) return 0;
  const uint8_t choice = data[0];
  const char* rest = reinterpret_cast<const char*>(data + 1);
  const int length = static_cast<int>(size - 1);
  if (choice % 5 == 4) {
    tornell::net::Keytab keytab;
    Require(keytab.SetFileName("fuzz") == 0, "file name");
    const int status = keytab.Parse(rest, length);
    Require(status == 0 || status == tornell::net::kStatusKeytabTruncated || status == 200, "keytab status");
    for (int i = 0; i < keytab.Count(); ++i) Require(keytab.Entry(i) != nullptr, "entry");
    for (const int etype : kEtypes) {
      if (keytab.SelectKey(etype) == 1) Require(keytab.GetSelectedRealm() != nullptr, "selected realm");
    }
    return 0;
  }
  const int etype = kEtypes[choice % 5];
  const int keyLength = etype == 3 ? 8 : etype == 18 ? 32 : 16;
  tornell::ByteString key, ciphertext, plain;
  Require(key.Resize(keyLength) == 0, "key");
  for (int i = 0; i < keyLength; ++i) key.Data()[i] = static_cast<char>(0x11 * (i + 1));
  Require(ciphertext.Set(rest, length) == 0, "ciphertext");
  tornell::KerberosClient client;
  const int status = client.DecryptData(etype, ciphertext, key, choice >> 3, plain);
  Require(status != 0 || plain.Length() <= length, "plaintext longer than the ciphertext");
  return 0;
}
