// SSH2 ("SSH2 ENCRYPTED PRIVATE KEY") private keys: a header, then an RSA or
// DSA key body, plain or under 3DES or AES-128 with the password-first MD5
// key derivation.
#include <cstring>

#include "core/base/Status.h"
#include "pki/keys/KeyCodec.h"
#include "pki/keys/SecretModulo.h"
#include "pki/keys/SecretWire.h"

namespace tornell::pki {

namespace {

constexpr int kSsh2Magic = 0x3F6FF9EB;
constexpr const char kSsh2Error[] = "Could not read SSH2 encrypted key";

bool IsSsh2CipherName(const ByteString& name) {
  for (const char* known : {"3des-cbc", "DES-EDE3-CBC", "DES-EDE3-CFB", "AES-128-CBC"}) {
    if (name.Equals(known)) return true;
  }
  return false;
}

// The header up to the key body; the body is decrypted in place. Only the
// key type decides what comes next, so any failure here is the caller's 280.
int ReadHeader(const void* body, int length, const SecretBytes& password, ByteString& keyType, TextArmor& keyData) {
  SecretWire in;
  TORNELL_TRY(in.Assign(body, 0, length));
  int magic = 0, total = 0;
  TORNELL_TRY(in.GetU32(magic));
  TORNELL_TRY(in.GetU32(total));
  if (magic != kSsh2Magic || total <= 0) return kKeyFileUnreadable;
  ByteString cipherName;
  TORNELL_TRY(in.GetLengthPrefixed(keyType));
  TORNELL_TRY(in.GetLengthPrefixed(cipherName));
  TORNELL_TRY(in.GetLengthPrefixed(keyData));
  if (cipherName.Equals("none")) return kStatusOk;
  if (!IsSsh2CipherName(cipherName)) return kKeyFileUnreadable;
  return KeyFileFormats::DecryptPemBody(cipherName.CStr(), keyData, password, nullptr, 0, 1, nullptr, 0, nullptr);
}

// The first four bytes, as the blob takes the exponent as a 32-bit value.
int ShortExponent(const ByteString& e, ByteString& out) { return out.Set(e.Data(), e.Length() < 4 ? e.Length() : 4); }

}  // namespace

int KeyCodec::ReadSsh2EncryptedKey(const void* body, int length, const SecretBytes& password, TextArmor& blob,
                                   KeyHolder& holder, ByteString& errorText) {
  ByteString keyType;
  TextArmor keyData;
  if (ReadHeader(body, length, password, keyType, keyData) == kStatusOk) {
    if (keyType.StartsWith("if-modn{sign{rsa")) return ReadSsh2RsaKey(keyData.Data(), keyData.Length(), blob, holder);
    if (keyType.StartsWith("dl-modp{sign{dsa")) return ReadSsh2DsaKey(keyData.Data(), keyData.Length(), blob, holder);
  }
  TORNELL_TRY(errorText.Set(kSsh2Error));
  return kKeyFileUnreadable;
}

int KeyCodec::ReadSsh2RsaKey(const void* body, int length, TextArmor& blob, KeyHolder& holder) {
  SecretWire in;
  TORNELL_TRY(in.Assign(body, 0, length));
  int skipped = 0;
  TORNELL_TRY(in.GetU32(skipped));
  // The file orders the primes the other way round: its p is the key's q.
  ByteString e, n;
  SecretBytes d, u, p, q;
  for (ByteString* field : {&e, static_cast<ByteString*>(&d), &n, static_cast<ByteString*>(&u),
                            static_cast<ByteString*>(&q), static_cast<ByteString*>(&p)}) {
    TORNELL_TRY(in.GetBitCountPrefixed(*field));
  }
  SecretBytes dP, dQ, qInv;
  ByteString e32;
  TORNELL_TRY(ReduceSecret(d, p, 1, dP));
  TORNELL_TRY(ReduceSecret(d, q, 1, dQ));
  TORNELL_TRY(ReduceSecret(u, p, 0, qInv));
  TORNELL_TRY(ShortExponent(e, e32));
  TORNELL_TRY(KeyFileFormats::WriteRsaBlob(blob, n, e32, p, q, dP, dQ, qInv, d));
  holder.type = kKeyTypeRsa;
  RsaKey& key = holder.rsaKey;
  TORNELL_TRY(key.n.Assign(n));
  TORNELL_TRY(key.e.Assign(e));
  TORNELL_TRY(key.d.Assign(d));
  TORNELL_TRY(key.p.Assign(p));
  TORNELL_TRY(key.q.Assign(q));
  return key.qInv.Assign(u);
}

int KeyCodec::ReadSsh2DsaKey(const void* body, int length, TextArmor& blob, KeyHolder& holder) {
  SecretWire in;
  TORNELL_TRY(in.Assign(body, 0, length));
  int skipped = 0;
  TORNELL_TRY(in.GetU32(skipped));
  TORNELL_TRY(in.GetU32(skipped));
  ByteString p, g, q, y;
  SecretBytes x;
  for (ByteString* field : {&p, &g, &q, &y, static_cast<ByteString*>(&x)}) TORNELL_TRY(in.GetBitCountPrefixed(*field));
  TORNELL_TRY(KeyFileFormats::WriteDssBlob(blob, p, q, g, y, x));
  holder.type = kKeyTypeDsa;
  DsaKey& key = holder.dsaKey;
  TORNELL_TRY(key.p.Assign(p));
  TORNELL_TRY(key.q.Assign(q));
  TORNELL_TRY(key.g.Assign(g));
  TORNELL_TRY(key.y.Assign(y));
  return key.x.Assign(x);
}

}  // namespace tornell::pki
