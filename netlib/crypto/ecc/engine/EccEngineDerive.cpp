// Key derivation after an ECDH agreement, the ECIES-style encryption
// (3DES-CBC and HMAC-SHA1 keyed from the shared x) and the CNG key blob.
#include <cstring>

#include "core/secure/ConstantTime.h"
#include "core/text/SecretBytes.h"
#include "crypto/digest/hash/HashAlgorithm.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/digest/mac/TlsPrf.h"
#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/curve/EcStatus.h"
#include "crypto/ecc/engine/EccEngine.h"
#include "crypto/ecc/engine/EccEngineScalar.h"

namespace tornell {

namespace {

constexpr int kPrfKdf = 12;
constexpr int kPrfSeedLength = 64;
constexpr int kPrfOutput = 48;
constexpr int kCipherKeyBytes = 24;
constexpr int kMacKeyBytes = 20;
constexpr int kTagBytes = 20;
constexpr int kBlockBytes = 8;
constexpr int kChunkBytes = 65536;
constexpr int kAlgorithm3Des = 2;
constexpr int kModeCbc = 1;
constexpr int kPaddingPkcs7 = 2;
constexpr unsigned char kZeroIv[kBlockBytes] = {};

// Hash ids of the plain (0-6) and HMAC (7-11) derivations.
int KdfHash(int kdf) {
  using namespace HashAlgorithm;
  static constexpr int kIds[] = {kSha1, kSha256, kSha384, kSha512, kMd2, kMd4, kMd5,
                                 kSha1, kSha256, kSha384, kSha512, kMd5};
  return kdf >= 0 && kdf < static_cast<int>(sizeof kIds / sizeof kIds[0]) ? kIds[kdf] : kSha1;
}

void PutBigEndian32(uint32_t v, unsigned char* out) {
  out[0] = static_cast<unsigned char>(v >> 24);
  out[1] = static_cast<unsigned char>(v >> 16);
  out[2] = static_cast<unsigned char>(v >> 8);
  out[3] = static_cast<unsigned char>(v);
}

int AppendPart(ByteString& out, const char* data, int length) {
  return data != nullptr && length > 0 ? out.Append(data, length) : 0;
}

// Key-blob magic digits by curve index: public, private.
constexpr char kBlobDigits[3][2] = {{'1', '2'}, {'3', '4'}, {'5', '6'}};

}  // namespace

int EccEngine::CheckAgreementKeys(EcKey& peer, ByteString& z) {
  int status = LoadCurve();
  if (status != 0) return status;
  if (X.Length() == 0 || Y.Length() == 0) return kEcPublicMissing;
  if (D.Length() == 0) return kEcPrivateMissing;
  if (peer.X.Length() == 0 || peer.Y.Length() == 0) return kEcPublicMissing;
  if (curveIndex != peer.curveIndex) return kEcCurveMismatch;
  return ComputeSharedSecret(D, peer, 0, z);
}

int EccEngine::DeriveKey(EcKey& peer, int kdf, const char* first, int firstLength, const char* second,
                         int secondLength, const char* hmacKey, int hmacKeyLength, ByteString& out) {
  if (kdf == kPrfKdf) {
    if (secondLength != kPrfSeedLength) return kEcPrfSeedLength;
    if (firstLength < 1) return kEcPrfEmptyLabel;
  }
  SecretBytes z;
  int status = CheckAgreementKeys(peer, z);
  if (status != 0) return status;
  SecretBytes input;
  if (kdf == kPrfKdf) {
    status = AppendPart(input, first, firstLength);
    if (status == 0) status = AppendPart(input, second, secondLength);
    if (status == 0) status = TlsPrf::Tls10Prf(z, input, kPrfOutput, out);
  } else {
    status = AppendPart(input, first, firstLength);
    if (status == 0) status = input.Append(z);
    if (status == 0) status = AppendPart(input, second, secondLength);
    if (status == 0 && kdf >= 7 && kdf <= 11) {
      Hmac hmac;
      status = hmac.Init(KdfHash(kdf), hmacKey, hmacKeyLength > 0 ? hmacKeyLength : 0);
      if (status == 0) status = hmac.Mac(input.Data(), input.Length(), out);
    } else if (status == 0) {
      HashContext hash;
      status = hash.SetAlgorithm(KdfHash(kdf));
      if (status == 0) status = hash.Digest(input.Data(), input.Length(), out);
    }
  }
  return status;
}

int EccEngine::DeriveKeyConcat(EcKey& peer, const char* hashName, const char* algorithmId, int algorithmIdLength,
                               const char* partyUInfo, int partyULength, const char* partyVInfo, int partyVLength,
                               const char* suppPubInfo, int suppPubLength, const char* suppPrivInfo,
                               int suppPrivLength, ByteString& out) {
  SecretBytes z;
  int status = CheckAgreementKeys(peer, z);
  if (status != 0) return status;
  if (algorithmIdLength < 1) return kEcNoAlgorithmId;
  if (partyULength < 1) return kEcNoPartyUInfo;
  if (partyVLength < 1) return kEcNoPartyVInfo;
  ByteString otherInfo;
  status = AppendPart(otherInfo, algorithmId, algorithmIdLength);
  if (status == 0) status = AppendPart(otherInfo, partyUInfo, partyULength);
  if (status == 0) status = AppendPart(otherInfo, partyVInfo, partyVLength);
  if (status == 0) status = AppendPart(otherInfo, suppPubInfo, suppPubLength);
  if (status == 0) status = AppendPart(otherInfo, suppPrivInfo, suppPrivLength);
  HashContext hash;
  // An unknown name is refused: deriving with a digest nobody asked for would go unnoticed.
  if (status == 0) status = hash.SetAlgorithm(hashName != nullptr && hashName[0] != 0 ? hashName : "SHA256");
  if (status == 0) status = ConcatKdf(hash, z, otherInfo, out);
  return status;
}

int EccEngine::ConcatKdf(HashContext& hash, const ByteString& z, const ByteString& otherInfo, ByteString& out) {
  const int h = HashContext::DigestLengthOf(hash.GetAlgorithm());
  if (h <= 0) return kEcUnknownHash;
  const int reps = 32 / h > 1 ? 32 / h : 1;
  out.Clear();
  int status = 0;
  for (int i = 1; i <= reps && status == 0; ++i) {
    unsigned char counter[4];
    PutBigEndian32(static_cast<uint32_t>(i), counter);
    status = hash.Reset();
    if (status == 0) status = hash.Update(reinterpret_cast<const char*>(counter), 4);
    if (status == 0) status = hash.Update(z.Data(), z.Length());
    if (status == 0) status = hash.Update(otherInfo.Data(), otherInfo.Length());
    if (status == 0) status = hash.Final();
    if (status == 0) status = out.Append(hash.GetDigest(), hash.GetDigestLength());
  }
  return status;
}

int EccEngine::IesKdf(const ByteString& z, ByteString& out) {
  constexpr int kWant = kCipherKeyBytes + kMacKeyBytes;
  HashContext hash;
  out.Clear();
  int status = hash.SetAlgorithm(HashAlgorithm::kSha1);
  for (uint32_t counter = 0; status == 0 && out.Length() < kWant; ++counter) {
    unsigned char c[4];
    PutBigEndian32(counter, c);
    status = hash.Reset();
    if (status == 0) status = hash.Update(z.Data(), z.Length());
    if (status == 0) status = hash.Update(reinterpret_cast<const char*>(c), 4);
    if (status == 0) status = hash.Final();
    const int take = kWant - out.Length() < hash.GetDigestLength() ? kWant - out.Length() : hash.GetDigestLength();
    if (status == 0) status = out.Append(hash.GetDigest(), take);
  }
  return status;
}

int EccEngine::SetupIesKeys(ByteString& scalar, EcKey& peer, bool encrypt) {
  int status = cipher.SetAlgorithm(kAlgorithm3Des);
  if (status == 0) status = cipher.SetMode(kModeCbc);
  if (status == 0) status = cipher.SetKeyBits(kCipherKeyBytes * 8);
  if (status == 0) status = mac.Init(HashAlgorithm::kSha1);
  SecretBytes z, k;
  if (status == 0) status = ComputeSharedSecret(scalar, peer, 0, z);
  if (status == 0) status = IesKdf(z, k);
  if (status == 0) status = cipher.SetPadding(kPaddingPkcs7);
  const char* iv = reinterpret_cast<const char*>(kZeroIv);
  if (status == 0) {
    status = encrypt ? cipher.InitEncrypt(k.Data(), kCipherKeyBytes, iv, kBlockBytes)
                     : cipher.InitDecrypt(k.Data(), kCipherKeyBytes, iv, kBlockBytes);
  }
  if (status == 0) status = mac.SetKey(k.Data() + kCipherKeyBytes, kMacKeyBytes);
  return status;
}

int EccEngine::Encrypt(const char* data, int length, ByteString& out) {
  if (X.Length() == 0 || Y.Length() == 0) return kEcPublicMissing;
  EcKey ephemeral;
  EccEngine generator;
  int status = generator.SetCurveIndex(curveIndex);
  // Going on without the ephemeral key would encrypt under no key at all.
  if (status == 0) status = generator.GenerateKey(1, ephemeral);
  if (status != 0) return status;
  if (generator.IsEdwardsCurve()) return kEcBadCurve;
  status = EcCurve::EncodePoint(ephemeral.X, ephemeral.Y, *ephemeral.curve, 0, 0, pendingPoint);
  EcKey recipient;
  if (status == 0) status = recipient.X.Assign(X);
  if (status == 0) status = recipient.Y.Assign(Y);
  recipient.curveIndex = curveIndex;
  recipient.curve = ephemeral.curve;
  if (status == 0) status = SetupIesKeys(ephemeral.D, recipient, true);
  ByteString result;
  if (status == 0) status = result.Append(pendingPoint);
  pendingPoint.Clear();
  pendingTail.Clear();
  const int start = result.Length();
  for (int offset = 0; status == 0 && offset < length; offset += kChunkBytes) {
    const int chunk = length - offset < kChunkBytes ? length - offset : kChunkBytes;
    status = pendingTail.Append(data + offset, chunk);
    int whole = pendingTail.Length();
    if (status == 0) status = cipher.Update(pendingTail.Data(), 0, whole, result);
    if (status == 0) status = pendingTail.EraseFront(whole);
  }
  if (status == 0) status = cipher.Final(pendingTail.Data(), 0, pendingTail.Length(), result);
  pendingTail.Clear();
  if (status == 0) status = mac.Update(result.Data() + start, result.Length() - start);
  if (status == 0) status = mac.Final();
  if (status == 0) status = result.Append(mac.GetMac(), kTagBytes);
  if (status == 0) status = out.Append(result);
  return status;
}

int EccEngine::Decrypt(const char* data, int length, ByteString& out) {
  if (X.Length() == 0 || Y.Length() == 0 || D.Length() == 0) return kEcPrivateMissing;
  pendingPoint.Clear();
  pendingTail.Clear();
  int status = LoadCurve();
  if (status != 0) return status;
  pointLength = 2 * curve->FieldBytes() + 1;
  if (data == nullptr || length < pointLength + kTagBytes + kBlockBytes) return kEcDecryptFailed;
  status = pendingPoint.Set(data, pointLength);
  if (status != 0) return status;
  EcKey sender;
  sender.curveIndex = curveIndex;
  sender.curve = curve;
  if (pendingPoint.ByteAt(0) != 0x04 || DecodeUncompressedPoint(pendingPoint, sender.X, sender.Y) != 0 ||
      SetupIesKeys(D, sender, false) != 0) {
    pendingPoint.Clear();
    return kEcDecryptFailed;
  }
  pendingPoint.Clear();
  const char* body = data + pointLength;
  const int bodyLength = length - pointLength - kTagBytes;
  // The tag is checked before any padding is looked at, and the two failures
  // look the same, so the padding cannot serve as an oracle.
  status = mac.Update(body, bodyLength);
  if (status == 0) status = mac.Final();
  if (status != 0) return status;
  const unsigned char* expected = reinterpret_cast<const unsigned char*>(body + bodyLength);
  const unsigned char* actual = reinterpret_cast<const unsigned char*>(mac.GetMac());
  if (!ct::BytesEqual(expected, actual, kTagBytes)) return kEcDecryptFailed;
  SecretBytes plain;
  int whole = bodyLength - kBlockBytes;
  status = cipher.Update(body, 0, whole, plain);
  if (status == 0) status = cipher.Final(body, whole, bodyLength - whole, plain);
  if (status != 0) return kEcDecryptFailed;
  return out.Append(plain);
}

int EccEngine::ExportKeyBlob(int includePrivate, int forKeyAgreement, ByteString& out) {
  if (X.Length() == 0) return 0;
  out.Clear();
  if (curveIndex < 0 || curveIndex > 2) return kEcBlobCurve;
  const int w = FieldLengthOf(curveIndex);
  const char magic[8] = {'E', 'C', forKeyAgreement != 0 ? 'K' : 'S', kBlobDigits[curveIndex][includePrivate != 0 ? 1 : 0],
                         static_cast<char>(w), 0, 0, 0};
  SecretBytes part;
  int status = out.Append(magic, 8);
  if (status == 0) status = EcKey::FitToWidth(X.Data(), X.Length(), w, part);
  if (status == 0) status = out.Append(part);
  if (status == 0) status = EcKey::FitToWidth(Y.Data(), Y.Length(), w, part);
  if (status == 0) status = out.Append(part);
  if (status == 0 && includePrivate != 0) {
    status = EcKey::FitToWidth(D.Data(), D.Length(), w, part);
    if (status == 0) status = out.Append(part);
  }
  return status;
}

int EccEngine::ImportKeyBlob(ByteString& blob) {
  // Header first: the width and the part count must match the magic and the
  // length, so that no part is read from beyond the blob.
  if (blob.Length() < 8) return kEcBadKeyBlob;
  const unsigned char* b = blob.Bytes();
  if (b[0] != 'E' || b[1] != 'C' || (b[2] != 'K' && b[2] != 'S')) return kEcBadKeyBlob;
  int index = -1;
  bool isPrivate = false;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 2; ++j) {
      if (b[3] == static_cast<unsigned char>(kBlobDigits[i][j])) {
        index = i;
        isPrivate = j == 1;
      }
    }
  }
  if (index < 0) return kEcBadKeyBlob;
  const int w = FieldLengthOf(index);
  const uint32_t width = b[4] | (b[5] << 8) | (b[6] << 16) | (static_cast<uint32_t>(b[7]) << 24);
  const int parts = isPrivate ? 3 : 2;
  if (width != static_cast<uint32_t>(w) || blob.Length() != 8 + parts * w) return kEcBadKeyBlob;
  int status = X.Set(blob.Data() + 8, w);
  if (status == 0) status = Y.Set(blob.Data() + 8 + w, w);
  if (status == 0 && isPrivate) status = D.Set(blob.Data() + 8 + 2 * w, w);
  return status;
}

}  // namespace tornell
