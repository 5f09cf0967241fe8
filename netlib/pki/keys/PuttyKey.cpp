// PuTTY user key files: header lines around a public and a private Base64
// blob, the private one under AES-256-CBC keyed by SHA-1 of the password.
#include <initializer_list>

#include "core/base/Status.h"
#include "crypto/cipher/engine/CipherMode.h"
#include "crypto/cipher/engine/SymmetricCipher.h"
#include "crypto/digest/hash/Sha1Digest.h"
#include "crypto/ecc/engine/EccEngine.h"
#include "pki/keys/KeyCodec.h"
#include "pki/keys/SecretWire.h"
#include "pki/keys/SshKeyFields.h"

namespace tornell::pki {

namespace {

constexpr const char kPuttyPrefix[] = "PuTTY-User-Key-File-";
constexpr int kAlgorithmAes = 0;
constexpr int kAesBlock = 16;

struct PuttyParts {
  ByteString encryption;
  ByteString publicBlob;
  SecretBytes privateBlob;
  bool haveEncryption = false;
  bool havePublic = false;
  bool havePrivate = false;
};

// The Base64 text from `from` up to the next occurrence of `until`; `next`
// gets that occurrence, where the line scan goes on.
int TakeBlock(const ByteString& text, int from, const char* until, ByteString& out, int& next) {
  const int end = text.Find(until, from);
  if (end < 0) return kKeyFileUnreadable;
  TORNELL_TRY(out.Set(text.Data() + from, end - from));
  next = end;
  return out.Base64Decode();
}

int ReadLines(const ByteString& text, PuttyParts& parts) {
  int at = 0;
  while (at < text.Length() && !(parts.haveEncryption && parts.havePublic && parts.havePrivate)) {
    int end = text.Find('\n', at);
    if (end < 0) end = text.Length();
    ByteString line;
    TORNELL_TRY(line.Set(text.Data() + at, end - at));
    TORNELL_TRY(line.Trim());
    int next = end + 1;
    const int colon = line.Find(':');
    ByteString name;
    TORNELL_TRY(name.Set(line.Data(), colon < 0 ? line.Length() : colon));
    TORNELL_TRY(name.Trim());
    if (colon >= 0 && name.Equals("Encryption")) {
      TORNELL_TRY(parts.encryption.Set(line.Data() + colon + 1, line.Length() - colon - 1));
      TORNELL_TRY(parts.encryption.Trim());
      parts.haveEncryption = true;
    } else if (name.Equals("Public-Lines")) {
      TORNELL_TRY(TakeBlock(text, next, "Private-Lines", parts.publicBlob, next));
      parts.havePublic = true;
    } else if (name.Equals("Private-Lines")) {
      TORNELL_TRY(TakeBlock(text, next, "Private-MAC", parts.privateBlob, next));
      parts.havePrivate = true;
    }
    at = next;
  }
  return parts.haveEncryption && parts.havePublic && parts.havePrivate ? kStatusOk : kKeyFileUnreadable;
}

// Key: SHA-1(00000000 || password) || SHA-1(00000001 || password), first 32 bytes.
int DecryptPrivateBlob(const SecretBytes& password, SecretBytes& blob) {
  if (blob.Length() % kAesBlock != 0) return kKeyFileUnreadable;
  SecretBytes key;
  for (unsigned char counter = 0; counter < 2; ++counter) {
    const char prefix[4] = {0, 0, 0, static_cast<char>(counter)};
    Sha1Digest sha;
    TORNELL_TRY(sha.Update(prefix, 4));
    TORNELL_TRY(sha.Update(password.Data(), password.Length()));
    TORNELL_TRY(key.Append(sha.Final(), Sha1Digest::kDigestBytes));
    TORNELL_TRY(sha.Reset());
  }
  static const char kZeroIv[kAesBlock] = {};
  SymmetricCipher cipher;
  TORNELL_TRY(cipher.SetAlgorithm(kAlgorithmAes));
  TORNELL_TRY(cipher.SetMode(CipherMode::CBC));
  TORNELL_TRY(cipher.InitDecrypt(key.Data(), 32, kZeroIv, kAesBlock));
  SecretBytes plain;
  TORNELL_TRY(cipher.Final(blob.Data(), 0, blob.Length(), plain));
  return blob.Set(plain.Data(), plain.Length());
}

int ReadStrings(WireBuffer& in, std::initializer_list<ByteString*> fields) {
  for (ByteString* field : fields) TORNELL_TRY(in.GetLengthPrefixed(*field));
  return kStatusOk;
}

int ReadRsa(WireBuffer& pub, WireBuffer& priv, RsaKey& key) {
  TORNELL_TRY(ReadStrings(pub, {&key.e, &key.n}));
  TORNELL_TRY(ReadStrings(priv, {&key.d, &key.p, &key.q, &key.qInv}));
  return DeriveRsaCrtExponents(key);
}

int ReadEcdsa(WireBuffer& pub, WireBuffer& priv, EcKey& key) {
  ByteString curve, point;
  TORNELL_TRY(ReadStrings(pub, {&curve, &point}));
  key.curveIndex = SshCurveIndex(curve);
  if (key.curveIndex < 0) return kKeyFileUnreadable;
  TORNELL_TRY(EccEngine::DecodeUncompressedPoint(point, key.X, key.Y));
  return priv.GetLengthPrefixed(key.D);
}

int ReadEdwards(WireBuffer& pub, WireBuffer& priv, int curveIndex, EcKey& key) {
  key.curveIndex = curveIndex;
  TORNELL_TRY(pub.GetLengthPrefixed(key.edPublic));
  return priv.GetLengthPrefixed(key.edPrivate);
}

int ReadFields(WireBuffer& pub, WireBuffer& priv, KeyHolder& holder) {
  ByteString type;
  TORNELL_TRY(pub.GetLengthPrefixed(type));
  if (type.Equals("ssh-rsa")) {
    holder.type = kKeyTypeRsa;
    return ReadRsa(pub, priv, holder.rsaKey);
  }
  if (type.Equals("ssh-dss")) {
    holder.type = kKeyTypeDsa;
    DsaKey& key = holder.dsaKey;
    TORNELL_TRY(ReadStrings(pub, {&key.p, &key.q, &key.g, &key.y}));
    return priv.GetLengthPrefixed(key.x);
  }
  if (type.Equals("ssh-ed25519") || type.Equals("ssh-ed448")) {
    holder.type = kKeyTypeEdDsa;
    return ReadEdwards(pub, priv, type.Equals("ssh-ed25519") ? eckeycurve::kEd25519 : eckeycurve::kEd448,
                       holder.edDsaKey);
  }
  if (type.Equals("ecdsa-sha2-nistp256") || type.Equals("ecdsa-sha2-nistp384") || type.Equals("ecdsa-sha2-nistp521")) {
    holder.type = kKeyTypeEc;
    return ReadEcdsa(pub, priv, holder.ecKey);
  }
  return kKeyFileUnreadable;
}

int ReadPutty(const ByteString& text, const SecretBytes& password, KeyHolder& holder) {
  PuttyParts parts;
  TORNELL_TRY(ReadLines(text, parts));
  if (parts.encryption.EqualsIgnoreCase("aes256-cbc")) {
    TORNELL_TRY(DecryptPrivateBlob(password, parts.privateBlob));
  } else if (!parts.encryption.EqualsIgnoreCase("none")) {
    return kKeyFileUnreadable;
  }
  WireBuffer pub;
  SecretWire priv;
  TORNELL_TRY(pub.Assign(parts.publicBlob.Data(), 0, parts.publicBlob.Length()));
  TORNELL_TRY(priv.Assign(parts.privateBlob.Data(), 0, parts.privateBlob.Length()));
  TORNELL_TRY(ReadFields(pub, priv, holder));
  // Without the MAC, a wrong password shows only here: the fields of a
  // decrypted blob end within its last block of padding.
  return priv.Remaining() < kAesBlock ? kStatusOk : kKeyFileUnreadable;
}

}  // namespace

int KeyCodec::ReadPuttyKey(const char* data, int length, const SecretBytes& password, KeyHolder& holder) {
  SecretBytes text;
  TORNELL_TRY(text.Set(data, length));
  TORNELL_TRY(text.Trim());
  if (!text.StartsWith(kPuttyPrefix)) return kKeyFormatNotFound;
  return ReadPutty(text, password, holder) == kStatusOk ? kStatusOk : kKeyFileUnreadable;
}

}  // namespace tornell::pki
