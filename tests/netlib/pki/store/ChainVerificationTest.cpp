// Chain verification of kit chains, every verdict compared with what
// `openssl verify` says of the same certificates.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../kit/PkiKit.h"
#include "TestSupport.h"
#include "TestText.h"
#include "pki/keys/KeyCodec.h"
#include "pki/store/SelectedCertificate.h"

using namespace tornell;
using namespace tornell::pki;

namespace {

constexpr const char* kKit = "openssl, faketime or flock missing, or make_kit.sh failed";
constexpr long kSelfSigned = 0x10;

// A kit certificate as the TLS engine hands it over: CERTIFICATE armour of
// the DER with CR LF line ends. A leading '!' flips the last signature byte.
std::string Pem(const std::string& name) {
  const bool flip = name[0] == '!';
  std::string der = pkikit::Bytes((flip ? name.substr(1) : name) + ".der");
  if (flip) der.back() = static_cast<char>(der.back() ^ 0x01);
  ByteString out;
  EXPECT_EQ(KeyCodec::PemEncode(der.data(), static_cast<int>(der.size()), "CERTIFICATE", out), 0);
  return std::string(out.Data(), static_cast<size_t>(out.Length()));
}

// The chain as PEM texts; unarmoured, the received DER never matches the
// leaf's own text, so each certificate is decoded afresh instead of the leaf
// standing in for the first.
int Verify(const std::vector<std::string>& chain, long flags, const std::vector<std::string>* trusted = nullptr,
           bool armoured = true) {
  StringList received, anchors;
  for (const std::string& name : chain) {
    std::string text = Pem(name);
    if (!armoured) {
      const bool flip = name[0] == '!';
      text = pkikit::Bytes((flip ? name.substr(1) : name) + ".der");
      if (flip) text.back() = static_cast<char>(text.back() ^ 0x01);
    }
    EXPECT_EQ(received.Add(text.data(), static_cast<int>(text.size())), 0);
  }
  if (trusted != nullptr) {
    for (const std::string& pem : *trusted) EXPECT_EQ(anchors.Add(pem.data(), static_cast<int>(pem.size())), 0);
  }
  SelectedCertificate leaf;
  const std::string first = Pem(chain[0]);
  EXPECT_EQ(leaf.Init(nullptr, 0, 0, nullptr, nullptr, first.data(), static_cast<int>(first.size())), 0);
  return SelectedCertificate::VerifyChain(leaf, received, nullptr, flags, trusted != nullptr ? &anchors : nullptr);
}

std::string Scratch() {
  const auto dir = std::filesystem::temp_directory_path() / ("tornell_chain_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  return dir.string();
}

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// Whether openssl accepts the leaf with the anchor trusted and the rest of
// the chain as untrusted helpers.
bool OpensslAccepts(const std::vector<std::string>& chain, const std::string& anchor) {
  const std::string dir = Scratch();
  std::string helpers;
  for (size_t i = 1; i < chain.size(); ++i) helpers += Pem(chain[i]);
  Write(dir + "/leaf.pem", Pem(chain[0]));
  Write(dir + "/anchor.pem", Pem(anchor));
  Write(dir + "/helpers.pem", helpers);
  bool ok = false;
  testsupport::RunCommand("openssl verify -CAfile '" + dir + "/anchor.pem' " +
                              (helpers.empty() ? std::string() : "-untrusted '" + dir + "/helpers.pem' ") + "'" +
                              dir + "/leaf.pem' >/dev/null 2>&1",
                          ok);
  std::filesystem::remove_all(dir);
  return ok;
}

struct ChainCase {
  const char* what;
  std::vector<std::string> chain;  // kind-relative names: "leaf", "int", "root", "!leaf" ...
  int plain;                       // verdict with flags 0
  int selfSigned;                  // verdict with flag 0x10
  const char* anchor;              // what openssl trusts; null: not compared
};

std::string Named(const std::string& kind, const std::string& part) {
  if (part == "unrelated") return kind == "p256" ? "rsa-root" : "p256-root";
  if (part.rfind("self", 0) == 0 || part.rfind("!self", 0) == 0) return part;
  const bool flip = part[0] == '!';
  return (flip ? "!" : "") + kind + "-" + (flip ? part.substr(1) : part);
}

TEST(ChainVerification, KitChainsAgreeWithOpenssl) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  std::vector<std::string> many = {"leaf", "int"};
  while (many.size() < 32) many.push_back("root");
  std::vector<std::string> tooMany = many;
  tooMany.push_back("root");
  const std::vector<ChainCase> cases = {
      {"leaf, intermediate, root", {"leaf", "int", "root"}, 274, 0, "root"},
      {"root missing", {"leaf", "int"}, -1, -1, "unrelated"},
      {"out of order", {"leaf", "root", "int"}, 274, 0, "root"},
      {"duplicate", {"leaf", "int", "int", "root"}, 274, 0, "root"},
      {"leaf signature flipped", {"!leaf", "int", "root"}, -1, -1, "root"},
      {"intermediate signature flipped", {"leaf", "!int", "root"}, -1, -1, "root"},
      // A trust anchor's own signature is not looked at, here nor by openssl.
      {"root signature flipped", {"leaf", "!root"}, -1, -1, "unrelated"},
      {"root signature flipped, full chain", {"leaf", "int", "!root"}, 274, 0, "!root"},
      {"intermediate as the leaf", {"int", "leaf", "root"}, 274, 0, "root"},
      {"32 certificates", many, 274, 0, "root"},
      {"33 certificates", tooMany, -1, -1, nullptr},
  };
  for (const char* kind : {"rsa", "p256", "p384", "p521", "dsa"}) {
    for (const ChainCase& c : cases) {
      std::vector<std::string> chain;
      for (const std::string& part : c.chain) chain.push_back(Named(kind, part));
      EXPECT_EQ(Verify(chain, 0), c.plain) << kind << ": " << c.what;
      EXPECT_EQ(Verify(chain, kSelfSigned), c.selfSigned) << kind << ": " << c.what;
      EXPECT_EQ(Verify(chain, kSelfSigned, nullptr, false), c.selfSigned) << kind << ", DER: " << c.what;
      if (c.anchor == nullptr) continue;
      EXPECT_EQ(OpensslAccepts(chain, Named(kind, c.anchor)), c.selfSigned == 0) << kind << ": " << c.what;
    }
  }
}

TEST(ChainVerification, SelfSignedLeaves) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  const std::vector<ChainCase> cases = {
      {"self-signed leaf alone", {"self-leaf"}, 274, 0, "self-leaf"},
      // The walk stops at the unrelated certificate; the leaf alone must not
      // count as trusted for that.
      {"with an unrelated certificate", {"self-leaf", "p256-root"}, 274, 0, "self-leaf"},
      {"with one of its names under another key", {"self-leaf", "self-decoy"}, 274, 0, "self-leaf"},
      {"decoy first", {"self-decoy", "self-leaf"}, 274, 0, "self-decoy"},
      {"signature flipped, with an unrelated certificate", {"!self-leaf", "p256-root"}, -1, -1, "unrelated"},
      {"signed by the real intermediate's key", {"self-leaf", "rsa-int", "rsa-root"}, 274, 0, "self-leaf"},
  };
  for (const ChainCase& c : cases) {
    EXPECT_EQ(Verify(c.chain, 0), c.plain) << c.what;
    EXPECT_EQ(Verify(c.chain, kSelfSigned), c.selfSigned) << c.what;
    EXPECT_EQ(Verify(c.chain, kSelfSigned, nullptr, false), c.selfSigned) << "DER: " << c.what;
    EXPECT_EQ(OpensslAccepts(c.chain, Named("rsa", c.anchor)), c.selfSigned == 0) << c.what;
  }
}

TEST(ChainVerification, ValidityPeriods) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  // Expired intermediate: 1. Leaf not yet valid: -1. openssl refuses both.
  const std::vector<std::string> expired = {"rsa-leaf", "rsa-int-expired", "rsa-root"};
  const std::vector<std::string> future = {"rsa-leaf-future", "rsa-int", "rsa-root"};
  EXPECT_EQ(Verify(expired, kSelfSigned), 1);
  EXPECT_EQ(Verify(future, kSelfSigned), -1);
  EXPECT_EQ(Verify(future, kSelfSigned, nullptr, false), -1);
  EXPECT_FALSE(OpensslAccepts(expired, "rsa-root"));
  EXPECT_FALSE(OpensslAccepts(future, "rsa-root"));
  // The expired copy's signature itself is good: openssl takes it without the clock.
  bool ok = false;
  testsupport::RunCommand("cd '" + pkikit::Ensure() +
                              "' && openssl verify -no_check_time -CAfile rsa-root.crt -untrusted rsa-int-expired.crt "
                              "rsa-leaf.crt >/dev/null 2>&1",
                          ok);
  EXPECT_TRUE(ok);
}

TEST(ChainVerification, TrustedLists) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  for (const char* kind : {"rsa", "p256", "dsa"}) {
    const std::string k(kind);
    const std::vector<std::string> root = {Pem(k + "-root")};
    const std::vector<std::string> unrelated = {Pem(Named(k, "unrelated"))};
    std::string lfRoot = Pem(k + "-root");
    for (size_t at = lfRoot.find("\r\n"); at != std::string::npos; at = lfRoot.find("\r\n")) lfRoot.erase(at, 1);
    const std::vector<std::string> sameTop = {lfRoot};
    EXPECT_EQ(Verify({k + "-leaf", k + "-int"}, 0, &root), 0) << kind;
    EXPECT_EQ(Verify({k + "-leaf", k + "-int"}, 0, &unrelated), -1) << kind;
    EXPECT_EQ(Verify({k + "-leaf", k + "-int", k + "-root"}, 0, &sameTop), 0) << kind;
    EXPECT_EQ(Verify({k + "-leaf", k + "-int", k + "-root"}, 0, &unrelated), -1) << kind;
    // A trusted root does not rescue a bad signature below it.
    EXPECT_EQ(Verify({"!" + k + "-leaf", k + "-int"}, 0, &root), -1) << kind;
    // The trusted root signs the intermediate, which is reached through the trusted list.
    const std::vector<std::string> both = {Pem(k + "-int"), Pem(k + "-root")};
    EXPECT_EQ(Verify({k + "-leaf"}, 0, &both), 0) << kind;
  }
}

TEST(ChainVerification, EdwardsIssuerAndNoManager) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  EXPECT_EQ(Verify({"ed25519-leaf", "ed25519-int", "ed25519-root"}, kSelfSigned), 508);
  SelectedCertificate empty;
  StringList chain;
  ASSERT_EQ(chain.Add("x"), 0);
  EXPECT_EQ(SelectedCertificate::VerifyChain(empty, chain, nullptr, 0, nullptr), 281);
  EXPECT_STREQ(empty.GetLastErrorText(), "No certificate selected.  Please select a certificate first.");
  SelectedCertificate leaf;
  const std::string pem = Pem("rsa-leaf");
  ASSERT_EQ(leaf.Init(nullptr, 0, 0, nullptr, nullptr, pem.data(), static_cast<int>(pem.size())), 0);
  StringList none;
  EXPECT_EQ(SelectedCertificate::VerifyChain(leaf, none, nullptr, kSelfSigned, nullptr), -1);
  StringList garbage;
  ASSERT_EQ(garbage.Add("-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n"), 0);
  EXPECT_GT(SelectedCertificate::VerifyChain(leaf, garbage, nullptr, kSelfSigned, nullptr), 1);
}

}  // namespace
