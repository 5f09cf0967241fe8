// The TLS setting lists, their validators, the name tables and the byte helpers.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "core/text/SplitList.h"
#include "tls/engine/TlsSettingLists.h"

using namespace tornell;
using namespace tornell::tls;

namespace {

std::vector<std::string> Items(const StringList& list) {
  std::vector<std::string> items;
  for (int i = 0; i < list.Count(); ++i) items.emplace_back(list.Get(i));
  return items;
}

TEST(SplitList, TrimsItemsAndDropsEmptyOnes) {
  StringList out;
  ASSERT_EQ(SplitList(" a, ,b ,", ',', out), 0);
  EXPECT_EQ(Items(out), (std::vector<std::string>{"a", "b"}));
  // The list is not emptied first.
  ASSERT_EQ(SplitList("c;;  d e  ", ';', out), 0);
  EXPECT_EQ(Items(out), (std::vector<std::string>{"a", "b", "c", "d e"}));
  ASSERT_EQ(SplitList("", ',', out), 0);
  ASSERT_EQ(SplitList(nullptr, ',', out), 0);
  EXPECT_EQ(out.Count(), 4);
}

TEST(TlsSettingLists, GroupListValidation) {
  ByteString stored("before");
  EXPECT_EQ(ValidateGroupList("ecdhe_secp256r1,ffdhe_2048", 0, stored), kStatusBadListItem);
  EXPECT_STREQ(stored.CStr(), "before");
  EXPECT_EQ(ValidateGroupList("ecdhe_secp256r1,ffdhe_2048", 1, stored), 0);
  EXPECT_STREQ(stored.CStr(), "ecdhe_secp256r1,ffdhe_2048");
  // The substring test: an item inside an allowed name passes.
  EXPECT_EQ(ValidateGroupList("secp256r1", 0, stored), 0);
  EXPECT_STREQ(stored.CStr(), "secp256r1");
  // Stored as given, untrimmed.
  EXPECT_EQ(ValidateGroupList(" ecdhe_secp384r1 , ", 0, stored), 0);
  EXPECT_STREQ(stored.CStr(), " ecdhe_secp384r1 , ");
  EXPECT_EQ(ValidateGroupList("   ", 1, stored), 0);
  EXPECT_TRUE(stored.IsEmpty());
  ASSERT_EQ(stored.Set("x"), 0);
  EXPECT_EQ(ValidateGroupList(nullptr, 1, stored), 0);
  EXPECT_TRUE(stored.IsEmpty());
  EXPECT_EQ(ValidateGroupList("ECDHE_SECP256R1", 1, stored), kStatusBadListItem);  // exact case
  EXPECT_EQ(ValidateGroupList(kTls13KeyShareGroupsText, 1, stored), 0);
}

TEST(TlsSettingLists, SignatureSchemeListValidation) {
  ByteString stored;
  EXPECT_EQ(ValidateSignatureSchemeList(kTls13SignatureSchemesText, stored), 0);
  EXPECT_STREQ(stored.CStr(), kTls13SignatureSchemesText);
  EXPECT_EQ(ValidateSignatureSchemeList("rsa_pss_sha256,ed25519", stored), kStatusBadListItem);
  EXPECT_STREQ(stored.CStr(), kTls13SignatureSchemesText);
}

TEST(TlsSettingLists, Tls12SignatureAlgorithms) {
  struct Case {
    const char* text;
    int status;
    const char* refused;
  };
  const Case cases[] = {
      {"sha256-rsa,md5-foo", 0, nullptr},
      {"foo-rsa", 0, nullptr},
      {"all-anonymous", 0, nullptr},
      {" sha1 - ecdsa ,, none-dsa", 0, nullptr},
      {"foo-bar", kStatusBadSignatureAlgorithms, "foo-bar"},
      {"sha256-rsa,sha256", kStatusBadSignatureAlgorithms, "sha256"},
      {"SHA256-RSA", kStatusBadSignatureAlgorithms, "SHA256-RSA"},
      {"sha1-rsa-dsa", kStatusBadSignatureAlgorithms, "sha1-rsa-dsa"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ByteString stored("kept");
    ByteString error;
    EXPECT_EQ(ValidateTls12SignatureAlgorithms(c.text, stored, error), c.status);
    if (c.status == 0) {
      EXPECT_STREQ(stored.CStr(), c.text);
    } else {
      EXPECT_STREQ(stored.CStr(), "kept");
      EXPECT_EQ(std::string(error.CStr()), "Invalid TLS12SignatureAlgorithms value '" + std::string(c.refused) + "'.");
    }
  }
  ByteString stored("x");
  ByteString error;
  EXPECT_EQ(ValidateTls12SignatureAlgorithms("  ", stored, error), 0);
  EXPECT_TRUE(stored.IsEmpty());
  EXPECT_EQ(ValidateTls12SignatureAlgorithms(kTls12SignatureAlgorithmsText, stored, error), 0);
}

TEST(TlsSettingLists, AlertNames) {
  EXPECT_STREQ(AlertName(1, 1), "ENDOFEARLYDATA");
  EXPECT_STREQ(AlertName(1, 0), "UNKOWN_ALERT");
  EXPECT_STREQ(AlertName(255, 1), "UNKOWN_ALERT");
  EXPECT_STREQ(AlertName(0, 0), "CLOSE_NOTIFY");
  EXPECT_STREQ(AlertName(47, 1), "ILLEGAL_PARAMETER");
  EXPECT_STREQ(AlertName(60, 0), "EXPORT_RESTRICTION_RESERVED");
  EXPECT_STREQ(AlertName(100, 0), "NO_RENEGOTIATION");
}

TEST(TlsSettingLists, SignatureSchemes) {
  int id = 0;
  EXPECT_EQ(SignatureSchemeId("RSA_PSS_SHA256", id), 0);
  EXPECT_EQ(id, 0x0804);
  EXPECT_EQ(SignatureSchemeId("ecdsa_secp521r1_sha512", id), 0);
  EXPECT_EQ(id, 0x0603);
  EXPECT_EQ(SignatureSchemeId("rsa_pss_rsae_sha256", id), kNotFound);
  EXPECT_STREQ(SignatureSchemeName(0x0807), "ed25519");
  EXPECT_STREQ(SignatureSchemeName(0x0809), "");
  EXPECT_STREQ(SignatureSchemeHash(0x0501), "SHA384");
  EXPECT_EQ(SignatureSchemeHash(0x0808), nullptr);
  EXPECT_EQ(SignatureSchemeHash(0x1234), nullptr);
}

TEST(TlsSettingLists, Groups) {
  int id = 0;
  EXPECT_EQ(GroupId("FFDHE_3072", id), 0);
  EXPECT_EQ(id, 257);
  EXPECT_EQ(GroupId("ecdhe_x448", id), 0);
  EXPECT_EQ(id, 30);
  EXPECT_EQ(GroupId("x25519", id), kNotFound);
  // A name inside a longer text, by its length: neither a prefix nor a longer run matches.
  const char* text = "ecdhe_SECP384R1,rsa_pss_sha512x";
  EXPECT_EQ(GroupId(text, 15, id), 0);
  EXPECT_EQ(id, 24);
  EXPECT_EQ(GroupId(text, 14, id), kNotFound);
  EXPECT_EQ(GroupId(text, 16, id), kNotFound);
  EXPECT_EQ(SignatureSchemeId(text + 16, 14, id), 0);
  EXPECT_EQ(id, 0x0806);
  EXPECT_EQ(SignatureSchemeId(text + 16, 15, id), kNotFound);
  EXPECT_EQ(SignatureSchemeId(text + 16, -1, id), kNotFound);
  ByteString name;
  ASSERT_EQ(GroupName(29, name), 0);
  EXPECT_STREQ(name.CStr(), "ecdhe_x25519");
  ASSERT_EQ(GroupName(99, name), 0);
  EXPECT_STREQ(name.CStr(), "Unknown group name for id: 99");
  int bits = -5;
  EXPECT_EQ(GroupSize(260, bits), 0);
  EXPECT_EQ(bits, 8192);
  bits = -5;
  EXPECT_EQ(GroupSize(25, bits), 521);
  EXPECT_EQ(GroupSize(23, bits), 256);
  EXPECT_EQ(bits, -5);
  EXPECT_EQ(GroupSize(29, bits), -1);
}

// Each id with the name as the list spells it, "!" for a refused list.
std::string ListedIds(const char* text, ListKind kind, bool strict) {
  std::string out;
  const int status = ForEachListedId(text, kind, strict, [&out](int id, const char* name, int length) {
    out += std::to_string(id) + "=" + std::string(name, size_t(length)) + " ";
    return 0;
  });
  return status == 0 ? out : "!";
}

// The same by splitting the text and looking every name up, as any list is read.
std::string ListedIdsByName(const char* text, ListKind kind) {
  std::string out;
  StringList names;
  EXPECT_EQ(SplitList(text, ',', names), 0);
  for (int i = 0; i < names.Count(); ++i) {
    int id = 0;
    const int found = kind == ListKind::kGroups ? GroupId(names.Get(i), id) : SignatureSchemeId(names.Get(i), id);
    if (found == 0) out += std::to_string(id) + "=" + names.Get(i) + " ";
  }
  return out;
}

TEST(TlsSettingLists, ListedIds) {
  // The default texts come looked up already: they must read as any other text.
  const struct {
    const char* text;
    ListKind kind;
  } defaults[] = {{kTls12GroupsText, ListKind::kGroups},
                  {kTls13GroupsText, ListKind::kGroups},
                  {kTls13KeyShareGroupsText, ListKind::kGroups},
                  {kTls13SignatureSchemesText, ListKind::kSchemes}};
  for (const auto& list : defaults) {
    EXPECT_EQ(ListedIds(list.text, list.kind, true), ListedIdsByName(list.text, list.kind)) << list.text;
    EXPECT_EQ(ListedIds((std::string(list.text) + ",").c_str(), list.kind, true),
              ListedIdsByName(list.text, list.kind))
        << list.text;
  }
  EXPECT_EQ(ListedIds(kTls12GroupsText, ListKind::kGroups, true),
            "23=ecdhe_secp256r1 24=ecdhe_secp384r1 25=ecdhe_secp521r1 ");
  // Names keep their spelling; an unknown one is passed over or refuses the list.
  EXPECT_EQ(ListedIds(" FFDHE_2048 ,secp256r1,ecdhe_x25519", ListKind::kGroups, false),
            "256=FFDHE_2048 29=ecdhe_x25519 ");
  EXPECT_EQ(ListedIds(" FFDHE_2048 ,secp256r1,ecdhe_x25519", ListKind::kGroups, true), "!");
  EXPECT_EQ(ListedIds("ed448,rsa_pss_sha256", ListKind::kGroups, false), "");
  EXPECT_EQ(ListedIds("ed448,RSA_PSS_SHA256", ListKind::kSchemes, true), "2056=ed448 2052=RSA_PSS_SHA256 ");
  EXPECT_EQ(ListedIds("", ListKind::kSchemes, true), "");
  EXPECT_EQ(ListedIds(nullptr, ListKind::kGroups, true), "");
}

TEST(TlsSettingLists, HexValue) {
  EXPECT_EQ(HexValue("1F"), 31u);
  EXPECT_EQ(HexValue("1g"), 23u);  // g contributes its low four bits, 7
  EXPECT_EQ(HexValue("123456789"), 0x23456789u);
  EXPECT_EQ(HexValue(""), 0u);
  EXPECT_EQ(HexValue("deadBEEF"), 0xDEADBEEFu);
}

TEST(TlsSettingLists, RandomBytesCarryTheTime) {
  const uint32_t before = static_cast<uint32_t>(std::time(nullptr));
  ByteString random;
  ASSERT_EQ(RandomBytes(32, random), 0);
  const uint32_t after = static_cast<uint32_t>(std::time(nullptr));
  ASSERT_EQ(random.Length(), 32);
  const unsigned char* b = random.Bytes();
  const uint32_t stamp = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
  EXPECT_GE(stamp, before);
  EXPECT_LE(stamp, after);
  // Four bytes are all random: over a few draws they are not the time.
  int timed = 0;
  for (int i = 0; i < 8; ++i) {
    ASSERT_EQ(RandomBytes(4, random), 0);
    ASSERT_EQ(random.Length(), 4);
    const unsigned char* r = random.Bytes();
    timed += ((uint32_t(r[0]) << 24) | (uint32_t(r[1]) << 16)) == (stamp & 0xFFFF0000u);
  }
  EXPECT_LT(timed, 8);
}

TEST(TlsSettingLists, ByteHelpers) {
  ByteString a("ab"), b("cd"), c("ef"), out;
  ASSERT_EQ(Concat2(a, b, out), 0);
  EXPECT_STREQ(out.CStr(), "abcd");
  ASSERT_EQ(Concat3(a, b, c, out), 0);
  EXPECT_STREQ(out.CStr(), "abcdef");
  ASSERT_EQ(Concat2(out, a, out), 0);
  EXPECT_STREQ(out.CStr(), "abcdefab");

  ByteString bytes;
  ASSERT_EQ(bytes.Set("\0\0x", 3), 0);
  ASSERT_EQ(StripOneLeadingZero(bytes), 0);
  EXPECT_EQ(bytes.Length(), 2);
  ASSERT_EQ(FitToLength(bytes, 4), 0);
  EXPECT_TRUE(bytes.Equals("\0\0\0x", 4));
  ASSERT_EQ(FitToLength(bytes, 3), 0);
  EXPECT_TRUE(bytes.Equals("\0\0x", 3));
  ASSERT_EQ(bytes.Set("yz"), 0);
  ASSERT_EQ(FitToLength(bytes, 1), 0);  // longer without a leading zero: unchanged
  EXPECT_STREQ(bytes.CStr(), "yz");
  ByteString empty;
  ASSERT_EQ(StripOneLeadingZero(empty), 0);
  EXPECT_TRUE(empty.IsEmpty());
}

}  // namespace
