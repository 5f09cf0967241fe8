#include "pki/keys/SecretModulo.h"

#include <cstdint>
#include <vector>

#include "core/base/Status.h"
#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"

namespace tornell::pki {

namespace {

// Big-endian bytes to little-endian 32-bit words.
void ToWords(const unsigned char* bytes, int length, std::vector<uint32_t>& words) {
  for (int i = 0; i < length; ++i) {
    const int fromEnd = length - 1 - i;
    words[static_cast<size_t>(fromEnd / 4)] |= static_cast<uint32_t>(bytes[i]) << (8 * (fromEnd % 4));
  }
}

// r -= m when r >= m, chosen by mask: both subtractions always run.
void ConditionalSubtract(std::vector<uint32_t>& r, const std::vector<uint32_t>& m, std::vector<uint32_t>& t) {
  uint64_t borrow = 0;
  for (size_t i = 0; i < r.size(); ++i) {
    const uint64_t diff = static_cast<uint64_t>(r[i]) - m[i] - borrow;
    t[i] = static_cast<uint32_t>(diff);
    borrow = (diff >> 63) & 1;
  }
  const uint32_t keep = ct::MaskFromBit(static_cast<uint32_t>(borrow));
  for (size_t i = 0; i < r.size(); ++i) r[i] = ct::Select(keep, r[i], t[i]);
}

}  // namespace

int ReduceSecret(const ByteString& value, const ByteString& modulus, int minusOne, SecretBytes& out) {
  // The width is the modulus's as given: skipping its zero bytes would branch on it.
  const int width = modulus.Length();
  if (width == 0) return kModulusUnusable;
  // One spare word: r < m before each doubling, so 2r + 1 < 2m fits.
  const size_t words = static_cast<size_t>(width + 3) / 4 + 1;
  std::vector<uint32_t> m(words, 0), r(words, 0), t(words, 0);
  ToWords(modulus.Bytes(), width, m);
  if (minusOne != 0) {
    uint64_t borrow = 1;
    for (size_t i = 0; i < words; ++i) {
      const uint64_t diff = static_cast<uint64_t>(m[i]) - borrow;
      m[i] = static_cast<uint32_t>(diff);
      borrow = (diff >> 63) & 1;
    }
  }
  const unsigned char* v = value.Bytes();
  for (int i = 0; i < value.Length(); ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      uint32_t carry = (v[i] >> bit) & 1u;
      for (size_t w = 0; w < words; ++w) {
        const uint32_t next = r[w] >> 31;
        r[w] = (r[w] << 1) | carry;
        carry = next;
      }
      ConditionalSubtract(r, m, t);
    }
  }
  int status = out.SetLength(width);
  if (status == kStatusOk) {
    unsigned char* o = reinterpret_cast<unsigned char*>(out.Data());
    for (int i = 0; i < width; ++i) {
      const int fromEnd = width - 1 - i;
      o[i] = static_cast<unsigned char>(r[static_cast<size_t>(fromEnd / 4)] >> (8 * (fromEnd % 4)));
    }
  }
  SecureWipe(r.data(), r.size() * sizeof(uint32_t));
  SecureWipe(t.data(), t.size() * sizeof(uint32_t));
  SecureWipe(m.data(), m.size() * sizeof(uint32_t));
  return status;
}

}  // namespace tornell::pki
