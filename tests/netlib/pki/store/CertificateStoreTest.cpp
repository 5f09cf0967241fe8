// The certificate store with kit certificates and keys, and the store's key
// written out against openssl.
#include <gtest/gtest.h>

#include <string>

#include "../kit/PkiKit.h"
#include "TestSupport.h"
#include "TestText.h"
#include "pki/keys/KeyCodec.h"
#include "pki/store/CertificateStore.h"

using namespace tornell;
using namespace tornell::pki;

namespace {

constexpr const char* kKit = "openssl, faketime or flock missing, or make_kit.sh failed";

std::string Text(const ByteString& b) { return std::string(b.Data(), static_cast<size_t>(b.Length())); }

int AddKitCertificate(CertificateStore& store, const char* name) {
  const std::string der = pkikit::Bytes(name);
  return store.AddCertificate(der.data(), static_cast<int>(der.size()));
}

TEST(CertificateStore, Empty) {
  CertificateStore store;
  RsaKey key;
  EXPECT_EQ(store.Current(), nullptr);
  EXPECT_STREQ(store.GetKeyAlgorithm(), "");
  EXPECT_EQ(store.GetKeyType(), kKeyTypeNone);
  EXPECT_EQ(store.GetRsaKey(key), kKeyOtherType);
  EXPECT_EQ(store.GetKeyHolder(), &store.emptyKeyHolder);
  ASSERT_EQ(store.SelectSubject("*"), 0);
  EXPECT_EQ(store.selectedIndex, -1);
  ByteString out;
  EXPECT_EQ(KeyCodec::WriteStoreKey(store, 0, out, 1), kKeyOtherType);
  EXPECT_EQ(store.AddCertificate("\x30\x00", 2), store.AddCertificate("\x30\x00", 2));
  EXPECT_EQ(store.entries.Count(), 0);  // a failed load adds nothing
}

TEST(CertificateStore, CertificatesAndSelection) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  CertificateStore store;
  ASSERT_EQ(AddKitCertificate(store, "rsa-leaf.der"), 0);
  ASSERT_EQ(AddKitCertificate(store, "ed25519-leaf.der"), 0);
  ASSERT_EQ(store.SelectSubject("CN=other"), 0);
  EXPECT_STREQ(store.GetSubject(), "CN=other");
  EXPECT_EQ(store.selectedIndex, -1);
  ASSERT_EQ(store.SelectSubject("*"), 0);
  EXPECT_EQ(store.selectedIndex, 0);
  EXPECT_STREQ(store.GetSubject(), store.entries.Get(0)->GetSubject());
  EXPECT_NE(std::string(store.GetSubject()).find("CN=kit.example"), std::string::npos);
  EXPECT_EQ(store.GetKeyType(), kKeyTypeRsa);
  RsaKey key;
  ASSERT_EQ(store.GetRsaKey(key), 0);
  // The public key of the certificate written as openssl writes it.
  ByteString out;
  ASSERT_EQ(KeyCodec::WriteStoreKey(store, 0, out, 1), 0);
  bool ok = false;
  EXPECT_EQ(testsupport::Hex(Text(out)),
            pkikit::Run("openssl pkey -in rsa-leaf.key -pubout -outform DER | od -An -tx1 | tr -d ' \\n'", ok));
  // An Ed25519 certificate gives a holder of no type.
  store.selectedIndex = 1;
  EXPECT_EQ(store.GetKeyHolder()->type, kKeyTypeNone);
  ASSERT_EQ(store.Clear(), 0);
  EXPECT_EQ(store.entries.Count(), 0);
  EXPECT_EQ(store.selectedIndex, -1);
}

TEST(CertificateStore, KeyOnlyEntries) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  for (const char* file : {"rsa-trad.pem", "p256-sec1.pem", "ed25519-p8.pem", "dsa-trad.pem"}) {
    const std::string text = pkikit::Bytes(file);
    KeyHolder holder;
    TextArmor blob;
    ByteString error;
    SecretBytes none;
    ASSERT_EQ(KeyCodec::ReadPrivateKeyFile(text.data(), static_cast<int>(text.size()), none, blob, holder, error), 0);
    CertificateStore store;
    ASSERT_EQ(store.AddKeyHolder(holder), 0);
    ASSERT_EQ(store.SetKeyOnly(1), 0);
    EXPECT_EQ(store.GetKeyType(), holder.type) << file;
    EXPECT_EQ(store.Current()->GetSubject(), nullptr);
    // Public-only output never carries the private key.
    ByteString pub, priv;
    ASSERT_EQ(KeyCodec::WriteStoreKey(store, 0, pub, 1), 0) << file;
    ASSERT_EQ(KeyCodec::WriteStoreKey(store, 1, priv, 0), 0) << file;
    bool ok = false;
    const std::string expected = testsupport::RunCommand(
        "(openssl pkey -pubout -outform DER 2>/dev/null | od -An -tx1 | tr -d ' \\n')", Text(priv), ok);
    ASSERT_TRUE(ok) << file;
    EXPECT_EQ(testsupport::Hex(Text(pub)), expected) << file;
  }
}

}  // namespace
