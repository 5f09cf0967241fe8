#pragma once
// Drives a SymmetricCipher the way its callers do: Update on each piece,
// keeping the bytes a block mode did not take, then Final with the rest.
#include <string>
#include <vector>

#include "VectorFiles.h"
#include "crypto/cipher/engine/SymmetricCipher.h"

namespace aeadtest {

struct Outcome {
  int status = 0;
  Bytes out;
};

inline const char* C(const Bytes& b) { return reinterpret_cast<const char*>(b.data()); }

inline Outcome Pass(tornell::SymmetricCipher& c, const Bytes& data, std::vector<size_t> cuts = {}) {
  Outcome r;
  tornell::ByteString out;
  Bytes held;
  size_t at = 0;
  for (size_t n : cuts) {
    n = std::min(n, data.size() - at);
    held.insert(held.end(), data.begin() + long(at), data.begin() + long(at + n));
    at += n;
    int length = int(held.size());
    r.status = c.Update(C(held), 0, length, out);
    if (r.status != 0) return r;
    held.erase(held.begin(), held.begin() + length);
  }
  held.insert(held.end(), data.begin() + long(at), data.end());
  r.status = c.Final(C(held), 0, int(held.size()), out);
  const auto* p = reinterpret_cast<const uint8_t*>(out.Data());
  r.out.assign(p, p + out.Length());
  return r;
}

inline Bytes Tag(tornell::SymmetricCipher& c) {
  char* p = nullptr;
  int n = 0;
  EXPECT_EQ(0, c.GetTag(&p, &n));
  return Bytes(reinterpret_cast<uint8_t*>(p), reinterpret_cast<uint8_t*>(p) + n);
}

}  // namespace aeadtest
