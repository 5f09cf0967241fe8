// Key-exchange parameters: the built-in primes against openssl, key agreement
// against Python cryptography and the Wycheproof ECDH points, and the refusal
// of peer values that would force or leak the secret.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "crypto/ecc/curve/EcCurve.h"
#include "tls/suites/DhParameters.h"
#include "tls/suites/DhPrimes.h"

using namespace tornell;
using testsupport::Hex;
using testsupport::Unhex;

namespace {

ByteString Bytes(const std::string& bytes) {
  ByteString out;
  EXPECT_EQ(out.Set(bytes.data(), int(bytes.size())), 0);
  return out;
}

std::string Str(const ByteString& bytes) { return std::string(bytes.Data(), size_t(bytes.Length())); }

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}

// p of `openssl genpkey -genparam` for a named group, as hex; the generator in `g`.
std::string OpensslGroupPrime(const std::string& group, std::string& g) {
  bool ok = false;
  const std::string out = testsupport::RunCommand(
      "openssl genpkey -genparam -algorithm DH -pkeyopt group:" + group + " 2>/dev/null | openssl asn1parse", ok);
  std::vector<std::string> integers;
  for (const std::string& line : testsupport::Lines(out)) {
    const size_t at = line.find("INTEGER");
    if (at != std::string::npos) integers.push_back(line.substr(line.find(':', at) + 1));
  }
  if (!ok || integers.size() < 2) return "";
  g = integers[1];
  return integers[0];
}

bool OpensslSaysPrime(const std::string& hex) {
  bool ok = false;
  const std::string out = testsupport::RunCommand("openssl prime -hex " + hex, ok);
  return ok && out.find("is prime") != std::string::npos && out.find("not prime") == std::string::npos;
}

std::string PrimeHex(DhParameters& dh) {
  ByteString p;
  EXPECT_EQ(dh.GetP(p), 0);
  std::string hex = Hex(Str(p));
  while (hex.rfind("00", 0) == 0) hex.erase(0, 2);
  return hex;
}

TEST(DhPrimes, EqualOpensslsGroups) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl is not available");
  const char* named[] = {"ffdhe2048", "ffdhe3072", "ffdhe4096", "ffdhe6144", "ffdhe8192"};
  for (int i = 0; i < dhprimes::kNamedCount; ++i) {
    std::string g;
    EXPECT_EQ(OpensslGroupPrime(named[i], g), dhprimes::NamedPrime(i)) << named[i];
    EXPECT_EQ(g, "02");
  }
  const char* bySize[] = {nullptr, "modp_1536", "modp_2048", "modp_3072", "modp_4096", "modp_6144", "modp_8192"};
  for (int i = 1; i < dhprimes::kBySizeCount; ++i) {
    std::string g;
    EXPECT_EQ(OpensslGroupPrime(bySize[i], g), dhprimes::BySizePrime(i)) << bySize[i];
  }
}

// The RFC 2409 prime and our export prime: p and (p-1)/2 are prime.
TEST(DhPrimes, OwnPrimesAreSafe) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl is not available");
  for (const char* text : {dhprimes::BySizePrime(0), dhprimes::ExportPrime()}) {
    const BigInteger p(text, int(std::strlen(text)), 16, 1);
    const std::string half = p.Subtract(BigInteger::ONE).ShiftRight(1).ToText(16);
    EXPECT_TRUE(OpensslSaysPrime(text)) << text;
    EXPECT_TRUE(OpensslSaysPrime(half)) << half;
  }
  EXPECT_EQ(std::strlen(dhprimes::BySizePrime(0)), 256u);
  EXPECT_EQ(std::strlen(dhprimes::ExportPrime()), 128u);
  EXPECT_EQ(std::string(dhprimes::BySizePrime(0)).substr(0, 24), "FFFFFFFFFFFFFFFFC90FDAA2");
}

TEST(DhParameters, GroupChoice) {
  struct Case {
    int exportGroup, sizeOrGroup, named;
    int status;
    int bits;
    const char* prime;
    int groupId;
  };
  const Case cases[] = {
      {0, 3072, 0, 0, 3072, dhprimes::BySizePrime(3), 0},
      {0, 2048, 0, 0, 2048, dhprimes::BySizePrime(2), 0},
      {0, 3000, 0, 0, 1024, dhprimes::BySizePrime(0), 0},
      {0, 1000, 0, 0, 1024, dhprimes::BySizePrime(0), 0},
      {1, 4096, 0, 0, 512, dhprimes::ExportPrime(), 0},
      {0, 256, 1, 0, 2048, dhprimes::NamedPrime(0), 256},
      {0, 258, 1, 0, 4096, dhprimes::NamedPrime(2), 258},
      {0, 23, 1, DhParameters::kNotFiniteFieldGroup, 0, nullptr, 23},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.exportGroup) + " " + std::to_string(c.sizeOrGroup) + " " + std::to_string(c.named));
    DhParameters dh;
    ASSERT_EQ(dh.SetupGroup(c.exportGroup, c.sizeOrGroup, c.named), c.status);
    EXPECT_EQ(dh.GetGroupId(), c.groupId);
    if (c.status != 0) continue;
    EXPECT_EQ(dh.GetBits(), c.bits);
    EXPECT_EQ(PrimeHex(dh), Lower(c.prime));
    ByteString g, own;
    ASSERT_EQ(dh.GetG(g), 0);
    EXPECT_EQ(Hex(Str(g)), "02");
    ASSERT_EQ(dh.GetOwnPublicPadded(own), 0);
    EXPECT_EQ(own.Length(), c.bits / 8);
  }
}

TEST(DhParameters, SettersAndMaps) {
  DhParameters dh;
  std::string bytes(128, '\x11');
  bytes[0] = 0;
  ASSERT_EQ(dh.SetP(Bytes(bytes)), 0);
  EXPECT_EQ(dh.GetBits(), 1024);
  EXPECT_EQ(dh.IsEmpty(), 0);
  ASSERT_EQ(dh.Reset(), 0);
  EXPECT_EQ(dh.IsEmpty(), 1);

  EXPECT_EQ(DhParameters::GroupToCurveIndex(0xFF02), 79);
  EXPECT_EQ(DhParameters::GroupToCurveIndex(0xFF01), 79);
  EXPECT_EQ(DhParameters::CurveIndexToGroup(79), 0xFF01);
  const int pairs[][2] = {{0, 23}, {1, 24}, {2, 25}, {7, 15}, {14, 22}, {19, 1}, {32, 14}};
  for (const auto& pair : pairs) {
    EXPECT_EQ(DhParameters::CurveIndexToGroup(pair[0]), pair[1]);
    EXPECT_EQ(DhParameters::GroupToCurveIndex(pair[1]), pair[0]);
  }
  EXPECT_EQ(DhParameters::CurveIndexToGroup(3), -1);
  EXPECT_EQ(DhParameters::GroupToCurveIndex(29), -1);
  EXPECT_EQ(DhParameters::GroupToCurveIndex(256), -1);
  ASSERT_EQ(dh.SetGroup(24, 0), 0);
  EXPECT_EQ(dh.GetCurveGroup(), 24);
  EXPECT_EQ(dh.GetGroupId(), 0);
  ASSERT_EQ(dh.SetGroup(25, 1), 0);
  EXPECT_EQ(dh.GetGroupId(), 25);
}

// Y = 0, 1, p-1, p and p+1 are refused, for the client and the server side.
TEST(DhParameters, RefusesDegeneratePeerValues) {
  for (int client : {1, 0}) {
    DhParameters dh(client);
    ASSERT_EQ(dh.SetupGroup(0, 256, 1), 0);
    const BigInteger p(dhprimes::NamedPrime(0), 512, 16, 1);
    const BigInteger bad[] = {BigInteger(), BigInteger::ONE, p.Subtract(BigInteger::ONE), p, p.Add(BigInteger::ONE)};
    for (const BigInteger& y : bad) {
      SCOPED_TRACE(y.ToText(16).substr(0, 8));
      EXPECT_EQ(dh.SetPeerPublicValue(y), DhParameters::kBadPeerPublic);
      ByteString encoded;
      ASSERT_EQ(y.ToByteString(encoded), 0);
      EXPECT_EQ(dh.SetPeerPublic(encoded), DhParameters::kBadPeerPublic);
    }
    ByteString secret;
    EXPECT_EQ(dh.GetSharedSecret(secret), DhParameters::kBadPeerPublic);  // no peer value yet
    EXPECT_EQ(dh.SetPeerPublicValue(BigInteger(2)), 0);
    EXPECT_EQ(dh.SetPeerPublicValue(p.Subtract(BigInteger(2))), 0);
  }
  DhParameters noGroup;
  EXPECT_EQ(noGroup.SetPeerPublicValue(BigInteger(5)), DhParameters::kBadPeerPublic);
}

// One exchange with Python: our public value goes in, Python's public value
// and its shared secret come back.
std::vector<std::string> PythonPeer(const std::string& kind, const std::string& arg, const std::string& ours) {
  const std::string program =
      "import sys\n"
      "from cryptography.hazmat.primitives.asymmetric import dh, ec\n"
      "from cryptography.hazmat.primitives import serialization as s\n"
      "kind, arg, ours = sys.argv[1], sys.argv[2], bytes.fromhex(sys.argv[3])\n"
      "if kind == 'ff':\n"
      "  pn = dh.DHParameterNumbers(int(arg, 16), 2)\n"
      "  key = pn.parameters().generate_private_key()\n"
      "  peer = dh.DHPublicNumbers(int.from_bytes(ours, 'big'), pn).public_key()\n"
      "  mine = key.public_key().public_numbers().y.to_bytes((int(arg, 16).bit_length() + 7) // 8, 'big')\n"
      "else:\n"
      "  curve = {'23': ec.SECP256R1(), '24': ec.SECP384R1(), '25': ec.SECP521R1()}[arg]\n"
      "  key = ec.generate_private_key(curve)\n"
      "  peer = ec.EllipticCurvePublicKey.from_encoded_point(curve, ours)\n"
      "  mine = key.public_key().public_bytes(s.Encoding.X962, s.PublicFormat.UncompressedPoint)\n"
      "print(mine.hex())\n"
      "print(key.exchange(ec.ECDH(), peer).hex() if kind == 'ec' else key.exchange(peer).hex())\n";
  bool ok = false;
  const auto lines = testsupport::Lines(testsupport::RunPython(program, ok, {kind, arg, Hex(ours)}));
  return ok && lines.size() == 2 ? lines : std::vector<std::string>{};
}

TEST(DhParameters, FiniteFieldAgreementWithPython) {
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("cryptography"), "python3 cryptography is not available");
  for (int group : {256, 257}) {
    SCOPED_TRACE(group);
    DhParameters dh;
    ASSERT_EQ(dh.SetupGroup(0, group, 1), 0);
    ByteString own;
    ASSERT_EQ(dh.GetOwnPublicPadded(own), 0);
    const auto peer = PythonPeer("ff", dhprimes::NamedPrime(group - 256), Str(own));
    ASSERT_EQ(peer.size(), 2u);
    ASSERT_EQ(dh.SetPeerPublic(Bytes(Unhex(peer[0]))), 0);
    ByteString padded, plain, again;
    ASSERT_EQ(dh.GetSharedSecretPadded(padded), 0);
    EXPECT_EQ(Hex(Str(padded)), peer[1]);
    EXPECT_EQ(padded.Length(), dh.GetBits() / 8);
    ASSERT_EQ(dh.GetSharedSecret(plain), 0);
    ASSERT_EQ(dh.GetSharedSecret(again), 0);
    EXPECT_EQ(Str(plain), Str(again));
    // The unpadded form: no leading zero bytes but a sign byte.
    std::string expected = Unhex(peer[1]);
    while (!expected.empty() && expected[0] == 0) expected.erase(0, 1);
    if (static_cast<unsigned char>(expected[0]) & 0x80) expected.insert(0, 1, '\0');
    EXPECT_EQ(Hex(Str(plain)), Hex(expected));
  }
  // The by-size groups with a server-side object.
  DhParameters server(0);
  ASSERT_EQ(server.SetupGroup(0, 1024, 0), 0);
  ByteString own, secret;
  ASSERT_EQ(server.GetOwnPublicPadded(own), 0);
  const auto peer = PythonPeer("ff", dhprimes::BySizePrime(0), Str(own));
  ASSERT_EQ(peer.size(), 2u);
  ASSERT_EQ(server.SetPeerPublic(Bytes(Unhex(peer[0]))), 0);
  ASSERT_EQ(server.GetSharedSecretPadded(secret), 0);
  EXPECT_EQ(Hex(Str(secret)), peer[1]);
}

TEST(DhParameters, CurveAgreementWithPython) {
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("cryptography"), "python3 cryptography is not available");
  for (int group : {23, 24, 25}) {
    SCOPED_TRACE(group);
    DhParameters dh;
    ASSERT_EQ(dh.SetGroup(group, 1), 0);
    ASSERT_EQ(dh.UseEllipticCurve(1), 0);
    ASSERT_EQ(dh.SetupGroup(0, group, 1), 0);
    ByteString own;
    ASSERT_EQ(dh.GetOwnPublic(own), 0);
    EXPECT_EQ(own.ByteAt(0), 4);
    const auto peer = PythonPeer("ec", std::to_string(group), Str(own));
    ASSERT_EQ(peer.size(), 2u);
    ASSERT_EQ(dh.SetPeerPublic(Bytes(Unhex(peer[0]))), 0);
    ByteString secret;
    ASSERT_EQ(dh.GetSharedSecret(secret), 0);
    EXPECT_EQ(Hex(Str(secret)), peer[1]);
    ASSERT_EQ(dh.GetSharedSecretPadded(secret), 0);
    EXPECT_EQ(Hex(Str(secret)), peer[1]);
    // A copy agrees too.
    DhParameters* copy = dh.Clone();
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->GetSharedSecret(secret), 0);
    EXPECT_EQ(Hex(Str(secret)), peer[1]);
    delete copy;
    // The own key on another curve than the group's: no secret.
    ASSERT_EQ(dh.SetCurveIndex(group == 23 ? 1 : 0), 0);
    EXPECT_EQ(dh.GetSharedSecret(secret), DhParameters::kCurveMismatch);
  }
}

void RunWycheproofPoints(const char* file, int group) {
  const auto rows = testsupport::WycheproofRows(file, "t['tcId'], t['public'], t['private'], t['shared'], t['result']");
  REQUIRE_OR_SKIP(!rows.empty(), std::string(file) + " or python3 is not available");
  const int index = DhParameters::GroupToCurveIndex(group);
  int valid = 0, refused = 0;
  for (const auto& r : rows) {
    ASSERT_EQ(r.size(), 5u);
    SCOPED_TRACE(std::string(file) + " tcId " + r[0]);
    DhParameters dh;
    ASSERT_EQ(dh.SetGroup(group, 1), 0);
    ASSERT_EQ(dh.UseEllipticCurve(1), 0);
    EcKey own;
    ASSERT_EQ(own.D.Set(Unhex(r[2]).data(), int(r[2].size() / 2)), 0);
    own.curveIndex = index;
    own.curve = EcCurve::FindPrebuilt(index);
    ASSERT_EQ(dh.SetOwnEcKey(own), 0);
    ByteString secret;
    int status = dh.SetPeerPublic(Bytes(Unhex(r[1])));
    if (status == 0) status = dh.GetSharedSecret(secret);
    if (r[4] == "valid") {
      ++valid;
      ASSERT_EQ(status, 0);
      EXPECT_EQ(Hex(Str(secret)), r[3]);
    } else if (r[4] == "invalid") {
      ++refused;
      EXPECT_NE(status, 0);
    } else if (status == 0) {
      EXPECT_EQ(Hex(Str(secret)), r[3]);  // acceptable: a compressed point, which we refuse
    }
  }
  EXPECT_GT(valid, 100);
  EXPECT_GT(refused, 10);
}

TEST(DhParameters, WycheproofP256Points) { RunWycheproofPoints("ecdh_secp256r1_ecpoint_test.json", 23); }
TEST(DhParameters, WycheproofP384Points) { RunWycheproofPoints("ecdh_secp384r1_ecpoint_test.json", 24); }
TEST(DhParameters, WycheproofP521Points) { RunWycheproofPoints("ecdh_secp521r1_ecpoint_test.json", 25); }

TEST(DhParameters, RefusesMalformedPoints) {
  DhParameters dh;
  ASSERT_EQ(dh.SetGroup(23, 1), 0);
  ASSERT_EQ(dh.UseEllipticCurve(1), 0);
  ASSERT_EQ(dh.GenerateEcKey(), 0);
  EXPECT_EQ(dh.GetBits(), 256);
  ByteString own;
  ASSERT_EQ(dh.GetOwnPublic(own), 0);
  std::string point = Str(own);
  EXPECT_EQ(dh.SetPeerPublic(Bytes(point)), 0);
  std::string off = point;
  off[40] ^= 1;
  EXPECT_EQ(dh.SetPeerPublic(Bytes(off)), DhParameters::kBadPeerPublic);
  EXPECT_EQ(dh.SetPeerPublic(Bytes(point.substr(0, 64))), DhParameters::kBadPeerPublic);
  EXPECT_EQ(dh.SetPeerPublic(Bytes(point + "x")), DhParameters::kBadPeerPublic);
  std::string compressed = point.substr(0, 33);
  compressed[0] = 2;
  EXPECT_EQ(dh.SetPeerPublic(Bytes(compressed)), kEcBadPoint);
  EXPECT_EQ(dh.SetPeerPublic(ByteString()), kEcBadPoint);
  EXPECT_EQ(dh.SetPeerPoint(Bytes(point.substr(1, 32)), Bytes(off.substr(33))), DhParameters::kBadPeerPublic);
  EXPECT_EQ(dh.SetPeerPoint(Bytes(point.substr(1, 32)), Bytes(point.substr(33))), 0);
  DhParameters binary;
  ASSERT_EQ(binary.SetGroup(1, 1), 0);
  ASSERT_EQ(binary.UseEllipticCurve(1), 0);
  EXPECT_NE(binary.SetPeerPublic(Bytes(point)), 0);
}

}  // namespace
