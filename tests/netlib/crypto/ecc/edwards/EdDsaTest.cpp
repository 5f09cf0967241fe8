// EdDSA against RFC 8032, Wycheproof, Python's cryptography package and a
// plain-integer reference for the context and prehash variants.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "VectorTools.h"
#include "crypto/ecc/edwards/EdDsa.h"

using tornell::ByteString;
using tornell::EdDsa;
using namespace edtest;

namespace {

struct Vector {
  const char* variant;
  const char* seed;
  const char* pub;
  const char* msg;
  const char* ctx;
  const char* sig;
};

// RFC 8032 section 7.
const Vector kRfc[] = {
    {"ed25519", "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"},
    {"ed25519", "4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72", "",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00"},
    {"ed25519ctx", "0305334e381af78f141cb666f6199f57bc3495335a256a95bd2a55bf546663f6",
     "dfc9425e4f968f7f0c29f0259cf5f9aed6851c2bb4ad8bfb860cfee0ab248292", "f726936d19c800494e3fdaff20b276a8", "666f6f",
     "55a4cc2f70a54e04288c5f4cd1e45a7bb520b36292911876cada7323198dd87a8b36950b95130022907a7fb7c4e9b2d5f6cca685a587b4b21f4b888e4e7edb0d"},
    {"ed25519ph", "833fe62409237b9d62ec77587520911e9a759cec1d19755b7da901b96dca3d42",
     "ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf", "616263", "",
     "98a70222f0b8121aa9d30f813d683f809e462b469c7ff87639499bb94e6dae4131f85042463c2a355a2003d062adf5aaa10b8c61e636062aaad11c2a26083406"},
    {"ed448",
     "6c82a562cb808d10d632be89c8513ebf6c929f34ddfa8c9f63c9960ef6e348a3528c8a3fcc2f044e39a3fc5b94492f8f032e7549a20098f95b",
     "5fd7449b59b461fd2ce787ec616ad46a1da1342485a70e1f8a0ea75d80e96778edf124769b46c7061bd6783df1e50f6cd1fa1abeafe8256180",
     "", "",
     "533a37f6bbe457251f023c0d88f976ae2dfb504a843e34d2074fd823d41a591f2b233f034f628281f2fd7a22ddd47d7828c59bd0a21bfd3980ff0d2028d4b18a9df63e006c5d1c2d345b925d8dc00b4104852db99ac5c7cdda8530a113a0f4dbb61149f05a7363268c71d95808ff2e652600"},
    {"ed448",
     "c4eab05d357007c632f3dbb48489924d552b08fe0c353a0d4a1f00acda2c463afbea67c5e8d2877c5e3bc397a659949ef8021e954e0a12274e",
     "43ba28f430cdff456ae531545f7ecd0ac834a55d9358c0372bfa0c6c6798c0866aea01eb00742802b8438ea4cb82169c235160627b4c3a9480",
     "03", "666f6f",
     "d4f8f6131770dd46f40867d6fd5d5055de43541f8c5e35abbcd001b32a89f7d2151f7647f11d8ca2ae279fb842d607217fce6e042f6815ea000c85741de5c8da1144a6a1aba7f96de42505d7a7298524fda538fccbbb754f578c1cad10d54d0d5428407e85dcbc98a49155c13764e66c3c00"},
    {"ed448ph",
     "833fe62409237b9d62ec77587520911e9a759cec1d19755b7da901b96dca3d42ef7822e0d5104127dc05d6dbefde69e3ab2cec7c867c6e2c49",
     "259b71c19f83ef77a7abd26524cbdb3161b590a48f7d17de3ee0ba9c52beb743c09428a131d6b1b57303d90d8132c276d5ed3d5d01c0f53880",
     "616263", "",
     "822f6901f7480f3d5f562c592994d9693602875614483256505600bbc281ae381f54d6bce2ea911574932f52a4e6cadd78769375ec3ffd1b801a0d9b3f4030cd433964b6457ea39476511214f97469b57dd32dbc560a9a94d00bff07620464a3ad203df7dc7ce360c3cd3696d9d9fab90f00"},
};

const unsigned char* P(const Bytes& b) { return b.empty() ? nullptr : b.data(); }
int N(const Bytes& b) { return static_cast<int>(b.size()); }

int Sign(const std::string& variant, const Bytes& msg, const Bytes& ctx, const Bytes& pub, const Bytes& seed,
         ByteString& out) {
  if (variant == "ed25519") return EdDsa::SignEd25519(P(msg), N(msg), P(pub), N(pub), P(seed), N(seed), out);
  if (variant == "ed25519ctx")
    return EdDsa::SignEd25519ctx(P(msg), N(msg), P(ctx), N(ctx), P(pub), N(pub), P(seed), N(seed), out);
  if (variant == "ed25519ph")
    return EdDsa::SignEd25519ph(P(msg), N(msg), 0, P(ctx), N(ctx), P(pub), N(pub), P(seed), N(seed), out);
  if (variant == "ed448")
    return EdDsa::SignEd448(P(msg), N(msg), P(ctx), N(ctx), P(pub), N(pub), P(seed), N(seed), out);
  return EdDsa::SignEd448ph(P(msg), N(msg), 0, P(ctx), N(ctx), P(pub), N(pub), P(seed), N(seed), out);
}

int Verify(const std::string& variant, const Bytes& msg, const Bytes& ctx, const Bytes& pub, const Bytes& sig) {
  if (variant == "ed25519") return EdDsa::VerifyEd25519(P(msg), N(msg), P(pub), N(pub), P(sig), N(sig));
  if (variant == "ed25519ctx")
    return EdDsa::VerifyEd25519ctx(P(msg), N(msg), P(ctx), N(ctx), P(pub), N(pub), P(sig), N(sig));
  if (variant == "ed25519ph")
    return EdDsa::VerifyEd25519ph(P(msg), N(msg), 0, P(ctx), N(ctx), P(pub), N(pub), P(sig), N(sig));
  if (variant == "ed448") return EdDsa::VerifyEd448(P(msg), N(msg), P(ctx), N(ctx), P(pub), N(pub), P(sig), N(sig));
  return EdDsa::VerifyEd448ph(P(msg), N(msg), 0, P(ctx), N(ctx), P(pub), N(pub), P(sig), N(sig));
}

std::string Hex(const ByteString& s) { return ToHex(s.Bytes(), static_cast<size_t>(s.Length())); }

// Signs and verifies one case, then checks that flipping a bit of the
// message, the signature or the public key makes verification fail.
void CheckCase(const std::string& variant, const Bytes& seed, const Bytes& pub, const Bytes& msg, const Bytes& ctx,
               const std::string& sig, const std::string& label) {
  ByteString pubOut, sigOut;
  ASSERT_EQ(EdDsa::PublicFromSeed(seed.data(), N(seed), pubOut), 0) << label;
  EXPECT_EQ(Hex(pubOut), ToHex(pub)) << label;
  ASSERT_EQ(Sign(variant, msg, ctx, pub, seed, sigOut), 0) << label;
  EXPECT_EQ(Hex(sigOut), sig) << label;
  const Bytes s = FromHex(sig);
  EXPECT_EQ(Verify(variant, msg, ctx, pub, s), 1) << label;
  Bytes badMsg = msg;
  badMsg.push_back(0);
  EXPECT_EQ(Verify(variant, badMsg, ctx, pub, s), 0) << label;
  for (size_t at : {size_t{0}, s.size() / 2 + 1}) {
    Bytes badSig = s;
    badSig[at] ^= 1;
    EXPECT_EQ(Verify(variant, msg, ctx, pub, badSig), 0) << label;
  }
  Bytes badPub = pub;
  badPub[1] ^= 4;
  EXPECT_EQ(Verify(variant, msg, ctx, badPub, s), 0) << label;
}

}  // namespace

TEST(EdDsa, RfcVectorsAllVariants) {
  for (const Vector& v : kRfc) {
    CheckCase(v.variant, FromHex(v.seed), FromHex(v.pub), FromHex(v.msg), FromHex(v.ctx), v.sig, v.variant);
  }
}

TEST(EdDsa, ContextAndPrehashVariantsAgainstReference) {
  REQUIRE_OR_SKIP(HavePython(), "python3 missing");
  auto rows = RunPython("import runpy, sys\nsys.argv=['x','2']\nrunpy.run_path('" +
                        (TestDir() / "eddsa_reference.py").string() +
                        "', run_name='__main__')\n");
  ASSERT_EQ(rows.size(), 10u);
  for (const auto& r : rows) {
    ASSERT_EQ(r.size(), 6u);
    CheckCase(r[0], FromHex(r[1]), FromHex(r[2]), FromHex(r[3]), FromHex(r[4]), r[5], r[0] + " " + r[1]);
  }
}

TEST(EdDsa, PureVariantsAgainstPythonCryptography) {
  REQUIRE_OR_SKIP(HavePython(), "python3 with cryptography missing");
  auto rows = RunPython(
      "import os\nfrom cryptography.hazmat.primitives.asymmetric import ed25519, ed448\n"
      "from cryptography.hazmat.primitives import serialization as s\n"
      "for mod, n in ((ed25519.Ed25519PrivateKey, 32), (ed448.Ed448PrivateKey, 57)):\n"
      " for i in range(24):\n"
      "  seed=os.urandom(n); k=mod.from_private_bytes(seed); m=os.urandom(i*7)\n"
      "  pub=k.public_key().public_bytes(s.Encoding.Raw,s.PublicFormat.Raw)\n"
      "  print('ed25519' if n==32 else 'ed448', seed.hex(), pub.hex(), m.hex() or '-', '-', k.sign(m).hex())\n");
  ASSERT_EQ(rows.size(), 48u);
  for (const auto& r : rows) {
    ASSERT_EQ(r.size(), 6u);
    CheckCase(r[0], FromHex(r[1]), FromHex(r[2]), FromHex(r[3]), FromHex(r[4]), r[5], r[0] + " " + r[1]);
  }
}

TEST(EdDsa, Wycheproof) {
  for (const char* name : {"ed25519_test.json", "ed448_test.json"}) {
    auto file = testsupport::VectorsDir() / "wycheproof" / name;
    REQUIRE_OR_SKIP(std::filesystem::exists(file) && HavePython(), std::string(name) + " or python3 missing");
    auto rows = testsupport::WycheproofRows(name, "t['tcId'], t['result'], g['publicKey']['pk'], t['msg'], t['sig']");
    ASSERT_GT(rows.size(), 80u) << name;
    const bool is448 = std::string(name).find("448") != std::string::npos;
    for (const auto& r : rows) {
      ASSERT_EQ(r.size(), 5u);
      const Bytes pub = FromHex(r[2]), msg = FromHex(r[3]), sig = FromHex(r[4]);
      const int got = is448 ? EdDsa::VerifyEd448(P(msg), N(msg), nullptr, 0, P(pub), N(pub), P(sig), N(sig))
                            : EdDsa::VerifyEd25519(P(msg), N(msg), P(pub), N(pub), P(sig), N(sig));
      EXPECT_EQ(got, r[1] == "valid" ? 1 : 0) << name << " tcId " << r[0];
    }
  }
}
