#include "crypto/pubkey/AsymmetricKey.h"

#include <cstring>

#include "core/base/Status.h"

namespace tornell {

int AsymmetricKey::FitLength(int width, ByteString& value) {
  const int length = value.Length();
  if (length == 0 || width == length) return kStatusOk;
  if (width < length) return value.EraseFront(length - width);
  const int pad = width - length;
  int rc = value.SetLength(width);
  if (rc != 0) return rc;
  char* data = value.Data();
  std::memmove(data + pad, data, size_t(length));
  std::memset(data, 0, size_t(pad));
  return kStatusOk;
}

int AsymmetricKey::FitLengthKeepingValue(int width, ByteString& value) {
  const int excess = value.Length() - width;
  for (int i = 0; i < excess; ++i)
    if (value.Bytes()[i] != 0) return kStatusOk;
  return FitLength(width, value);
}

}  // namespace tornell
