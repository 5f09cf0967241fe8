#include "crypto/cipher/stream/Rc4Cipher.h"

#include "../CipherTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace ciphertest;
using namespace tornell;

namespace {

// RFC 6229 keystreams at offsets 0 and 16.
TEST(Rc4, Rfc6229Keystreams) {
  struct { const char *key, *stream; } cases[] = {
      {"0102030405", "b2396305f03dc027ccc3524a0a1118a8" "6982944f18fc82d589c403a47a0d0919"},
      {"0102030405060708", "97ab8a1bf0afb96132f2f67258da15a8" "8263efdb45c4a18684ef87e6b19e5b09"},
      {"0102030405060708090a0b0c0d0e0f10",
       "9ac7cc9a609d1ef7b2932899cde41b97" "5248c4959014126a6e8a84f11d1a9e1c"},
  };
  for (const auto& c : cases) {
    Bytes key = Unhex(c.key), zeros(32, 0), out(32);
    Rc4Cipher rc4;
    ASSERT_EQ(rc4.SetKey(key.data(), static_cast<int>(key.size())), 0);
    EXPECT_EQ(0, rc4.Encrypt(zeros.data(), 32, out.data()));
    EXPECT_EQ(Hex(out), c.stream);
  }
}

TEST(Rc4, PiecesCopiesAndInPlaceMatchOneCall) {
  bool ok = false;
  auto rows = PythonRandomRows("ARC4", {5, 7, 16, 32}, 100, ok);
  REQUIRE_OR_SKIP(ok, "python3-cryptography ARC4 not available");
  for (const auto& r : rows) {
    Bytes key = Unhex(r[0]), pt = Unhex(r[1]);
    Rc4Cipher a, b;
    EXPECT_EQ(0, a.SetKey(key.data(), static_cast<int>(key.size())));
    Bytes out(100);
    EXPECT_EQ(0, a.Encrypt(pt.data(), 37, out.data()));
    ASSERT_EQ(b.CopyFrom(a), 0);  // continues where a stands
    EXPECT_EQ(0, b.Encrypt(pt.data() + 37, 63, out.data() + 37));
    EXPECT_EQ(Hex(out), r[2]);
    Bytes inPlace = pt;
    Rc4Cipher c;
    EXPECT_EQ(0, c.SetKey(key.data(), static_cast<int>(key.size())));
    EXPECT_EQ(0, c.Decrypt(inPlace.data(), 100, inPlace.data()));
    EXPECT_EQ(Hex(inPlace), r[2]);
  }
  Rc4Cipher empty;
  EXPECT_EQ(empty.SetKey(nullptr, 0), 1);
}

// Output overlapping the input a few bytes either side: each output byte is
// the input byte at its position, as read when that byte is reached.
TEST(Rc4, OverlappingBuffersFollowTheByteOrder) {
  const Bytes key = Unhex("0102030405060708090a0b0c0d0e0f10");
  Bytes stream(203, 0);
  Rc4Cipher ks;
  ASSERT_EQ(0, ks.SetKey(key.data(), 16));
  ASSERT_EQ(0, ks.Encrypt(stream.data(), int(stream.size()), stream.data()));
  for (int shift : {-9, -8, -1, 1, 3, 7, 8, 9}) {
    SCOPED_TRACE(shift);
    Bytes buf(240), want;
    for (size_t n = 0; n < buf.size(); ++n) buf[n] = uint8_t(n * 29 + 3);
    want = buf;
    const int in = 16, out = in + shift, length = int(stream.size());
    for (int k = 0; k < length; ++k) want[size_t(out + k)] = uint8_t(want[size_t(in + k)] ^ stream[size_t(k)]);
    Rc4Cipher rc4;
    ASSERT_EQ(0, rc4.SetKey(key.data(), 16));
    ASSERT_EQ(0, rc4.Encrypt(buf.data() + in, length, buf.data() + out));
    EXPECT_EQ(Hex(want), Hex(buf));
  }
}

}  // namespace
