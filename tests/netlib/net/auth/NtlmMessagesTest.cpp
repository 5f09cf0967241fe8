// NTLM messages against the bytes of MS-NLMP, its NTLMv1 examples (section
// 4.2.2 and 4.2.3) and an independent pycryptodome reference.
#include <cstring>
#include <random>
#include <string>

#include "NtlmTestSupport.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "net/auth/NtlmMessageBuffer.h"
#include "net/auth/NtlmProvider.h"

namespace {

using namespace ntlmtest;
using tornell::ByteString;
using tornell::NtlmMessageBuffer;
using tornell::NtlmProvider;

const std::string kServerChallenge = FromHex("0123456789abcdef");
const uint8_t kClientChallenge[8] = {0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa};

uint32_t Le32(const ByteString& m, int at) {
  return static_cast<uint32_t>(m.ByteAt(at)) | (m.ByteAt(at + 1) << 8) | (m.ByteAt(at + 2) << 16) |
         (static_cast<uint32_t>(m.ByteAt(at + 3)) << 24);
}

// The bytes a security buffer field of the message points at.
std::string FieldOf(const ByteString& m, int at) {
  const int length = m.ByteAt(at) | (m.ByteAt(at + 1) << 8);
  return std::string(m.Data() + Le32(m, at + 4), static_cast<size_t>(length));
}

TEST(NtlmMessages, NegotiateBytes) {
  NtlmProvider p;
  ByteString out;
  ASSERT_EQ(p.BuildNegotiate(out), 0);
  EXPECT_EQ(Hex(out), "4e544c4d53535000" "01000000" "078208a2" + std::string(32, '0') + "000000000000000f");
  EXPECT_EQ(p.GetNegotiatedFlags(), 0xA2088207u);

  ASSERT_EQ(p.SetCredentials("NTLM", "CORP\\alice", "pw"), 0);
  ASSERT_EQ(p.BuildNegotiate(out), 0);
  EXPECT_EQ(Hex(out), "4e544c4d53535000" "01000000" "079208a2" "0400040028000000" "0000000000000000"
                      "000000000000000f" "434f5250");
  EXPECT_EQ(p.GetNegotiatedFlags(), 0xA2088207u);
}

TEST(NtlmMessages, MsNlmpNtlmV1Hashes) {
  unsigned char lm[16];
  ASSERT_EQ(NtlmProvider::LmHash(lm, "Password", 8), 0);
  EXPECT_EQ(Hex(lm, 16), "e52cac67419a9a224a3b108f3fa6cb6d");
  unsigned char lower[16];
  ASSERT_EQ(NtlmProvider::LmHash(lower, "password", 8), 0);
  EXPECT_EQ(Hex(lower, 16), Hex(lm, 16));
  unsigned char longer[16];
  unsigned char cut[16];
  ASSERT_EQ(NtlmProvider::LmHash(longer, "ABCDEFGHIJKLMNOPQ", 17), 0);
  ASSERT_EQ(NtlmProvider::LmHash(cut, "ABCDEFGHIJKLMN", 14), 0);
  EXPECT_EQ(Hex(longer, 16), Hex(cut, 16));

  NtlmProvider p;
  ASSERT_EQ(p.SetCredentials("NTLM", "Domain\\User", "Password"), 0);
  ByteString nt;
  ASSERT_EQ(p.NtHash(nt), 0);
  EXPECT_EQ(Hex(nt), "a4f49c406510bdcab6824ee7c30fd852");
  ByteString response;
  ASSERT_EQ(NtlmProvider::DesL(response, nt.Bytes(), reinterpret_cast<const unsigned char*>(kServerChallenge.data())), 0);
  EXPECT_EQ(Hex(response), "67c43011f30298a2ad35ece64f16331c44bdbed927841f94");
}

TEST(NtlmMessages, MakeDesKeySetsOddParity) {
  unsigned char key[8] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0};
  NtlmProvider::MakeDesKey(key);
  EXPECT_EQ(Hex(key, 8), "fefefefefefefefe");
  unsigned char zero[8] = {};
  NtlmProvider::MakeDesKey(zero);
  EXPECT_EQ(Hex(zero, 8), "0101010101010101");
}

TEST(NtlmMessages, MsNlmpPlainResponsesWithoutNegotiate) {
  NtlmProvider p;
  ASSERT_EQ(p.SetCredentials("NTLM", "Domain\\User", "Password"), 0);
  ByteString out;
  ASSERT_EQ(p.ProcessChallenge(out, Bytes(Challenge(0xe2028233, kServerChallenge, "Server"))), 0);
  EXPECT_EQ(Hex(FieldOf(out, 12).data(), 24), "98def7b87f88aa5dafe2df779688a172def11c7d5ccdef13");
  EXPECT_EQ(Hex(FieldOf(out, 20).data(), 24), "67c43011f30298a2ad35ece64f16331c44bdbed927841f94");
  EXPECT_EQ(Le32(out, 60), 0u);  // flags start from 0; the challenge asks no target
  EXPECT_EQ(FieldOf(out, 28), std::string("D\0o\0m\0a\0i\0n\0", 12));
  EXPECT_EQ(FieldOf(out, 36), std::string("U\0s\0e\0r\0", 8));
  EXPECT_EQ(Le32(out, 28 + 4), 72u);
}

TEST(NtlmMessages, MsNlmpSessionResponseAfterNegotiate) {
  NtlmProvider p;
  ASSERT_EQ(p.SetCredentials("NTLM", "Domain\\User", "Password"), 0);
  ByteString out;
  ASSERT_EQ(p.BuildNegotiate(out), 0);
  p.SetClientChallenge(kClientChallenge);
  ASSERT_EQ(p.ProcessChallenge(out, Bytes(Challenge(0x00080205, kServerChallenge))), 0);
  EXPECT_EQ(Hex(FieldOf(out, 20).data(), 24), "7537f803ae367128ca458204bde7caf81e97ed2683267232");
  EXPECT_EQ(Hex(FieldOf(out, 12).data(), 24), "aaaaaaaaaaaaaaaa" + std::string(32, '0'));
  EXPECT_EQ(Le32(out, 60), 0xA2888205u);
  EXPECT_EQ(out.Length(), 72 + 12 + 8 + 24 + 24);
}

TEST(NtlmMessages, FlagsAndLayout) {
  struct Case {
    const char* name;
    const char* user;
    uint32_t serverFlags;
    uint32_t expectedFlags;
    int userAt;
  } cases[] = {
      {"Unicode with target", "CORP\\alice", 0x00000205, 0xA2888205, 72 + 8},
      {"OEM only keeps both charsets", "alice", 0x00000202, 0xA2088207, 72},
      {"extended session security alone", "alice", 0x00080001, 0xA2088205, 72},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NtlmProvider p;
    ASSERT_EQ(p.SetCredentials("NTLM", c.user, "secret"), 0);
    ByteString out;
    ASSERT_EQ(p.BuildNegotiate(out), 0);
    ASSERT_EQ(p.ProcessChallenge(out, Bytes(Challenge(c.serverFlags, kServerChallenge))), 0);
    EXPECT_EQ(Le32(out, 60), c.expectedFlags);
    EXPECT_EQ(Le32(out, 36 + 4), static_cast<uint32_t>(c.userAt));
    EXPECT_EQ(FieldOf(out, 36), std::string("a\0l\0i\0c\0e\0", 10));  // UTF-16LE even for OEM
    const std::string lm = FieldOf(out, 12);
    EXPECT_EQ(lm.substr(8), std::string(16, '\0'));
    EXPECT_EQ(lm.substr(0, 8).find('\0'), std::string::npos);
    EXPECT_EQ(Le32(out, 44), 0u);  // no workstation
    EXPECT_EQ(Le32(out, 52), 0u);  // no session key
  }
}

TEST(NtlmMessages, BadChallengesFailAndLeaveOutput) {
  std::string wrongType = Challenge(0x205, kServerChallenge);
  wrongType[8] = 3;
  const struct {
    const char* name;
    std::string message;
    const char* text;
  } cases[] = {
      {"signature", "NTLMSSX" + Challenge(0x205, kServerChallenge).substr(7),
       "Could not process server's NTLM authentication token: invalid signature."},
      {"empty-ish", std::string("NTLM"), "Could not process server's NTLM authentication token: invalid signature."},
      {"type", wrongType, "Could not process server's NTLM authentication token: invalid message type."},
      {"too short", Challenge(0x205, kServerChallenge).substr(0, 31),
       "Could not process server's NTLM authentication token: message too short."},
      {"no charset", Challenge(0x200, kServerChallenge),
       "Could not process server's NTLM authentication token: no charset negotiated."},
      {"no NTLM", Challenge(0x001, kServerChallenge),
       "Could not process server's NTLM authentication token: no NTLM version negotiated."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NtlmProvider p;
    ByteString out;
    ASSERT_EQ(out.Set("kept"), 0);
    EXPECT_EQ(p.ProcessChallenge(out, Bytes(c.message)), NtlmProvider::kStatusBadChallenge);
    EXPECT_STREQ(p.GetErrorText(), c.text);
    EXPECT_STREQ(out.CStr(), "kept");
  }
}

TEST(NtlmMessages, SquidChallengeWithWildOffsetIsAnswered) {
  NtlmProvider p;
  ASSERT_EQ(p.SetCredentials("NTLM", "DOM\\user", "pw"), 0);
  ByteString out;
  ASSERT_EQ(p.BuildNegotiate(out), 0);
  ASSERT_EQ(p.ProcessChallenge(out, Bytes(SquidChallenge())), 0);
  EXPECT_EQ(Le32(out, 8), 3u);
}

TEST(NtlmMessages, MessageBufferBounds) {
  NtlmMessageBuffer b;
  ASSERT_EQ(b.AppendInt(0x04030201, 4), 0);
  EXPECT_EQ(b.WriteAt(2, "xy", 0, 2), 0);  // ends at the last byte
  EXPECT_EQ(b.WriteAt(3, "xy", 0, 2), NtlmMessageBuffer::kStatusOverflow);
  EXPECT_STREQ(b.GetErrorText(), "");
  EXPECT_EQ(b.AppendInt(0, 101), NtlmMessageBuffer::kStatusOverflow);
  EXPECT_STREQ(b.GetErrorText(), "Error in WriteInt: Attempt to overflow buffer.");
  EXPECT_EQ(b.AppendInt(0, 8), 0);
  EXPECT_EQ(b.Length(), 12);

  NtlmMessageBuffer r;
  ASSERT_EQ(r.Load("\x01\x02\x03", 3), 0);
  EXPECT_EQ(r.ReadLittleEndian(2), 0x0201u);
  EXPECT_EQ(r.ReadLittleEndian(4), 0x03u);  // past the end reads zero
  EXPECT_FALSE(r.HasMore());
  ByteString rest;
  ASSERT_EQ(r.ReadBytes(rest, 8), 0);
  EXPECT_EQ(rest.Length(), 0);
  NtlmMessageBuffer c;
  ASSERT_EQ(c.Load("abc", 3), 0);  // no terminator: stops at the end
  ASSERT_EQ(c.ReadCString(rest), 0);
  EXPECT_STREQ(rest.CStr(), "abc");
  EXPECT_EQ(c.ReadBigEndian(2), 0u);
}

// Random credentials and challenges, both response kinds, checked by the
// pycryptodome reference.
TEST(NtlmMessages, AuthenticateAgreesWithPythonReference) {
  const std::string python = "/usr/bin/python3";
  const auto probe = testsupport::RunChild({python, "-c", "import Cryptodome.Cipher.DES; print('ok')"}, {}, "", 30);
  REQUIRE_OR_SKIP(probe.started && probe.output == "ok\n", "python3-pycryptodome is not installed");
  const std::string script = std::string(NTLM_TEST_DIR) + "/ntlm_reference.py";
  std::mt19937 random(20261210);
  auto text = [&](int minimum, int maximum) {
    std::string s(static_cast<size_t>(minimum + static_cast<int>(random() % (maximum - minimum + 1))), 'x');
    for (char& c : s) c = static_cast<char>(0x21 + random() % 94);
    for (char& c : s) if (c == '\\') c = 'q';
    return s;
  };
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    const std::string user = text(1, 12);
    const std::string domain = round % 3 == 0 ? "" : text(1, 10);
    const std::string password = text(0, 20);
    std::string challenge(8, '\0');
    for (char& c : challenge) c = static_cast<char>(random());
    NtlmProvider p;
    ASSERT_EQ(p.SetCredentials("NTLM", (domain.empty() ? user : domain + "\\" + user).c_str(), password.c_str()), 0);
    ByteString out;
    if (round % 2 == 0) {
      ASSERT_EQ(p.BuildNegotiate(out), 0);  // odd rounds: plain NTLMv1
    }
    ASSERT_EQ(p.ProcessChallenge(out, Bytes(Challenge(0x00088205, challenge))), 0);
    const auto run = testsupport::RunChild(
        {python, script, "check", Hex(out), user, domain, password, Hex(challenge.data(), 8)}, {}, "", 30);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.output, "ok\n") << user << " " << domain << " " << password;
  }
}

TEST(NtlmMessages, NameLongerThanAFieldIsRefused) {
  NtlmProvider p;
  const std::string user(40000, 'u');  // 80000 bytes in UTF-16LE
  ASSERT_EQ(p.SetCredentials("NTLM", user.c_str(), "pw"), 0);
  ByteString out;
  ASSERT_EQ(p.BuildNegotiate(out), 0);
  ASSERT_EQ(out.Set("kept"), 0);
  EXPECT_EQ(p.ProcessChallenge(out, Bytes(Challenge(0x00088205, kServerChallenge))), NtlmMessageBuffer::kStatusOverflow);
  EXPECT_STREQ(out.CStr(), "kept");
}

}  // namespace
