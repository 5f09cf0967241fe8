// JWK reading and writing: the Wycheproof keys given as JWKs equal the
// groups' keys and verify the files' signatures; EC JWKs made from python3
// `cryptography` numbers agree with python on ECDH; written JWKs parse in
// python3 `json` to the same numbers and members.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "SshKit.h"
#include "TestSupport.h"
#include "TestText.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/ecc/engine/EccEngine.h"
#include "crypto/rsa/RsaEngine.h"
#include "pki/keys/KeyCodec.h"

using tornell::ByteString;
using tornell::EccEngine;
using tornell::HashContext;
using tornell::RsaEngine;
using tornell::SecretBytes;
using namespace tornell::pki;

namespace {

using pkikit::HexOf;
using pkikit::Magnitude;
using pkikit::Text;
ByteString Bytes(const std::string& s) {
  ByteString b;
  EXPECT_EQ(b.Set(s.data(), static_cast<int>(s.size())), 0);
  return b;
}
ByteString FromHex(const std::string& hex) { return Bytes(hex == "-" ? "" : testsupport::Unhex(hex)); }

int ReadJwk(const std::string& json, KeyHolder& holder) { return KeyCodec::ReadJwk(holder, Bytes(json)); }

// One row per group ("G", the JWK as compact JSON, then the fields named) and
// per case ("T", message, signature, result) of a Wycheproof file.
std::vector<std::vector<std::string>> Rows(const std::string& file, const std::string& jwk, const std::string& key,
                                           const std::string& fields) {
  const std::string path = (testsupport::VectorsDir() / "wycheproof" / file).string();
  if (!std::ifstream(path).good()) return {};
  const std::string program =
      "import json,sys\n"
      "d=json.load(open(sys.argv[1]))\n"
      "for g in d['testGroups']:\n"
      "  k=g['" + key + "']\n"
      "  print('G', json.dumps(g['" + jwk + "'],separators=(',',':')), ' '.join(k[f] for f in [" + fields + "]))\n"
      "  for t in g['tests']:\n"
      "    print('T', t.get('msg') or '-', t.get('sig') or '-', t['result'])\n";
  bool ok = false;
  return testsupport::Rows(testsupport::RunPython(program, ok, {path}));
}

TEST(Jwk, WycheproofRsaKeysReadAndVerifyTheirCases) {
  const struct {
    const char* file;
    const char* digest;
  } kFiles[] = {{"rsa_signature_2048_sha256_test.json", "SHA256"},
                {"rsa_signature_3072_sha256_test.json", "SHA256"},
                {"rsa_signature_4096_sha512_test.json", "SHA512"}};
  for (const auto& f : kFiles) {
    const auto rows = Rows(f.file, "keyJwk", "publicKey", "'modulus','publicExponent'");
    REQUIRE_OR_SKIP(!rows.empty(), std::string("Wycheproof ") + f.file + " or python3 missing");
    RsaEngine engine;
    int cases = 0;
    for (const auto& row : rows) {
      if (row[0] == "G") {
        KeyHolder holder;
        ASSERT_EQ(ReadJwk(row[1], holder), 0) << f.file;
        ASSERT_EQ(holder.type, kKeyTypeRsa);
        EXPECT_EQ(Magnitude(HexOf(holder.rsaKey.n)), Magnitude(row[2])) << f.file;
        EXPECT_EQ(Magnitude(HexOf(holder.rsaKey.e)), Magnitude(row[3])) << f.file;
        ASSERT_EQ(engine.SetKey(holder.rsaKey), 0);
        continue;
      }
      ByteString msg = FromHex(row[1]), sig = FromHex(row[2]), hash;
      HashContext h;
      ASSERT_EQ(h.SetAlgorithm(f.digest), 0);
      ASSERT_EQ(h.Digest(msg.Data(), msg.Length(), hash), 0);
      int valid = 0;
      const int status =
          engine.VerifyHash(hash.Data(), hash.Length(), f.digest, sig.Data(), sig.Length(), valid, 0, 0, 1);
      EXPECT_EQ(row[3] == "valid", status == 0 && valid == 1) << f.file << " case " << cases;
      ++cases;
    }
    EXPECT_GT(cases, 100) << f.file;
  }
}

TEST(Jwk, WycheproofPrivateJwksGiveEveryField) {
  for (const char* file : {"rsa_pkcs1_2048_test.json", "rsa_oaep_2048_sha1_mgf1sha1_test.json",
                           "rsa_oaep_2048_sha256_mgf1sha256_test.json"}) {
    const auto rows = Rows(file, "privateKeyJwk", "privateKey",
                           "'modulus','publicExponent','privateExponent','prime1','prime2','exponent1','exponent2',"
                           "'coefficient'");
    REQUIRE_OR_SKIP(!rows.empty(), std::string("Wycheproof ") + file + " or python3 missing");
    int groups = 0;
    for (const auto& row : rows) {
      if (row[0] != "G") continue;
      KeyHolder holder;
      ASSERT_EQ(ReadJwk(row[1], holder), 0) << file;
      const tornell::RsaKey& k = holder.rsaKey;
      const ByteString* fields[] = {&k.n, &k.e, &k.d, &k.p, &k.q, &k.dP, &k.dQ, &k.qInv};
      for (int i = 0; i < 8; ++i) EXPECT_EQ(Magnitude(HexOf(*fields[i])), Magnitude(row[2 + i])) << file << " " << i;
      ++groups;
    }
    EXPECT_GT(groups, 0) << file;
  }
  const auto ed = Rows("ed25519_test.json", "publicKeyJwk", "publicKey", "'pk'");
  REQUIRE_OR_SKIP(!ed.empty(), "Wycheproof ed25519_test.json or python3 missing");
  KeyHolder holder;
  EXPECT_EQ(ReadJwk(ed[0][1], holder), kKeyUnusable);
}

// A key pair and a peer on each curve: JWKs from the numbers, the peer's
// public JWK, and the shared secret python computes.
constexpr const char* kEcMaker = R"PY(
import base64, json
from cryptography.hazmat.primitives.asymmetric import ec
def b64(v, n):
    return base64.urlsafe_b64encode(v.to_bytes(n, 'big')).rstrip(b'=').decode()
for name, curve, n in (('P-256', ec.SECP256R1(), 32), ('P-384', ec.SECP384R1(), 48), ('P-521', ec.SECP521R1(), 66)):
    mine, peer = ec.generate_private_key(curve), ec.generate_private_key(curve)
    m, p = mine.private_numbers(), peer.public_key().public_numbers()
    jwk = {'kty': 'EC', 'crv': name, 'x': b64(m.public_numbers.x, n), 'y': b64(m.public_numbers.y, n),
           'd': b64(m.private_value, n)}
    pub = {'crv': name, 'kty': 'EC', 'x': b64(p.x, n), 'y': b64(p.y, n)}
    secret = mine.exchange(ec.ECDH(), peer.public_key()).hex()
    print(json.dumps(jwk, separators=(',', ':')), json.dumps(pub, separators=(',', ':')), secret,
          '%x' % m.public_numbers.x, '%x' % m.public_numbers.y, '%x' % m.private_value)
)PY";

// The members of a JSON object as python3 reads them: name, type, value.
std::vector<std::vector<std::string>> PythonMembers(const std::string& json) {
  const std::string program =
      "import base64,json,sys\n"
      "def num(s):\n"
      "  return '%x' % int.from_bytes(base64.urlsafe_b64decode(s + '=' * (-len(s) % 4)), 'big')\n"
      "for k, v in json.loads(sys.argv[1]).items():\n"
      "  t = type(v).__name__\n"
      "  if t == 'str' and k in ('n','e','d','p','q','dp','dq','qi','x','y'): v = num(v)\n"
      "  print(k, t, json.dumps(v, separators=(',',':')).strip('\"'))\n";
  bool ok = false;
  auto rows = testsupport::Rows(testsupport::RunPython(program, ok, {json}));
  EXPECT_TRUE(ok) << json;
  return rows;
}

TEST(Jwk, EcKeysAgreeWithPythonOnEcdhAndWriteBack) {
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("cryptography"), "python3 cryptography missing");
  bool ok = false;
  const auto rows = testsupport::Rows(testsupport::RunPython(kEcMaker, ok));
  ASSERT_TRUE(ok);
  ASSERT_EQ(rows.size(), 3u);
  for (int curve = 0; curve < 3; ++curve) {
    const auto& row = rows[static_cast<size_t>(curve)];
    KeyHolder mine, peer;
    ASSERT_EQ(ReadJwk(row[0], mine), 0) << row[0];
    ASSERT_EQ(ReadJwk(row[1], peer), 0) << row[1];
    ASSERT_EQ(mine.type, kKeyTypeEc);
    EXPECT_EQ(mine.ecKey.curveIndex, curve);
    EccEngine engine;
    ASSERT_EQ(engine.SetKey(mine.ecKey), 0);
    ByteString secret;
    ASSERT_EQ(EccEngine::ComputeSharedSecret(mine.ecKey.D, peer.ecKey, 0, secret), 0);
    EXPECT_EQ(HexOf(secret), row[2]) << curve;
    ByteString out;
    ASSERT_EQ(KeyCodec::WriteJwk(mine, 1, out), 0);
    std::map<std::string, std::string> members;
    for (const auto& m : PythonMembers(Text(out))) members[m[0]] = m[2];
    EXPECT_EQ(members["kty"], "EC");
    EXPECT_EQ(members["crv"], curve == 0 ? "P-256" : curve == 1 ? "P-384" : "P-521");
    EXPECT_EQ(members["x"], row[3]);
    EXPECT_EQ(members["y"], row[4]);
    EXPECT_EQ(members["d"], row[5]);
    ByteString pub;
    ASSERT_EQ(KeyCodec::WriteJwk(mine, 0, pub), 0);
    EXPECT_EQ(Text(pub).find("\"d\""), std::string::npos) << Text(pub);
  }
}

TEST(Jwk, UnknownMembersSurviveAReadAndAWrite) {
  const std::string jwk =
      R"({"kty":"RSA","kid":"k\"1","n":"AMA","e":"AQAB","d":"AQ","num":-12.5e3,"nul":null,"ok":true,)"
      R"("obj":{"a":[1,{"b":"c"}]},"arr":[1,"x",null]})";
  KeyHolder holder;
  ASSERT_EQ(ReadJwk(jwk, holder), 0);
  EXPECT_EQ(HexOf(holder.rsaKey.n), "00c0");
  ByteString out;
  ASSERT_EQ(KeyCodec::WriteJwk(holder, 0, out), 0);
  // Leading zeros go from the holder's fields too.
  EXPECT_EQ(HexOf(holder.rsaKey.n), "c0");
  std::map<std::string, std::vector<std::string>> members;
  for (const auto& m : PythonMembers(Text(out))) members[m[0]] = {m[1], m.size() > 2 ? m[2] : ""};
  const std::map<std::string, std::vector<std::string>> expected = {
      {"kty", {"str", "RSA"}},
      {"n", {"str", "c0"}},
      {"e", {"str", "10001"}},
      {"kid", {"str", R"(k\"1)"}},
      {"num", {"float", "-12500.0"}},
      {"nul", {"NoneType", "null"}},
      {"ok", {"bool", "true"}},
      {"obj", {"dict", R"({"a":[1,{"b":"c"}]})"}},
      {"arr", {"list", R"([1,"x",null])"}}};
  EXPECT_EQ(members, expected) << Text(out);
  EXPECT_NE(Text(out).find(R"("e":"AQAB")"), std::string::npos);
}

TEST(Jwk, UnusableJwksGive271) {
  for (const char* jwk : {R"({"kty":"oct","k":"AQ"})", R"({"n":"AQ","e":"AQ"})", R"({"kty":"RSA","n":"AQAB"})",
                          R"({"kty":"EC","crv":"P-256","x":"AQ"})", R"({"kty":"EC","crv":"P-224","x":"AQ","y":"AQ"})",
                          R"({"kty":"RSA","n":"AQ","e":"AQ","n":"AQ"})", R"({"kty":"EC","crv":"P-256","x":"AQ","y":"AQ","x":"Ag"})",
                          R"({"kty":"RSA","n":"AQ","e":"AQ","kid":)", R"({"kty":"RSA","n":"AQ","e":"AQ")"}) {
    KeyHolder holder;
    EXPECT_EQ(ReadJwk(jwk, holder), kKeyUnusable) << jwk;
  }
  KeyHolder dsa;
  dsa.type = kKeyTypeDsa;
  ByteString out;
  EXPECT_EQ(KeyCodec::WriteJwk(dsa, 1, out), kKeyFormatNotFound);
  KeyHolder ec;
  ec.type = kKeyTypeEc;
  ec.ecKey.curveIndex = 3;
  EXPECT_EQ(KeyCodec::WriteJwk(ec, 1, out), kKeyFormatNotFound);
}

TEST(Jwk, KeyTextOfOpensslPemFeedsTheWriter) {
  REQUIRE_OR_SKIP(!sshkit::Ensure().empty(), sshkit::kMissing);
  bool ok = false;
  const std::string pkcs8 = sshkit::Run("openssl pkey -in ossh-ecdsa-384.pem", ok);
  ASSERT_TRUE(ok);
  const std::string spki = sshkit::Run("openssl pkey -pubout -in ossh-ecdsa-384.pem", ok);
  ASSERT_TRUE(ok);
  const std::string rsaSpki = sshkit::Run("openssl pkey -pubout -in ossh-rsa.pem", ok);
  ASSERT_TRUE(ok);
  KeyHolder fromSsh, privateText, publicText, rsaText;
  const std::string ssh = sshkit::Bytes("ossh-ecdsa-384");
  ASSERT_EQ(KeyCodec::ReadOpenSshKey(ssh.data(), static_cast<int>(ssh.size()), SecretBytes(), fromSsh), 0);
  ASSERT_EQ(KeyCodec::ReadKeyText(privateText, Bytes(pkcs8)), 0);
  ASSERT_EQ(KeyCodec::ReadKeyText(publicText, Bytes(spki)), 0);
  ASSERT_EQ(KeyCodec::ReadKeyText(rsaText, Bytes(rsaSpki)), 0);
  EXPECT_EQ(rsaText.type, kKeyTypeRsa);
  ByteString a, b, c;
  ASSERT_EQ(KeyCodec::WriteJwk(fromSsh, 1, a), 0);
  ASSERT_EQ(KeyCodec::WriteJwk(privateText, 1, b), 0);
  ASSERT_EQ(KeyCodec::WriteJwk(publicText, 0, c), 0);
  EXPECT_EQ(Text(a), Text(b));
  EXPECT_EQ(Text(a).substr(0, Text(c).size() - 1), Text(c).substr(0, Text(c).size() - 1));
  // A PKCS#1 body under its own label is not PKCS#8.
  KeyHolder pkcs1;
  EXPECT_NE(KeyCodec::ReadKeyText(pkcs1, Bytes(sshkit::Bytes("ossh-rsa.pem"))), 0);
}

}  // namespace

// A member name cut by a NUL byte right after a backslash reads, but written
// back its backslash would escape the closing quote: the write refuses it.
TEST(Jwk, NameCutAfterABackslashIsNotWrittenBroken) {
  std::string text = "{\"kty\":\"RSA\",\"n\":\"AMA\",\"e\":\"AQAB\",\"x";
  text += std::string("\xff\\\0+\0", 5);
  text += "\":1}";
  ByteString json;
  ASSERT_EQ(json.Set(text.data(), static_cast<int>(text.size())), 0);
  KeyHolder holder;
  ASSERT_EQ(KeyCodec::ReadJwk(holder, json), 0);
  ByteString written;
  EXPECT_EQ(KeyCodec::WriteJwk(holder, 1, written), kKeyUnusable);
}
