// The selected certificate: the blob and store routes, copies, the exported
// chain with its collection status, and the validity check.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../kit/OwnStore.h"
#include "../kit/PkiKit.h"
#include "TestSupport.h"
#include "TestText.h"
#include "pki/store/CertificateCollection.h"
#include "pki/store/SelectedCertificate.h"

using namespace tornell;
using namespace tornell::pki;

namespace {

constexpr const char* kKit = "openssl, faketime or flock missing, or make_kit.sh failed";
constexpr const char* kNoCertificate = "No certificate selected.  Please select a certificate first.";

int InitBlob(SelectedCertificate& s, const std::string& blob) {
  return s.Init(nullptr, 0, 0, nullptr, nullptr, blob.data(), static_cast<int>(blob.size()));
}

TEST(SelectedCertificate, StoreRouteAndDefaultStore) {
  SelectedCertificate s;
  EXPECT_EQ(s.Init("MY", 2, 0, "", "", nullptr, 0), 281);
  EXPECT_STREQ(s.GetLastErrorText(), kNoCertificate);
  EXPECT_EQ(s.GetManager(), nullptr);
  EXPECT_EQ(s.IsLoaded(), 0);
  // A named store of the platform does not exist here; a store file the
  // manager reads itself must exist.
  EXPECT_EQ(s.Init("MY", 2, 1, "", "*", nullptr, 0), 306);
  EXPECT_EQ(s.GetManager(), nullptr);
  EXPECT_EQ(s.Init("MY", 2, 2, "", "*", nullptr, 0), 280);
  EXPECT_STREQ(s.GetLastErrorText(), "Cannot open store file.");
  EXPECT_EQ(s.GetManager(), nullptr);
  // A blob of length 0 takes the store route too.
  EXPECT_EQ(s.Init("MY", 2, 0, "pw", "", "x", 0), 306);
  ByteString der;
  EXPECT_EQ(s.GetEncoded(der), 281);
  EXPECT_STREQ(s.GetLastErrorText(), kNoCertificate);
  EXPECT_EQ(s.CheckValidity(), 281);
  StringList encoded;
  EXPECT_EQ(s.ExportChain(encoded, 0, nullptr, nullptr, nullptr, nullptr, 0), 281);
}

TEST(SelectedCertificate, BlobRouteKeepsTheBlob) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  const std::string der = pkikit::Bytes("rsa-leaf.der");
  SelectedCertificate s;
  ASSERT_EQ(InitBlob(s, der), 0);
  ASSERT_NE(s.GetManager(), nullptr);
  EXPECT_EQ(s.IsLoaded(), 1);
  ByteString out;
  ASSERT_EQ(s.GetEncoded(out), 0);
  EXPECT_EQ(std::string(out.Data(), static_cast<size_t>(out.Length())), der);
  EXPECT_EQ(s.CheckValidity(), 0);
  // Store arguments next to the kept blob: the blob is loaded again.
  ASSERT_EQ(s.Init("MY", 2, 2, "pw", "*", nullptr, 0), 0);
  EXPECT_STREQ(s.GetManager()->GetSubject(), "C=US,O=Kit Org,OU=Servers,CN=kit.example");
  // A failing blob leaves no manager but keeps the loaded flag.
  EXPECT_NE(InitBlob(s, "not a certificate"), 0);
  EXPECT_EQ(s.GetManager(), nullptr);
  EXPECT_EQ(s.IsLoaded(), 1);
  ASSERT_EQ(s.Reset(), 0);
  EXPECT_EQ(s.IsLoaded(), 0);
  EXPECT_EQ(s.Init("MY", 2, 0, nullptr, nullptr, nullptr, 0), 281);
}

TEST(SelectedCertificate, CopyFrom) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  SelectedCertificate source, copy, empty;
  ASSERT_EQ(copy.CopyFrom(empty), 0);
  EXPECT_EQ(copy.GetManager(), nullptr);
  ASSERT_EQ(InitBlob(source, pkikit::Bytes("p256-leaf.der")), 0);
  ASSERT_EQ(copy.CopyFrom(source), 0);
  ASSERT_NE(copy.GetManager(), nullptr);
  EXPECT_NE(copy.GetManager(), source.GetManager());
  EXPECT_STREQ(copy.GetManager()->GetIssuer(), source.GetManager()->GetIssuer());
  ASSERT_EQ(copy.CopyFrom(copy), 0);
  EXPECT_NE(copy.GetManager(), nullptr);
  // An unloaded source releases the copy's manager and loads nothing.
  ASSERT_EQ(copy.CopyFrom(empty), 0);
  EXPECT_EQ(copy.GetManager(), nullptr);
}

TEST(SelectedCertificate, ExportChain) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  struct Case {
    const char* file;
    long flags;
    int status;
  } cases[] = {{"rsa-root.der", 0x10, 0}, {"rsa-root.der", 0, 274}, {"rsa-leaf.der", 0x10, 274},
               {"self-leaf.der", 0x10 | 0x80000000L, 0}};
  for (const Case& c : cases) {
    const std::string der = pkikit::Bytes(c.file);
    SelectedCertificate s;
    ASSERT_EQ(InitBlob(s, der), 0);
    StringList encoded, subjects, issuers, serials;
    int status = -7;
    ASSERT_EQ(s.ExportChain(encoded, 1, &subjects, &issuers, &serials, &status, c.flags), 0);
    EXPECT_EQ(status, c.status) << c.file;
    ASSERT_EQ(encoded.Count(), 1);
    EXPECT_EQ(std::string(encoded.Get(0), static_cast<size_t>(encoded.EntryLength(0))), der);
    ASSERT_EQ(subjects.Count(), 1);
    EXPECT_STREQ(serials.Get(0), s.GetManager()->GetSerialNumber());
    ASSERT_EQ(s.ExportChain(encoded, 0, nullptr, nullptr, nullptr, nullptr, c.flags), 0);
    EXPECT_EQ(std::string(encoded.Get(0)).rfind("-----BEGIN CERTIFICATE-----\n", 0), 0u);
  }
  // Normalised names: the subject is sorted by attribute.
  SelectedCertificate root;
  ASSERT_EQ(InitBlob(root, pkikit::Bytes("rsa-root.der")), 0);
  StringList encoded, subjects;
  ASSERT_EQ(root.ExportChain(encoded, 0, &subjects, nullptr, nullptr, nullptr, 0), 0);
  EXPECT_STREQ(subjects.Get(0), "C=US,CN=Kit rsa Root,E=root@example.com,L=Portland,O=Kit Org,OU=Kit Unit,ST=Oregon");
}

// Everything a selection tells of its certificate, as one text to compare.
std::string Answers(SelectedCertificate& s) {
  CertificateManager* m = s.GetManager();
  if (m == nullptr) return "no manager";
  std::string out;
  auto add = [&out](const char* name, const std::string& value) { out += std::string(name) + "=" + value + "\n"; };
  auto text = [](const char* value) { return std::string(value != nullptr ? value : "(null)"); };
  auto hex = [](const ByteString& b) { return testsupport::Hex(b.Data(), static_cast<size_t>(b.Length())); };
  add("subject", text(m->GetSubject()));
  add("issuer", text(m->GetIssuer()));
  add("key", text(m->GetKeyAlgorithm()));
  add("serial", text(m->GetSerialNumber()));
  add("signature", text(m->GetSignatureAlgorithm()));
  add("names", text(m->GetSubjectAltNames()));
  char* data = nullptr;
  int length = 0;
  add("text", m->GetEncoded(&data, &length) == 0 ? std::string(data, static_cast<size_t>(length)) : "fails");
  ByteString der;
  add("der", s.GetEncoded(der) == 0 ? hex(der) : "fails");
  add("validity", std::to_string(s.CheckValidity()));
  StringList chain, subjects, issuers, serials;
  int status = 0;
  add("chain", std::to_string(s.ExportChain(chain, 1, &subjects, &issuers, &serials, &status, 0)) + " " +
                   std::to_string(chain.Count()) + " " + std::to_string(status));
  const CertStoreEntry* entry = m->Store().Current();
  const X509Certificate* c = entry != nullptr ? entry->certificate : nullptr;
  if (c == nullptr) return out + "no record\n";
  const TbsCertificate& t = c->tbs;
  const SubjectPublicKeyInfo& k = t.subjectPublicKeyInfo;
  add("record", hex(c->encoded) + " " + hex(c->tbsEncoded) + " " + hex(c->signatureValue) + " " +
                    text(c->signatureAlgorithm.oid.CStr()) + " " + hex(c->signatureAlgorithm.parameters));
  add("tbs", std::to_string(t.version) + " " + hex(t.serialNumberEncoded) + " " + text(t.serialNumber.CStr()) + " " +
                 text(t.signature.oid.CStr()) + " " + hex(t.signature.parameters) + " " + hex(t.issuerEncoded) + " " +
                 text(t.notBefore.CStr()) + " " + text(t.notAfter.CStr()) + " " + hex(t.subjectPublicKeyInfoContent));
  add("spki", text(k.algorithm.oid.CStr()) + " " + hex(k.algorithm.parameters) + " " + hex(k.Rsa().n) + " " +
                  hex(k.Rsa().e) + " " + hex(k.Dsa().p) + " " + hex(k.Dsa().y) + " " + hex(k.Ec().X) + " " +
                  hex(k.Ec().Y) + " " + std::to_string(k.Ec().curveIndex));
  auto& extensions = const_cast<PtrList<CertificateExtension>&>(t.extensions);
  for (int i = 0; i < extensions.Count(); ++i) {
    const CertificateExtension* e = extensions.Get(i);
    add("extension", text(e->extnId.CStr()) + " " + std::to_string(e->critical) + " " + hex(e->extnValue));
  }
  for (int i = 0; i < t.extensionsEncoded.Count(); ++i) {
    const size_t length = static_cast<size_t>(t.extensionsEncoded.EntryLength(i));
    add("encoded extension", testsupport::Hex(t.extensionsEncoded.Get(i), length));
  }
  return out;
}

// A certificate decoded once (as the TLS engine holds the peer's) selects
// exactly what its DER does; a malformed one fails alike on both routes.
TEST(SelectedCertificate, DecodedCertificateAnswersAsItsBlob) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  std::vector<std::pair<std::string, std::string>> inputs;
  for (const char* file : pkikit::kCertificates) inputs.emplace_back(file, pkikit::Bytes(file));
  for (const char* file : pkikit::kChainCases) inputs.emplace_back(file, pkikit::Bytes(file));
  const std::string leaf = pkikit::Bytes("p256-leaf.der");
  std::string flippedTag = leaf;
  flippedTag[4] = static_cast<char>(flippedTag[4] ^ 0x20);
  std::string longerLength = leaf;
  longerLength[5] = static_cast<char>(longerLength[5] + 1);
  inputs.emplace_back("truncated", leaf.substr(0, leaf.size() - 9));
  inputs.emplace_back("inner tag changed", flippedTag);
  inputs.emplace_back("inner length grown", longerLength);
  inputs.emplace_back("trailing bytes", leaf + std::string("\x05\x00", 2));
  inputs.emplace_back("two integers", std::string("\x30\x06\x02\x01\x01\x02\x01\x02", 8));
  inputs.emplace_back("not DER", "not a certificate");
  int decodedCount = 0;
  for (const auto& [name, der] : inputs) {
    SelectedCertificate fromBlob;
    const int blobStatus = InitBlob(fromBlob, der);
    auto record = std::make_unique<X509Certificate>();
    ASSERT_EQ(record->encoded.Set(der.data(), static_cast<int>(der.size())), 0);
    const int decodeStatus = record->Decode();
    if (decodeStatus != 0) {
      EXPECT_EQ(blobStatus, decodeStatus) << name;
      continue;
    }
    ++decodedCount;
    SelectedCertificate fromRecord;
    EXPECT_EQ(fromRecord.Init(std::move(record)), blobStatus) << name;
    EXPECT_EQ(fromRecord.IsLoaded(), fromBlob.IsLoaded()) << name;
    EXPECT_EQ(Answers(fromRecord), Answers(fromBlob)) << name;
    // A copy loads again from the kept DER.
    SelectedCertificate copy;
    EXPECT_EQ(copy.CopyFrom(fromRecord), 0) << name;
    EXPECT_EQ(Answers(copy), Answers(fromBlob)) << name;
  }
  EXPECT_GE(decodedCount, 34);
}

TEST(SelectedCertificate, CheckValidityOfKitCertificates) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  struct Case {
    const char* file;
    int verdict;
  } cases[] = {{"rsa-leaf.der", 0}, {"rsa-int-expired.der", 1}, {"rsa-leaf-future.der", -1}, {"y49.der", -1}, {"y50.der", 1}};
  for (const Case& c : cases) {
    SelectedCertificate s;
    ASSERT_EQ(InitBlob(s, pkikit::Bytes(c.file)), 0) << c.file;
    EXPECT_EQ(s.CheckValidity(), c.verdict) << c.file;
  }
}

TEST(CertificateCollection, SelfSignedRule) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  struct Case {
    const char* file;
    long flags;
    int status;
  } cases[] = {{"self-leaf.der", 0x10, 0}, {"self-leaf.der", 0, 274}, {"rsa-int.der", 0x10, 274}};
  for (const Case& c : cases) {
    CertificateCollection collection;
    const std::string der = pkikit::Bytes(c.file);
    ASSERT_EQ(collection.LoadCertificate(der.data(), static_cast<int>(der.size())), 0);
    collection.SetSslSecurityFlags(c.flags);
    StringList unused;
    ASSERT_EQ(collection.CollectSelected(unused), 0);
    EXPECT_EQ(collection.GetStatus(), c.status) << c.file;
    ASSERT_EQ(collection.CollectSelected(unused), 0);  // no duplicate test here
    StringList serials;
    ASSERT_EQ(collection.GetSerials(serials), 0);
    EXPECT_EQ(serials.Count(), 2);
  }
  CertificateCollection reports;
  reports.SetSslSecurityFlags(0x10);
  ASSERT_EQ(reports.FireCertificate("ab", 2, "CN=x", "CN=x", "01", 32, 0), 0);
  EXPECT_EQ(reports.GetStatus(), 0);
  ASSERT_EQ(reports.FireCertificate("ab", 2, "CN=x", "CN=x", "01", 31, 0), 0);
  EXPECT_EQ(reports.GetStatus(), 31);
  ASSERT_EQ(reports.FireCertificate("ab", 2, "CN=x", "CN=y", nullptr, 32, 0), 0);
  EXPECT_EQ(reports.GetStatus(), 32);
  StringList subjects;
  ASSERT_EQ(reports.GetSubjects(subjects), 0);
  EXPECT_EQ(subjects.Count(), 3);
}

TEST(SelectedCertificate, PathHelpers) {
  StringList encoded, subjects, issuers, serials, fromEncoded, fromSubjects, fromIssuers, fromSerials;
  for (const char* s : {"a", "b", "a"}) {
    ASSERT_EQ(fromEncoded.Add(s), 0);
    ASSERT_EQ(fromSubjects.Add(s), 0);
    ASSERT_EQ(fromIssuers.Add("i"), 0);
    ASSERT_EQ(fromSerials.Add("01"), 0);
  }
  ASSERT_EQ(SelectedCertificate::MergeCertificates(encoded, subjects, issuers, serials, fromEncoded, fromSubjects,
                                                   fromIssuers, fromSerials),
            0);
  EXPECT_EQ(encoded.Count(), 2);
  ASSERT_EQ(SelectedCertificate::RemoveCertificateAt(0, encoded, subjects, issuers), 0);
  EXPECT_STREQ(subjects.Get(0), "b");
  EXPECT_EQ(SelectedCertificate::RemoveCertificateAt(5, encoded, subjects, issuers), 432);
  // An empty candidate list ends the walk on the names alone.
  ByteString issuer("CN=a"), subject("CN=a"), other("CN=b");
  StringList none, path;
  EXPECT_EQ(SelectedCertificate::ExtendPath(issuer, subject, none, none, none, path), 0);
  EXPECT_EQ(SelectedCertificate::ExtendPath(issuer, other, none, none, none, path), -1);
}

TEST(SelectedCertificate, ExtendPathOverKitLists) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  // Candidates root then intermediate for the leaf: the walk takes the
  // intermediate, then the root, and leaves the root in the lists.
  StringList encoded, subjects, issuers, path;
  std::string names[2][2];
  for (const char* file : {"p256-root.der", "p256-int.der"}) {
    SelectedCertificate s;
    ASSERT_EQ(InitBlob(s, pkikit::Bytes(file)), 0);
    StringList e, sub, iss;
    ASSERT_EQ(s.ExportChain(e, 0, &sub, &iss, nullptr, nullptr, 0), 0);
    ASSERT_EQ(encoded.Add(e.Get(0), e.EntryLength(0)), 0);
    ASSERT_EQ(subjects.Add(sub.Get(0)), 0);
    ASSERT_EQ(issuers.Add(iss.Get(0)), 0);
  }
  SelectedCertificate leaf;
  ASSERT_EQ(InitBlob(leaf, pkikit::Bytes("p256-leaf.der")), 0);
  StringList e, sub, iss;
  ASSERT_EQ(leaf.ExportChain(e, 0, &sub, &iss, nullptr, nullptr, 0), 0);
  ASSERT_EQ(path.Add(e.Get(0), e.EntryLength(0)), 0);
  ByteString issuer, subject;
  ASSERT_EQ(issuer.Set(iss.Get(0)), 0);
  ASSERT_EQ(subject.Set(sub.Get(0)), 0);
  EXPECT_EQ(SelectedCertificate::ExtendPath(issuer, subject, encoded, subjects, issuers, path), 0);
  EXPECT_EQ(path.Count(), 3);
  EXPECT_EQ(encoded.Count(), 1);
  EXPECT_STREQ(subjects.Get(0), issuers.Get(0));
}

// A store the manager reads selects the certificate that goes with its key:
// the PKCS#12 file's own, or the one beside the key in a PEM text; the key
// is the private one, the certificate the kit's bytes.
TEST(SelectedCertificate, StoreRouteYieldsTheCertificateWithItsKey) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  struct Case {
    const char* kind;
    int type;
    const char* algorithm;
  } cases[] = {{"rsa", 3, "RSA"}, {"p256", 3, "IdEcPublicKey"}, {"rsa", 7, "RSA"}, {"dsa", 7, "DSA"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + std::to_string(c.type));
    const std::string store = c.type == 3 ? pkikit::Pkcs12Store(c.kind) : pkikit::PemStore(c.kind);
    ASSERT_FALSE(store.empty());
    SelectedCertificate s;
    ASSERT_EQ(s.Init(store.data(), int(store.size()), c.type, pkikit::kStorePassword, "*", nullptr, 0), 0)
        << s.GetLastErrorText();
    ByteString der;
    ASSERT_EQ(s.GetEncoded(der), 0);
    EXPECT_EQ(std::string(der.Data(), size_t(der.Length())), pkikit::Bytes(std::string(c.kind) + "-leaf.der"));
    EXPECT_STREQ(s.GetManager()->GetKeyAlgorithm(), c.algorithm);
    EXPECT_STREQ(s.GetManager()->GetSubject(), "C=US,O=Kit Org,OU=Servers,CN=kit.example");
    const KeyHolder& key = *s.GetManager()->Store().GetKeyHolder();
    const bool privateKey = key.type == kKeyTypeRsa ? !key.rsaKey.d.IsEmpty()
                            : key.type == kKeyTypeEc ? !key.ecKey.D.IsEmpty()
                                                     : !key.dsaKey.x.IsEmpty();
    EXPECT_TRUE(privateKey);
    // A copy loads the same store again.
    SelectedCertificate copy;
    ASSERT_EQ(copy.CopyFrom(s), 0);
    ByteString copied;
    ASSERT_EQ(copy.GetEncoded(copied), 0);
    EXPECT_TRUE(copied.Equals(der.Data(), der.Length()));
  }
  // A wrong password loads nothing; a PEM key beside another key's
  // certificate stays a key alone.
  const std::string pfx = pkikit::Pkcs12Store("rsa");
  SelectedCertificate wrong;
  EXPECT_NE(wrong.Init(pfx.data(), int(pfx.size()), 3, "not it", "*", nullptr, 0), 0);
  EXPECT_EQ(wrong.GetManager(), nullptr);
  const std::string mixed = pkikit::Bytes("rsa-leaf.key") + pkikit::Bytes("p256-leaf.crt");
  SelectedCertificate alone;
  ASSERT_EQ(alone.Init(mixed.data(), int(mixed.size()), 7, "", "*", nullptr, 0), 0);
  ByteString none;
  EXPECT_NE(alone.GetEncoded(none), 0);
  EXPECT_STREQ(alone.GetManager()->GetKeyAlgorithm(), "RSA");
}

}  // namespace
