// The key holder: typed getters and attributes.
#include <gtest/gtest.h>

#include "pki/store/KeyHolder.h"

using namespace tornell;
using namespace tornell::pki;

namespace {

TEST(KeyHolder, TypedGetters) {
  KeyHolder h;
  RsaKey rsa;
  DsaKey dsa;
  EcKey ec;
  EXPECT_EQ(h.GetRsaKey(rsa), kKeyOtherType);
  EXPECT_STREQ(h.GetKeyAlgorithm(), "");
  h.type = kKeyTypeEdDsa;
  ASSERT_EQ(h.edDsaKey.edPublic.Set("pub"), 0);
  ASSERT_EQ(h.GetEcKey(ec), 0);
  EXPECT_STREQ(ec.edPublic.CStr(), "pub");
  EXPECT_EQ(h.GetDsaKey(dsa), kKeyOtherType);
  EXPECT_STREQ(h.GetKeyAlgorithm(), "EdDSA");
  KeyHolder copy;
  ASSERT_EQ(h.AddAttribute("a", "1"), 0);
  ASSERT_EQ(h.AddAttribute("a", "2"), 0);
  ASSERT_EQ(copy.CopyFrom(h), 0);
  EXPECT_EQ(copy.type, kKeyTypeEdDsa);
  EXPECT_STREQ(copy.GetAttribute("a"), "1");
  EXPECT_STREQ(copy.GetAttribute("b"), "");
}

}  // namespace
