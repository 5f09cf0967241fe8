// The manager's SSH, PuTTY and JWK store types: OpenSSH files in PEM key
// stores (6, 7), PuTTY key stores (14, 15) and JWK stores (18, 19), with keys
// made by ssh-keygen and puttygen and JWKs by python3.
#include <gtest/gtest.h>

#include <string>

#include "../keys/SshKit.h"
#include "StoreSeam.h"
#include "TestSupport.h"
#include "TestText.h"
#include "pki/keys/KeyCodec.h"
#include "pki/store/CertificateManager.h"

using namespace tornell;
using namespace tornell::pki;

namespace {

std::string Hex(const ByteString& b) { return testsupport::Hex(b.Data(), static_cast<size_t>(b.Length())); }

// The key straight from the reader, to compare the manager's key with.
void Direct(const std::string& name, const char* password, bool putty, KeyHolder& holder) {
  const std::string bytes = sshkit::Bytes(name);
  SecretBytes secret;
  EXPECT_EQ(secret.Set(password), 0);
  const int status = putty ? KeyCodec::ReadPuttyKey(bytes.data(), static_cast<int>(bytes.size()), secret, holder)
                           : KeyCodec::ReadOpenSshKey(bytes.data(), static_cast<int>(bytes.size()), secret, holder);
  EXPECT_EQ(status, 0) << name;
}

TEST(KeyStoreTypes, OpenSshFilesInPemKeyStores) {
  REQUIRE_OR_SKIP(!sshkit::Ensure().empty(), sshkit::kMissing);
  for (int type : {kStorePemKeyFile, kStorePemKeyBlob}) {
    const auto source = [&](const std::string& name) {
      return type == kStorePemKeyFile ? sshkit::Path(name) : sshkit::Bytes(name);
    };
    StoreSeam rsa;
    rsa.PutStore(type, source("ossh-rsa-enc"), sshkit::kPassword);
    ASSERT_EQ(rsa.LoadStore(), 0) << rsa.GetLastErrorText();
    EXPECT_EQ(rsa.Store().GetKeyOnly(), 1);
    EXPECT_STREQ(rsa.GetKeyAlgorithm(), "RSA");
    RsaKey key;
    ASSERT_EQ(rsa.GetRsaKey(key, 0), 0);
    KeyHolder direct;
    Direct("ossh-rsa-enc", sshkit::kPassword, false, direct);
    EXPECT_EQ(Hex(key.d), Hex(direct.rsaKey.d));
    StoreSeam ed;
    ed.PutStore(type, source("ossh-ed25519"));
    ASSERT_EQ(ed.LoadStore(), 0);
    EXPECT_STREQ(ed.GetKeyAlgorithm(), "EdDSA");
    StoreSeam wrong;
    wrong.PutStore(type, source("ossh-ecdsa-256-enc"), "wrong");
    EXPECT_EQ(wrong.LoadStore(), kKeyFormatNotFound);
    EXPECT_EQ(wrong.Store().GetKeyOnly(), 0);
  }
}

TEST(KeyStoreTypes, PuttyStoresFlagOnlyEllipticCurveKeys) {
  REQUIRE_OR_SKIP(!sshkit::Ensure().empty(), sshkit::kMissing);
  for (int type : {kStorePuttyKeyFile, kStorePuttyKeyBlob}) {
    const auto source = [&](const std::string& name) {
      return type == kStorePuttyKeyFile ? sshkit::Path(name) : sshkit::Bytes(name);
    };
    StoreSeam ec;
    ec.PutStore(type, source("putty-ecdsa-521-enc.ppk"), sshkit::kPassword);
    ASSERT_EQ(ec.LoadStore(), 0) << ec.GetLastErrorText();
    EXPECT_EQ(ec.Store().GetKeyOnly(), 1);
    EcKey key;
    ASSERT_EQ(ec.GetEcKey(key, 0), 0);
    KeyHolder direct;
    Direct("putty-ecdsa-521-enc.ppk", sshkit::kPassword, true, direct);
    EXPECT_EQ(Hex(key.D), Hex(direct.ecKey.D));
    StoreSeam ed;
    ed.PutStore(type, source("putty-ed448.ppk"));
    ASSERT_EQ(ed.LoadStore(), 0);
    EXPECT_EQ(ed.Store().GetKeyOnly(), 1);
    StoreSeam rsa;
    rsa.PutStore(type, source("putty-rsa.ppk"));
    ASSERT_EQ(rsa.LoadStore(), 0);
    EXPECT_EQ(rsa.Store().GetKeyOnly(), 0);
    StoreSeam wrong;
    wrong.PutStore(type, source("putty-dsa-enc.ppk"), "wrong");
    EXPECT_EQ(wrong.LoadStore(), kKeyFileUnreadable);
  }
}

TEST(KeyStoreTypes, JwkStoresKeepTheirMembersForTheExport) {
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("cryptography"), "python3 cryptography missing");
  bool ok = false;
  const auto rows = testsupport::Rows(testsupport::RunPython(
      "import base64, json\n"
      "from cryptography.hazmat.primitives.asymmetric import ec\n"
      "n = ec.generate_private_key(ec.SECP256R1()).private_numbers()\n"
      "b = lambda v: base64.urlsafe_b64encode(v.to_bytes(32, 'big')).rstrip(b'=').decode()\n"
      "print(json.dumps({'kty': 'EC', 'crv': 'P-256', 'x': b(n.public_numbers.x), 'y': b(n.public_numbers.y),\n"
      "                  'd': b(n.private_value), 'kid': 'store-key', 'use': 'sig'}, separators=(',', ':')),\n"
      "      '%x' % n.private_value)\n",
      ok));
  ASSERT_TRUE(ok);
  ASSERT_EQ(rows.size(), 1u);
  testsupport::TempFile file(rows[0][0]);
  ASSERT_TRUE(file.Made());
  for (int type : {kStoreJwkFile, kStoreJwkBlob}) {
    StoreSeam m;
    m.PutStore(type, type == kStoreJwkFile ? file.Path() : rows[0][0]);
    ASSERT_EQ(m.LoadStore(), 0) << m.GetLastErrorText();
    EXPECT_EQ(m.Store().GetKeyOnly(), 1);
    EcKey key;
    ASSERT_EQ(m.GetEcKey(key, 0), 0);
    std::string d = Hex(key.D);
    d.erase(0, d.find_first_not_of('0'));
    EXPECT_EQ(d, rows[0][1]);
    const char* answer = nullptr;
    ASSERT_EQ(m.ConfigText("ExportFormat=JWK", answer), 0);
    ASSERT_EQ(m.ExportKey("", nullptr), 0) << m.GetLastErrorText();
    const std::string exported = m.GetExportedCert();
    for (const char* member : {R"("kid":"store-key")", R"("use":"sig")", "\"crv\":\"P-256\""}) {
      EXPECT_NE(exported.find(member), std::string::npos) << member << " in " << exported;
    }
    EXPECT_EQ(exported.find("\"kid\""), exported.rfind("\"kid\"")) << exported;
  }
  StoreSeam bad;
  bad.PutStore(kStoreJwkBlob, R"({"kty":"OKP","crv":"Ed25519","x":"AQ"})");
  EXPECT_EQ(bad.LoadStore(), kKeyUnusable);
  EXPECT_EQ(bad.Store().GetKeyOnly(), 0);
}

}  // namespace
