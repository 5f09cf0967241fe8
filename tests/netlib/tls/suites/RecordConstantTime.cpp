// Record protection and the TLS 1.3 derivations with keys, MAC secrets and
// plaintext secret: sealing AEAD and CBC records, the record MAC and
// HKDF-Expand-Label.
#include <cstring>

#include "SecretProbe.h"
#include "crypto/digest/hash/HashAlgorithm.h"
#include "tls/suites/CipherSuite.h"

using namespace tornell;
using probe::Reveal;

namespace {

void Fill(char* b, int n, int salt) {
  for (int i = 0; i < n; ++i) b[i] = static_cast<char>(i * 29 + salt * 13 + 3);
}

// One record sealed with secret key and plaintext; the sealed bytes are public.
int SealRecord(int code) {
  CipherSuite suite;
  if (CipherSuite::CopyByCode(code, suite) != 0) return 1;
  char keyBytes[100], ivBytes[100], plain[100], nonce[12], aad[13];
  Fill(keyBytes, 100, 1);
  Fill(ivBytes, 100, 2);
  Fill(plain, 96, 3);
  Fill(nonce, 12, 4);
  Fill(aad, 13, 5);
  ByteString key, iv, out;
  if (key.Set(keyBytes, suite.GetKeyLength()) != 0 || iv.Set(ivBytes, suite.IsAead() ? 0 : 16) != 0) return 1;
  probe::MarkSecret(key.Data(), key.Length());
  probe::MarkSecret(plain, sizeof plain);
  int st = suite.SetKeyAndIv(key, iv);
  const WireBuffer n(nonce, 0, 12), a(aad, 0, 13);
  if (st == 0) st = suite.PrepareAead(n, a, nullptr);
  if (st == 0) st = suite.Encrypt(plain, 96, out);
  if (st == 0) st = suite.Encrypt(plain, 96, out);  // a second record: the key stays expanded
  Reveal(&st, sizeof st);
  Reveal(out.Data(), out.Length());
  return st != 0;
}

int AeadAndCbcRecords() { return SealRecord(0x1301) + SealRecord(0x1302) + SealRecord(0x1303) + SealRecord(0x0035); }

int RecordMac() {
  CipherSuite suite;
  if (CipherSuite::CopyByCode(0xC027, suite) != 0) return 1;
  char secret[32], data[77];
  Fill(secret, 32, 6);
  Fill(data, 77, 7);
  ByteString key, message, mac;
  if (key.Set(secret, 32) != 0 || message.Set(data, 77) != 0) return 1;
  probe::MarkSecret(key.Data(), key.Length());
  probe::MarkSecret(message.Data(), message.Length());
  int st = suite.SetMacSecret(key);
  if (st == 0) st = suite.ComputeMac(message, mac);
  Reveal(&st, sizeof st);
  Reveal(mac.Data(), mac.Length());
  return st != 0;
}

int ExpandLabel() {
  char secretBytes[48];
  Fill(secretBytes, 48, 8);
  ByteString secret, context, out;
  if (secret.Set(secretBytes, 48) != 0 || context.Set("transcript hash of some length", 30) != 0) return 1;
  probe::MarkSecret(secret.Data(), secret.Length());
  int st = CipherSuite::HkdfExpandLabel(HashAlgorithm::kSha384, secret, "key", context, 32, "tls13 ", out);
  if (st == 0) st = CipherSuite::DeriveSecret(HashAlgorithm::kSha384, secret, "derived", context, "tls13 ", out);
  Reveal(&st, sizeof st);
  Reveal(out.Data(), out.Length());
  return st != 0;
}

const probe::Case kCases[] = {
    {"records sealed with secret keys", AeadAndCbcRecords},
    {"record MAC", RecordMac},
    {"HKDF-Expand-Label", ExpandLabel},
};

}  // namespace

PROBE_MAIN(kCases)
