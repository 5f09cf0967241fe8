// The security context: the PRF against openssl's TLS1-PRF, the transcript
// hash and CertificateVerify content against hashlib, Finished labels, key
// installation by role and the switch copy.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "TestText.h"
#include "tls/context/TlsSecurityContext.h"

using namespace tornell;
using testsupport::Hex;

namespace {

std::string Str(const ByteString& b) { return std::string(b.Data(), size_t(b.Length())); }

ByteString Bytes(const std::string& s) {
  ByteString out;
  EXPECT_EQ(out.Set(s.data(), int(s.size())), 0);
  return out;
}

std::string OpensslPrf(const char* digest, const std::string& secret, const std::string& seed, int length) {
  bool ok = false;
  std::string out = testsupport::RunCommand(std::string("openssl kdf -keylen ") + std::to_string(length) +
                                                " -kdfopt digest:" + digest + " -kdfopt hexsecret:" + Hex(secret) +
                                                " -kdfopt hexseed:" + Hex(seed) + " TLS1-PRF 2>/dev/null",
                                            ok);
  std::string hex;
  for (char c : out) {
    if (std::isxdigit(static_cast<unsigned char>(c))) hex += char(std::tolower(static_cast<unsigned char>(c)));
  }
  return ok ? hex : "";
}

TEST(TlsSecurityContext, PrfMatchesOpenssl) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl is not available");
  struct Case {
    int prfHash;
    const char* digest;
    int length;
  } cases[] = {{TlsSecurityContext::kPrfMd5Sha1, "MD5-SHA1", 48},
               {TlsSecurityContext::kPrfSha256, "SHA256", 104},
               {TlsSecurityContext::kPrfSha384, "SHA384", 13}};
  const std::string secret = "\x0b\x0c premaster secret bytes \x01\x02\x03";
  const std::string seed = std::string(32, '\x11') + std::string(32, '\x22');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.digest);
    TlsSecurityContext context;
    context.version = c.prfHash == 0 ? 0x0301 : 0x0303;
    context.prfHash = c.prfHash;
    ByteString out;
    ASSERT_EQ(context.Prf(Bytes(secret), "master secret", Bytes(seed), c.length, out), 0);
    EXPECT_EQ(Hex(Str(out)), OpensslPrf(c.digest, secret, "master secret" + seed, c.length));
    // An empty label leaves the seed alone.
    ASSERT_EQ(context.Prf(Bytes(secret), "", Bytes(seed), c.length, out), 0);
    EXPECT_EQ(Hex(Str(out)), OpensslPrf(c.digest, secret, seed, c.length));
  }
}

TEST(TlsSecurityContext, FinishedLabels) {
  TlsSecurityContext context;
  ByteString label;
  context.version = 0x0303;
  ASSERT_EQ(context.FinishedLabel(1, label), 0);
  EXPECT_EQ(Str(label), "client finished");
  ASSERT_EQ(context.FinishedLabel(0, label), 0);
  EXPECT_EQ(Str(label), "server finished");
  context.isClient = 0;
  ASSERT_EQ(context.FinishedLabel(1, label), 0);
  EXPECT_EQ(Str(label), "server finished");
  context.isClient = 1;
  context.version = 0x0300;
  ASSERT_EQ(context.FinishedLabel(1, label), 0);
  EXPECT_EQ(Str(label), "CLNT");
  ASSERT_EQ(context.FinishedLabel(0, label), 0);
  EXPECT_EQ(Str(label), "SRVR");
}

TEST(TlsSecurityContext, TranscriptAndCertificateVerifyAgainstHashlib) {
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("hashlib"), "python3 is not available");
  const std::string messages = std::string("\x01\x00\x00\x03", 4) + "abc" + std::string("\x02\x00\x00\x01", 4) + "z";
  WireBuffer buffer(messages.data(), 0, int(messages.size()));
  TlsSecurityContext context;
  context.version = 0x0304;
  context.prfHash = TlsSecurityContext::kPrfSha256;
  context.ownSignatureScheme = 0x0805;  // rsa_pss_rsae_sha384
  ByteString transcript, digest;
  ASSERT_EQ(context.TranscriptHash(buffer, transcript), 0);
  ASSERT_EQ(context.Tls13CertificateVerifyDigest(buffer, 1, digest), 0);
  bool ok = false;
  const std::string expected = testsupport::RunPython(
      "import hashlib,sys\n"
      "m=bytes.fromhex(sys.argv[1]); h=hashlib.sha256(m).digest()\n"
      "c=b' '*64+b'TLS 1.3, client CertificateVerify'+b'\\0'+h\n"
      "print(h.hex()); print(hashlib.sha384(c).hexdigest())\n",
      ok, {Hex(messages)});
  ASSERT_TRUE(ok);
  EXPECT_EQ(Hex(Str(transcript)) + "\n" + Hex(Str(digest)) + "\n", expected);
  EXPECT_TRUE(context.UsesRsaPss(0x0805));
  context.prfHash = 7;
  EXPECT_EQ(context.TranscriptHash(buffer, transcript), TlsSecurityContext::kStatusHandshakeFailed);
}

TEST(TlsSecurityContext, KeysGoToTheRightDirection) {
  for (int isClient : {1, 0}) {
    TlsSecurityContext context;
    context.isClient = isClient;
    ASSERT_EQ(context.SetIvs(Bytes("client-iv"), Bytes("server-iv")), 0);
    ByteString write, read;
    ASSERT_EQ(context.writeState.GetFixedIv(write), 0);
    ASSERT_EQ(context.readState.GetFixedIv(read), 0);
    EXPECT_EQ(Str(write), isClient ? "client-iv" : "server-iv");
    EXPECT_EQ(Str(read), isClient ? "server-iv" : "client-iv");
  }
}

TEST(TlsSecurityContext, SwitchCopyKeepsRecordStates) {
  TlsSecurityContext pending, current;
  pending.version = 0x0303;
  ASSERT_EQ(pending.masterSecret.Set("master"), 0);
  ASSERT_EQ(pending.clientRandom.Set("random"), 0);
  ASSERT_EQ(current.readState.Activate(), 0);
  ASSERT_EQ(current.TakeNegotiated(pending), 0);
  EXPECT_EQ(Str(current.masterSecret), "master");
  EXPECT_EQ(current.version, 0x0303);
  EXPECT_EQ(current.IsReadActive(), 1);
  EXPECT_EQ(current.HasHelloRandom(), 1);
  ASSERT_EQ(current.Reset(), 0);
  EXPECT_EQ(current.HasHelloRandom(), 0);
  EXPECT_EQ(current.IsReadActive(), 0);
  EXPECT_TRUE(current.masterSecret.IsEmpty());
}

TEST(TlsSecurityContext, CertificateOperationsWithoutCertificates) {
  TlsSecurityContext context;
  ByteString out, text;
  WireBuffer encrypted;
  EXPECT_EQ(context.Sign(Bytes("d"), out), TlsSecurityContext::kStatusNoCertificateSupport);
  // No peer certificate: nothing to verify with, nothing to encrypt to.
  EXPECT_EQ(context.VerifyWithPeer(Bytes("d"), Bytes("s"), "SHA256"), TlsSecurityContext::kStatusNoPeerKey);
  EXPECT_EQ(context.EncryptPremaster(Bytes("p"), encrypted, text), TlsSecurityContext::kStatusNotRsa);
  EXPECT_STREQ(text.CStr(), "Public Key Encryption only supported with RSA certificates");
  EXPECT_EQ(encrypted.Length(), 0);
  EXPECT_EQ(context.KeyExchangeBits(), 0);
}

}  // namespace
