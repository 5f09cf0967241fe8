// The security context: the PRF against openssl's TLS1-PRF, the transcript
// hash and CertificateVerify content against hashlib, Finished labels, key
// installation by role and the switch copy.
#include <gtest/gtest.h>

#include <string>

#include "../../pki/kit/OwnStore.h"
#include "TestSupport.h"
#include "TestText.h"
#include "core/buffer/AllocationFault.h"
#include "crypto/digest/hash/HashContext.h"
#include "pki/store/SelectedCertificate.h"
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

// A temporary RSA key that cannot be copied whole is not kept: the context
// holds neither a mix of the old and the new key nor the old one.
TEST(TlsSecurityContext, EphemeralRsaKeyIsNeverHalfCopied) {
  RsaKey first, second;
  ASSERT_EQ(first.e.Set("\x01\x00\x01", 3), 0);
  ASSERT_EQ(first.n.Set(std::string(120, '\xA1').c_str()), 0);
  ASSERT_EQ(first.d.Set(std::string(120, '\xD1').c_str()), 0);
  ASSERT_EQ(second.e.Assign(first.e), 0);
  ASSERT_EQ(second.n.Set(std::string(512, '\xB2').c_str()), 0);  // longer: each copy needs a new block
  ASSERT_EQ(second.d.Set(std::string(512, '\xE2').c_str()), 0);
  TlsSecurityContext context;
  EXPECT_EQ(context.HasEphemeralRsaKey(), 0);
  ASSERT_EQ(context.SetEphemeralRsaKey(first), 0);
  ASSERT_EQ(context.HasEphemeralRsaKey(), 1);
  g_allocationFaultCountdown = 2;  // n copies, d does not
  EXPECT_EQ(context.SetEphemeralRsaKey(second), kStatusNoMemory);
  g_allocationFaultCountdown = 0;
  EXPECT_EQ(context.HasEphemeralRsaKey(), 0);
  ASSERT_EQ(context.SetEphemeralRsaKey(second), 0);
  EXPECT_EQ(context.HasEphemeralRsaKey(), 1);
  EXPECT_EQ(context.ephemeralRsaKey->d.Length(), 512);
}

TEST(TlsSecurityContext, CertificateOperationsWithoutCertificates) {
  TlsSecurityContext context;
  ByteString out, text;
  WireBuffer encrypted;
  EXPECT_EQ(context.Sign(Bytes("d"), out), TlsSecurityContext::kStatusNoCertificate);
  // No peer certificate: nothing to verify with, nothing to encrypt to.
  EXPECT_EQ(context.VerifyWithPeer(Bytes("d"), Bytes("s"), "SHA256"), TlsSecurityContext::kStatusNoPeerKey);
  EXPECT_EQ(context.EncryptPremaster(Bytes("p"), encrypted, text), TlsSecurityContext::kStatusNotRsa);
  EXPECT_STREQ(text.CStr(), "Public Key Encryption only supported with RSA certificates");
  EXPECT_EQ(encrypted.Length(), 0);
  EXPECT_EQ(context.KeyExchangeBits(), 0);
}

// Signatures made with the own certificate's key, loaded from a PKCS#12 or a
// PEM store, checked by `openssl pkeyutl` against the kit certificate: RSA
// PKCS#1 v1.5 over a DigestInfo and over the bare TLS 1.0 MD5+SHA-1 pair, RSA
// PSS, ECDSA and DSA.
TEST(TlsSecurityContext, SignWithTheOwnKeyVerifiesWithOpenssl) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl is not available");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  struct Case {
    const char* kind;
    int storeType;
    int version;
    int prfHash;
    int scheme;
    const char* digest;  // what the context signs
    const char* check;   // pkeyutl options; "recover" compares the recovered block
  } cases[] = {
      {"rsa", 3, 0x0303, 1, 0x0401, "SHA256", "-pkeyopt digest:sha256"},
      {"rsa", 7, 0x0303, 2, 0, "SHA384", "-pkeyopt digest:sha384"},
      {"rsa", 3, 0x0301, 0, 0, "MD5SHA1", "recover"},
      {"rsa", 7, 0x0304, 1, 0x0804, "SHA256",
       "-pkeyopt digest:sha256 -pkeyopt rsa_padding_mode:pss -pkeyopt rsa_pss_saltlen:32"},
      {"rsa", 3, 0x0304, 2, 0x0806, "SHA512",
       "-pkeyopt digest:sha512 -pkeyopt rsa_padding_mode:pss -pkeyopt rsa_pss_saltlen:64"},
      {"p256", 3, 0x0304, 1, 0x0403, "SHA256", ""},
      {"p384", 7, 0x0303, 2, 0x0503, "SHA384", ""},
      {"dsa", 7, 0x0303, 1, 0x0202, "SHA1", ""},
      {"dsa", 3, 0x0301, 0, 0, "SHA1", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + c.digest + " " + std::to_string(c.storeType));
    const std::string store = c.storeType == 3 ? pkikit::Pkcs12Store(c.kind) : pkikit::PemStore(c.kind);
    ASSERT_FALSE(store.empty());
    SelectedCertificate own;
    ASSERT_EQ(own.Init(store.data(), int(store.size()), c.storeType, pkikit::kStorePassword, "*", nullptr, 0), 0)
        << own.GetLastErrorText();
    TlsSecurityContext context;
    context.ownCertificate = &own;
    context.version = c.version;
    context.prfHash = c.prfHash;
    context.ownSignatureScheme = c.scheme;
    EXPECT_EQ(context.HasOwnKey(), 1);
    HashContext hash;
    ASSERT_EQ(hash.SetAlgorithm(c.digest), 0);
    ByteString digest, signature;
    ASSERT_EQ(hash.Digest("to be signed", 12, digest), 0);
    ASSERT_EQ(context.Sign(digest, signature), 0);
    testsupport::TempFile data(Str(digest)), sig(Str(signature));
    const std::string cert = pkikit::Path(std::string(c.kind) + "-leaf.crt");
    bool ok = false;
    if (std::string(c.check) == "recover") {
      const std::string recovered = testsupport::RunCommand(
          "openssl pkeyutl -verifyrecover -certin -inkey '" + cert + "' -in '" + sig.Path() + "' 2>/dev/null", ok);
      EXPECT_TRUE(ok);
      EXPECT_EQ(Hex(recovered), Hex(Str(digest)));
    } else {
      const std::string out = testsupport::RunCommand("openssl pkeyutl -verify -certin -inkey '" + cert + "' -in '" +
                                                          data.Path() + "' -sigfile '" + sig.Path() + "' " + c.check +
                                                          " 2>&1",
                                                      ok);
      EXPECT_TRUE(ok) << out;
      EXPECT_NE(out.find("Signature Verified Successfully"), std::string::npos) << out;
    }
  }
}

// A certificate without its key signs nothing.
TEST(TlsSecurityContext, SignNeedsThePrivateKey) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  const std::string der = pkikit::Bytes("rsa-leaf.der");
  SelectedCertificate own;
  ASSERT_EQ(own.Init(nullptr, 0, 0, nullptr, nullptr, der.data(), int(der.size())), 0);
  TlsSecurityContext context;
  context.ownCertificate = &own;
  context.version = 0x0303;
  EXPECT_EQ(context.HasOwnKey(), 0);
  ByteString signature;
  EXPECT_NE(context.Sign(Bytes(std::string(32, 'x')), signature), 0);
  EXPECT_TRUE(signature.IsEmpty());
}

}  // namespace
