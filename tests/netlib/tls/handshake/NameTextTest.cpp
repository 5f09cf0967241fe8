// The glob matcher against Python's fnmatch on random patterns and against
// its own rules where fnmatch differs (escapes, reversed ranges, unclosed
// classes, case folding); the distinguished-name splitter against the
// escapes it must undo and against the alternative names Python's
// cryptography decodes from a fixture certificate; the host check against
// the kit's leaf (alternative names) and root (a subject name alone).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "pki/store/CertificateManager.h"
#include "pki/x509/CertificateRecords.h"
#include "tls/handshake/HostNameMatch.h"
#include "tls/handshake/SplitDistinguishedName.h"
#include "tls/handshake/WildcardMatch.h"
#include "../../pki/kit/PkiKit.h"

namespace {

using tornell::StringList;
using tornell::tls::SplitDistinguishedName;
using tornell::tls::WildcardMatch;

TEST(WildcardMatch, Rules) {
  struct Row {
    const char* text;
    const char* pattern;
    int fold;
    int expected;
  } rows[] = {
      {"abc", "a[c-a]c", 0, 1},         // a range written high to low
      {"abc", "a[a-c", 0, 0},           // a class never closed
      {"abc", "a[b-]c", 0, 0},          // a range without its end
      {"abc", "abc\\", 0, 0},           // a backslash at the end
      {"a*c", "a\\*c", 0, 1},           // an escaped star is a star
      {"abc", "a\\*c", 0, 0},
      {"www.Example.COM", "*.example.com", 1, 1},
      {"www.Example.COM", "*.example.com", 0, 0},
      {"a.b.example.com", "*.example.com", 1, 1},  // a star crosses dots
      {"ABC", "a[B]c", 1, 1},
      {"AbC", "a[B]c", 1, 0},           // no folding inside a class
      {"", "*", 0, 1},
      {"", "?", 0, 0},
      {"", "", 0, 1},
      {"x", "", 0, 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(WildcardMatch(row.text, 0, row.pattern, 0, row.fold), row.expected) << row.text << " / " << row.pattern;
  }
  EXPECT_EQ(WildcardMatch("xxabc", 2, "yya*", 2, 0), 1);
  EXPECT_EQ(WildcardMatch("abc", "a?c"), 1);
  // Many stars against a long text that fails only at its end: bounded work.
  const std::string text(4000, 'a');
  EXPECT_EQ(WildcardMatch(text.c_str(), "*a*a*a*a*a*a*a*a*a*a*b"), 0);
}

TEST(WildcardMatch, AgreesWithPythonFnmatch) {
  REQUIRE_OR_SKIP(testsupport::HaveTool("/usr/bin/python3"), "python3 not found");
  std::mt19937 random(20261211);
  const std::string textChars = "ab.", patternChars = "ab.*?";
  auto pick = [&](const std::string& from) { return from[random() % from.size()]; };
  std::vector<std::pair<std::string, std::string>> pairs;
  for (int i = 0; i < 400; ++i) {
    std::string text, pattern;
    for (int n = int(random() % 7); n > 0; --n) text += pick(textChars);
    for (int n = int(random() % 6); n > 0; --n) {
      if (random() % 6 == 0) {
        pattern += random() % 2 == 0 ? "[a-b]" : "[.b]";
      } else {
        pattern += pick(patternChars);
      }
    }
    pairs.emplace_back(text, pattern);
  }
  std::string script = "import fnmatch\nfor t,p in [";
  for (const auto& [t, p] : pairs) script += "('" + t + "','" + p + "'),";
  script += "]:\n  print(1 if fnmatch.fnmatchcase(t,p) else 0)\n";
  bool ok = false;
  const std::vector<std::string> expected = testsupport::Lines(testsupport::RunPython(script, ok));
  ASSERT_TRUE(ok);
  ASSERT_GE(expected.size(), pairs.size());
  for (size_t i = 0; i < pairs.size(); ++i) {
    EXPECT_EQ(std::to_string(WildcardMatch(pairs[i].first.c_str(), pairs[i].second.c_str())), expected[i])
        << "'" << pairs[i].first << "' against '" << pairs[i].second << "'";
  }
}

std::vector<std::string> Split(const char* text) {
  StringList out;
  EXPECT_EQ(SplitDistinguishedName(text, out), 0);
  std::vector<std::string> parts;
  for (int i = 0; i < out.Count(); ++i) parts.emplace_back(out.Get(i), size_t(out.EntryLength(i)));
  return parts;
}

TEST(SplitDistinguishedName, EscapesQuotesAndEmptyComponents) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Split("a\\,b,c"), (V{"a,b", "c"}));
  EXPECT_EQ(Split("CN=\\4A\\4b"), (V{"CN=JK"}));
  EXPECT_EQ(Split("O=\"x, y\", CN=z"), (V{"O=x, y", "CN=z"}));
  EXPECT_EQ(Split("O=\"q\\\"q\""), (V{"O=q\"q"}));
  EXPECT_EQ(Split(" a ,, b "), (V{"a", "", "b"}));
  EXPECT_EQ(Split("a\\=\\+\\<\\>\\#\\;\\\\"), (V{"a=+<>#;\\"}));
  EXPECT_EQ(Split(""), V{});
  EXPECT_EQ(Split("a,"), (V{"a"}));  // an empty last component is dropped
}

// The certificate manager escapes the alternative names so that the
// splitter gives each value back exactly as the certificate holds it.
TEST(SplitDistinguishedName, GivesBackTheDecodedAlternativeNames) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("cryptography"), "python3-cryptography not installed");
  bool ok = false;
  const std::vector<std::string> expected = testsupport::Lines(testsupport::RunPython(
      "import sys\nfrom cryptography import x509\n"
      "c=x509.load_der_x509_certificate(open(sys.argv[1],'rb').read())\n"
      "for n in c.extensions.get_extension_for_class(x509.SubjectAlternativeName).value:\n"
      "  print('DNS:'+n.value if isinstance(n,x509.DNSName) else '')\n",
      ok, {pkikit::Path("odd-san.der")}));
  ASSERT_TRUE(ok);
  tornell::pki::CertificateManager manager;
  const std::string der = pkikit::Bytes("odd-san.der");
  ASSERT_EQ(manager.LoadCertificate(der.data(), int(der.size())), 0);
  const std::vector<std::string> parts = Split(manager.GetSubjectAltNames());
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0], expected[0]);
  EXPECT_EQ(parts[1], expected[1]);
}

TEST(HostMatchesCertificate, AlternativeNamesFirstThenTheSubjectName) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  struct Row {
    const char* file;
    const char* host;
    int expected;
  } rows[] = {
      {"rsa-leaf.der", "localhost", 1},    {"rsa-leaf.der", "KIT.Example", 1},
      {"rsa-leaf.der", "127.0.0.1", 1},    {"rsa-leaf.der", "127.0.0.2", 0},
      {"rsa-leaf.der", "wrong.example", 0}, {"rsa-leaf.der", "", 0},
      {"rsa-root.der", "kit rsa root", 1}, {"rsa-root.der", "kit.example", 0},
      {"rsa-root.der", "127.0.0.1", 0},
  };
  for (const Row& row : rows) {
    tornell::pki::X509Certificate leaf;
    const std::string der = pkikit::Bytes(row.file);
    ASSERT_EQ(leaf.encoded.Set(der.data(), int(der.size())), 0);
    ASSERT_EQ(leaf.Decode(), 0) << row.file;
    EXPECT_EQ(tornell::tls::HostMatchesCertificate(leaf, row.host), row.expected) << row.file << " " << row.host;
  }
}

}  // namespace
