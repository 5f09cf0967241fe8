// OpenSSH private keys ("openssh-key-v1"): header, public key, and the
// private section, encrypted under a key from bcrypt_pbkdf.
#include <cstring>

#include "core/base/Status.h"
#include "crypto/cipher/engine/CipherMode.h"
#include "crypto/cipher/engine/SymmetricCipher.h"
#include "crypto/ecc/engine/EccEngine.h"
#include "pki/keys/KeyCodec.h"
#include "pki/keys/SecretWire.h"
#include "pki/keys/SshKeyFields.h"

namespace tornell::pki {

namespace {

constexpr int kMagicLength = 15;  // "openssh-key-v1" and its NUL
constexpr int kAlgorithmAes = 0;
constexpr int kAesBlock = 16;

// The number of string fields after the type in a public key blob.
int PublicFieldCount(const ByteString& type) {
  if (type.EqualsIgnoreCase("ssh-rsa")) return 2;
  if (type.EqualsIgnoreCase("ssh-dss")) return 4;
  if (type.StartsWith("ecdsa-sha2-")) return 2;
  if (type.EqualsIgnoreCase("ssh-ed25519") || type.EqualsIgnoreCase("ssh-ed448")) return 1;
  return 0;
}

// The public key is only checked for form: the private section repeats it.
int SkipPublicKey(WireBuffer& in) {
  ByteString blob;
  TORNELL_TRY(in.GetLengthPrefixed(blob));
  WireBuffer fields;
  TORNELL_TRY(fields.Assign(blob.Data(), 0, blob.Length()));
  ByteString type, field;
  TORNELL_TRY(fields.GetLengthPrefixed(type));
  for (int i = PublicFieldCount(type); i > 0; --i) TORNELL_TRY(fields.GetLengthPrefixed(field));
  return kStatusOk;
}

// Replaces the rest of the reader (at most sectionLength bytes) by its
// AES-256-CBC decryption; reading goes on at its start.
int DecryptSection(SecretWire& in, int sectionLength, const SecretBytes& key, const SecretBytes& iv) {
  const int count = sectionLength < in.Remaining() ? sectionLength : in.Remaining();
  if (count % kAesBlock != 0) return kKeyFormatNotFound;
  SymmetricCipher cipher;
  TORNELL_TRY(cipher.SetAlgorithm(kAlgorithmAes));
  TORNELL_TRY(cipher.SetMode(CipherMode::CBC));
  TORNELL_TRY(cipher.InitDecrypt(key.Data(), key.Length(), iv.Data(), iv.Length()));
  SecretBytes plain;
  TORNELL_TRY(cipher.Final(in.Data(), in.Position(), count, plain));
  return in.Assign(plain.Data(), 0, plain.Length());
}

int ReadRsa(WireBuffer& in, KeyHolder& holder) {
  RsaKey& key = holder.rsaKey;
  for (ByteString* field : {static_cast<ByteString*>(&key.n), static_cast<ByteString*>(&key.e),
                            static_cast<ByteString*>(&key.d), static_cast<ByteString*>(&key.qInv),
                            static_cast<ByteString*>(&key.p), static_cast<ByteString*>(&key.q)}) {
    TORNELL_TRY(in.GetLengthPrefixed(*field));
  }
  return DeriveRsaCrtExponents(key);
}

int ReadDsa(WireBuffer& in, KeyHolder& holder) {
  DsaKey& key = holder.dsaKey;
  for (ByteString* field : {static_cast<ByteString*>(&key.p), static_cast<ByteString*>(&key.q),
                            static_cast<ByteString*>(&key.g), static_cast<ByteString*>(&key.y),
                            static_cast<ByteString*>(&key.x)}) {
    TORNELL_TRY(in.GetLengthPrefixed(*field));
  }
  return kStatusOk;
}

int ReadEcdsa(WireBuffer& in, KeyHolder& holder) {
  ByteString curve, point;
  TORNELL_TRY(in.GetLengthPrefixed(curve));
  TORNELL_TRY(in.GetLengthPrefixed(point));
  TORNELL_TRY(in.GetLengthPrefixed(holder.ecKey.D));
  holder.ecKey.curveIndex = SshCurveIndex(curve);
  if (holder.ecKey.curveIndex < 0) return kKeyFormatNotFound;
  return EccEngine::DecodeUncompressedPoint(point, holder.ecKey.X, holder.ecKey.Y);
}

// The private field is the seed followed by the public key; the key keeps the seed.
int ReadEdwards(WireBuffer& in, int curveIndex, int seedLength, KeyHolder& holder) {
  EcKey& key = holder.edDsaKey;
  key.curveIndex = curveIndex;
  ByteString comment;
  TORNELL_TRY(in.GetLengthPrefixed(key.edPublic));
  TORNELL_TRY(in.GetLengthPrefixed(key.edPrivate));
  TORNELL_TRY(in.GetLengthPrefixed(comment));
  if (key.edPrivate.Length() < seedLength) return kKeyFormatNotFound;
  TORNELL_TRY(key.edPrivate.SetLength(seedLength));
  return holder.AddAttribute("Comment", comment.CStr());
}

int ReadPrivateFields(WireBuffer& in, KeyHolder& holder) {
  ByteString type;
  TORNELL_TRY(in.GetLengthPrefixed(type));
  if (type.EqualsIgnoreCase("ssh-rsa")) {
    holder.type = kKeyTypeRsa;
    return ReadRsa(in, holder);
  }
  if (type.EqualsIgnoreCase("ssh-dss")) {
    holder.type = kKeyTypeDsa;
    return ReadDsa(in, holder);
  }
  if (type.StartsWith("ecdsa-sha2-")) {
    holder.type = kKeyTypeEc;
    return ReadEcdsa(in, holder);
  }
  if (type.EqualsIgnoreCase("ssh-ed25519")) {
    holder.type = kKeyTypeEdDsa;
    return ReadEdwards(in, eckeycurve::kEd25519, 32, holder);
  }
  if (type.EqualsIgnoreCase("ssh-ed448")) {
    holder.type = kKeyTypeEdDsa;
    return ReadEdwards(in, eckeycurve::kEd448, 57, holder);
  }
  return kKeyFormatNotFound;
}

int ReadOpenSsh(const char* data, int length, const SecretBytes& password, KeyHolder& holder) {
  TextArmor body;
  TORNELL_TRY(KeyFileFormats::ExtractArmorBody(body, "OPENSSH PRIVATE KEY", data, length));
  TORNELL_TRY(body.Base64Decode());
  SecretWire in;
  TORNELL_TRY(in.Assign(body.Data(), 0, body.Length()));
  if (in.Remaining() < kMagicLength) return kKeyFormatNotFound;
  in.Skip(kMagicLength);
  ByteString cipherName, kdfName, options, salt;
  TORNELL_TRY(in.GetLengthPrefixed(cipherName));
  TORNELL_TRY(in.GetLengthPrefixed(kdfName));
  TORNELL_TRY(in.GetLengthPrefixed(options));
  const bool bcrypt = kdfName.EqualsIgnoreCase("bcrypt");
  if (!bcrypt && !kdfName.EqualsIgnoreCase("none")) return kKeyFormatNotFound;
  int rounds = 0, keyCount = 0, sectionLength = 0;
  if (bcrypt) {
    WireBuffer kdf;
    TORNELL_TRY(kdf.Assign(options.Data(), 0, options.Length()));
    TORNELL_TRY(kdf.GetLengthPrefixed(salt));
    TORNELL_TRY(kdf.GetU32(rounds));
    // bcrypt_pbkdf is defined for one round and more.
    if (rounds < 1) return kKeyFormatNotFound;
  }
  TORNELL_TRY(in.GetU32(keyCount));
  TORNELL_TRY(SkipPublicKey(in));
  TORNELL_TRY(in.GetU32(sectionLength));
  if (sectionLength < 0) return kKeyFormatNotFound;
  if (bcrypt) {
    SecretBytes key, iv;
    TORNELL_TRY(KeyFileFormats::BcryptPbkdf(password, "bcrypt", salt.Bytes(), salt.Length(), rounds, key, iv));
    TORNELL_TRY(DecryptSection(in, sectionLength, key, iv));
  }
  // Two equal check values open the section: a wrong password shows here.
  int check1 = 0, check2 = 0;
  TORNELL_TRY(in.GetU32(check1));
  TORNELL_TRY(in.GetU32(check2));
  if (check1 != check2) return kKeyFormatNotFound;
  return ReadPrivateFields(in, holder);
}

}  // namespace

int KeyCodec::ReadOpenSshKey(const char* data, int length, const SecretBytes& password, KeyHolder& holder) {
  return ReadOpenSsh(data, length, password, holder) == kStatusOk ? kStatusOk : kKeyFormatNotFound;
}

}  // namespace tornell::pki
