#include "crypto/rsa/RsaKey.h"

#include <initializer_list>

#include "core/base/Status.h"

namespace tornell {

int RsaKey::Clear() {
  for (ByteString* f : std::initializer_list<ByteString*>{&e, &n, &p, &q, &dP, &dQ, &qInv, &d}) f->Clear();
  return kStatusOk;
}

int RsaKey::CopyFrom(const RsaKey& other) {
  const ByteString* from[] = {&other.e, &other.n, &other.p, &other.q, &other.dP, &other.dQ, &other.qInv, &other.d};
  ByteString* to[] = {&e, &n, &p, &q, &dP, &dQ, &qInv, &d};
  for (int i = 0; i < 8; ++i) {
    int rc = to[i]->Assign(*from[i]);
    if (rc != 0) return rc;
  }
  return kStatusOk;
}

int RsaKey::NormalizeLengths() {
  const int len = n.Length();
  const int r = len % 8;
  const int width = r <= 3 ? len - r : len - r + 8;
  int rc = 0;
  if ((rc = FitLengthKeepingValue(width, n)) != 0 || (rc = FitLengthKeepingValue(width, d)) != 0) return rc;
  for (ByteString* f : std::initializer_list<ByteString*>{&p, &dP, &q, &dQ, &qInv})
    if ((rc = FitLengthKeepingValue(width / 2, *f)) != 0) return rc;
  return kStatusOk;
}

}  // namespace tornell
