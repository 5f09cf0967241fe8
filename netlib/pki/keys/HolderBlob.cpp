// The binary key blob of a key held in a KeyHolder.
#include "core/base/Status.h"
#include "pki/keys/KeyCodec.h"
#include "pki/keys/SecretModulo.h"

namespace tornell::pki {

namespace {

constexpr int kBlobFieldMax = 255;  // the blob's one-byte field lengths

int WriteRsa(const RsaKey& key, TextArmor& blob) {
  // The blob holds the exponent as a 32-bit value and q^-1 below p.
  ByteString e;
  TORNELL_TRY(e.Set(key.e.Data(), key.e.Length() < 4 ? key.e.Length() : 4));
  SecretBytes qInv;
  TORNELL_TRY(ReduceSecret(key.qInv, key.p, 0, qInv));
  return KeyFileFormats::WriteRsaBlob(blob, key.n, e, key.p, key.q, key.dP, key.dQ, qInv, key.d);
}

int WriteEdwards(const KeyHolder& holder, TextArmor& blob) {
  ByteString comment;
  TORNELL_TRY(comment.Set(holder.GetAttribute("Comment")));
  if (comment.Length() > kBlobFieldMax) TORNELL_TRY(comment.SetLength(kBlobFieldMax));
  const EcKey& key = holder.edDsaKey;
  return KeyFileFormats::WriteEdBlob(blob, key.curveIndex, key.edPublic, key.edPrivate, comment);
}

}  // namespace

int KeyCodec::WriteHolderBlob(const KeyHolder& holder, TextArmor& blob) {
  switch (holder.type) {
    case kKeyTypeRsa:
      return WriteRsa(holder.rsaKey, blob);
    case kKeyTypeDsa: {
      const DsaKey& key = holder.dsaKey;
      return KeyFileFormats::WriteDssBlob(blob, key.p, key.q, key.g, key.y, key.x);
    }
    case kKeyTypeEc: {
      const EcKey& key = holder.ecKey;
      return KeyFileFormats::WriteEcBlob(blob, key.curveIndex, key.X, key.Y, key.D);
    }
    case kKeyTypeEdDsa:
      return WriteEdwards(holder, blob);
    default:
      return kKeyOtherType;
  }
}

}  // namespace tornell::pki
