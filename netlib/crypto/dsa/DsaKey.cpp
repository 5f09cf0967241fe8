#include "crypto/dsa/DsaKey.h"

#include <initializer_list>
#include <utility>

#include "core/base/Status.h"

namespace tornell {

int DsaKey::Clear() {
  for (ByteString* f : std::initializer_list<ByteString*>{&p, &q, &g, &y, &J, &x, &auxBytes}) f->Clear();
  auxInt = 0;
  return kStatusOk;
}

int DsaKey::CopyFrom(const DsaKey& other) {
  const ByteString* from[] = {&other.p, &other.q, &other.g, &other.y, &other.J, &other.x, &other.auxBytes};
  ByteString* to[] = {&p, &q, &g, &y, &J, &x, &auxBytes};
  for (int i = 0; i < 7; ++i) {
    int rc = to[i]->Assign(*from[i]);
    if (rc != 0) return rc;
  }
  auxInt = other.auxInt;
  return kStatusOk;
}

int DsaKey::NormalizeLengths() {
  const int lb = ((p.Length() + 1) / 8) * 8;
  const int n = 8 * lb <= 2047 ? 160 : 8 * lb <= 3071 ? 224 : 256;
  int rc = 0;
  for (auto [width, field] : {std::pair<int, ByteString*>{lb, &p}, {lb, &g}, {n / 8, &q}, {lb, &y}, {n / 8, &x}})
    if ((rc = FitLengthKeepingValue(width, *field)) != 0) return rc;
  return kStatusOk;
}

}  // namespace tornell
