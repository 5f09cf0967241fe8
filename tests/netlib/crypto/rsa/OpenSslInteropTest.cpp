// Our keys, signatures and ciphertexts against the openssl command: keys we
// generate pass its checks, and each side verifies or decrypts the other's
// output for v1.5, PSS and OAEP (several digests) and for DSA.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "KeyTestUtil.h"
#include "TestSupport.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/bigint/BigInteger.h"
#include "crypto/dsa/DsaEngine.h"
#include "crypto/random/RandomSource.h"
#include "crypto/rsa/RsaEngine.h"

namespace tornell {
namespace {

namespace fs = std::filesystem;
using keytest::Hex;

using testsupport::HaveOpenssl;

// DER of a SEQUENCE of non-negative INTEGERs given as unsigned big-endian.
std::string DerLength(size_t n) {
  std::string out;
  if (n < 128) return std::string(1, char(n));
  std::string bytes;
  for (; n > 0; n >>= 8) bytes.insert(bytes.begin(), char(n & 0xFF));
  return std::string(1, char(0x80 | bytes.size())) + bytes;
}

std::string DerSequence(std::initializer_list<const ByteString*> values) {
  std::string body;
  for (const ByteString* v : values) {
    std::string mag(v->Data(), size_t(v->Length()));
    while (mag.size() > 1 && mag[0] == 0) mag.erase(0, 1);
    if (mag.empty()) mag = std::string(1, '\0');
    if (static_cast<unsigned char>(mag[0]) >= 0x80) mag.insert(mag.begin(), '\0');
    body += '\x02' + DerLength(mag.size()) + mag;
  }
  return '\x30' + DerLength(body.size()) + body;
}

class Scratch {
 public:
  Scratch() {
    char tmpl[] = "/tmp/tornell_rsa_XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  ~Scratch() { fs::remove_all(dir_); }
  std::string Path(const char* name) const { return (fs::path(dir_) / name).string(); }
  void Write(const char* name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  void Write(const char* name, const ByteString& bytes) const { Write(name, std::string(bytes.Data(), bytes.Length())); }
  ByteString Read(const char* name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ByteString out;
    out.Set(s.data(), int(s.size()));
    return out;
  }
  // Runs openssl with the arguments; true on exit status 0.
  bool Openssl(const std::string& args) const {
    const std::string cmd = "cd '" + dir_ + "' && openssl " + args + " >out.txt 2>err.txt";
    return std::system(cmd.c_str()) == 0;
  }

 private:
  std::string dir_;
};

ByteString Digest(const char* name, const std::string& msg) {
  HashContext h;
  ByteString out;
  EXPECT_EQ(0, h.SetAlgorithm(name));
  EXPECT_EQ(0, h.Digest(msg.data(), int(msg.size()), out));
  return out;
}

std::string RsaKeyDer(const RsaKey& k) {
  ByteString version;
  version.AppendByte(0);
  return DerSequence({&version, &k.n, &k.e, &k.d, &k.p, &k.q, &k.dP, &k.dQ, &k.qInv});
}

struct Generated {
  int bits, method;
};

class RsaOpenssl : public ::testing::TestWithParam<Generated> {};

TEST_P(RsaOpenssl, GeneratedKeyPassesCheckAndInteroperates) {
  REQUIRE_OR_SKIP(HaveOpenssl(), "openssl command not found");
  const Generated g = GetParam();
  RsaEngine engine;
  ASSERT_EQ(0, engine.SetKeySize(g.bits));
  RsaKey key;
  ASSERT_EQ(0, engine.GenerateKey(1, key, g.method));
  Scratch dir;
  dir.Write("key.der", RsaKeyDer(key));
  ASSERT_TRUE(dir.Openssl("rsa -check -noout -inform DER -in key.der")) << "openssl rejects the generated key";
  const std::string inkey = " -inkey key.der -keyform DER ";

  struct Sig {
    const char* digest;  // our name
    const char* md;      // openssl's
    int pss, salt;
  } sigs[] = {{"SHA256", "sha256", 0, 0}, {"SHA1", "sha1", 0, 0},    {"SHA512", "sha512", 0, 0},
              {"SHA256", "sha256", 1, 32}, {"SHA384", "sha384", 1, 0}, {"SHA1", "sha1", 1, 20}};
  for (const auto& s : sigs) {
    if (g.bits < 1024 && std::string(s.digest) == "SHA512") continue;
    const std::string opts = std::string(" -pkeyopt digest:") + s.md +
                             (s.pss ? " -pkeyopt rsa_padding_mode:pss -pkeyopt rsa_pss_saltlen:" + std::to_string(s.salt)
                                    : " -pkeyopt rsa_padding_mode:pkcs1");
    SCOPED_TRACE(std::string(s.digest) + (s.pss ? " PSS" : " v1.5"));
    ByteString hash = Digest(s.digest, "message to sign"), sig;
    dir.Write("hash.bin", hash);
    ASSERT_EQ(0, engine.SignHash(hash.Data(), hash.Length(), s.digest, sig, s.pss, s.salt));
    dir.Write("ours.sig", sig);
    EXPECT_TRUE(dir.Openssl("pkeyutl -verify" + inkey + opts + " -in hash.bin -sigfile ours.sig"));
    ASSERT_TRUE(dir.Openssl("pkeyutl -sign" + inkey + opts + " -in hash.bin -out theirs.sig"));
    ByteString theirs = dir.Read("theirs.sig");
    int valid = 0;
    EXPECT_EQ(0, engine.VerifyHash(hash.Data(), hash.Length(), s.digest, theirs.Data(), theirs.Length(), valid, s.pss,
                                   s.salt, 1));
    EXPECT_EQ(1, valid);
  }

  struct Enc {
    const char *hash, *mgf, *md, *mgfMd, *label;
  } encs[] = {{nullptr, nullptr, nullptr, nullptr, nullptr},  // v1.5
              {"SHA1", "SHA1", "sha1", "sha1", ""},
              {"SHA256", "SHA256", "sha256", "sha256", "6c6162656c"},
              {"SHA512/256", "SHA1", "sha512-256", "sha1", "00ff"},  // shares its length with SHA-256
              {"SHA224", "SHA384", "sha224", "sha384", ""}};
  const std::string msg = "secret premaster bytes";
  for (const auto& e : encs) {
    const bool oaep = e.hash != nullptr;
    SCOPED_TRACE(oaep ? std::string("OAEP ") + e.hash : "v1.5");
    ByteString label = keytest::FromHex(oaep ? e.label : "");
    std::string opts = " -pkeyopt rsa_padding_mode:pkcs1";
    if (oaep) {
      opts = std::string(" -pkeyopt rsa_padding_mode:oaep -pkeyopt rsa_oaep_md:") + e.md + " -pkeyopt rsa_mgf1_md:" +
             e.mgfMd + (label.Length() ? std::string(" -pkeyopt rsa_oaep_label:") + e.label : "");
    }
    ByteString ct, pt;
    ASSERT_EQ(0, engine.EncryptWithPadding(msg.data(), int(msg.size()), ct, oaep, label.Data(), label.Length(), e.hash,
                                           e.mgf));
    dir.Write("ours.ct", ct);
    ASSERT_TRUE(dir.Openssl("pkeyutl -decrypt" + inkey + opts + " -in ours.ct -out ours.pt"));
    EXPECT_EQ(Hex(ByteString(msg.c_str())), Hex(dir.Read("ours.pt")));
    dir.Write("msg.bin", msg);
    ASSERT_TRUE(dir.Openssl("pkeyutl -encrypt" + inkey + opts + " -in msg.bin -out theirs.ct"));
    ByteString theirs = dir.Read("theirs.ct");
    ASSERT_EQ(0, engine.DecryptWithPadding(theirs.Data(), theirs.Length(), pt, oaep, label.Data(), label.Length(),
                                           e.hash, e.mgf));
    EXPECT_EQ(msg, std::string(pt.Data(), pt.Length()));
  }
}

// Both generation methods; sizes kept small enough for a sanitised build.
INSTANTIATE_TEST_SUITE_P(Methods, RsaOpenssl, ::testing::Values(Generated{2048, 0}, Generated{1024, 1}),
                         [](const auto& info) {
                           return "Bits" + std::to_string(info.param.bits) + "Method" +
                                  std::to_string(info.param.method);
                         });

// A modulus of 8j + 1 bits: k is one byte more than the encoded message in
// PSS, and every output must still be k bytes for the other side to accept.
TEST(RsaOpensslOddSize, PssAndV15WithA1025BitModulus) {
  REQUIRE_OR_SKIP(HaveOpenssl(), "openssl command not found");
  RandomSource random;
  const BigInteger e(int64_t(65537));
  BigInteger p, q, n, d;
  do {
    p = BigInteger(513, 64, random);
    q = BigInteger(512, 64, random);
    n = p.Multiply(q);
  } while (n.BitLength() != 1025 ||
           e.ModInverse(p.Subtract(BigInteger::ONE).Multiply(q.Subtract(BigInteger::ONE)), d) != 0);
  RsaKey in;
  ASSERT_EQ(0, n.ToByteString(in.n));
  ASSERT_EQ(0, e.ToByteString(in.e));
  ASSERT_EQ(0, d.ToByteString(in.d));
  ASSERT_EQ(0, p.ToByteString(in.p));
  ASSERT_EQ(0, q.ToByteString(in.q));
  RsaEngine engine;
  ASSERT_EQ(0, engine.SetKey(in));
  Scratch dir;
  dir.Write("key.der", RsaKeyDer(engine.key));
  ASSERT_TRUE(dir.Openssl("rsa -check -noout -inform DER -in key.der"));
  const std::string inkey = " -inkey key.der -keyform DER -pkeyopt digest:sha256 ";
  ByteString hash = Digest("SHA256", "odd size"), sig;
  dir.Write("hash.bin", hash);
  for (int pss : {1, 0}) {
    SCOPED_TRACE(pss ? "PSS" : "v1.5");
    const std::string opts = pss ? " -pkeyopt rsa_padding_mode:pss -pkeyopt rsa_pss_saltlen:32" : "";
    sig.Clear();
    ASSERT_EQ(0, engine.SignHash(hash.Data(), hash.Length(), "SHA256", sig, pss, 32));
    EXPECT_EQ(129, sig.Length());
    dir.Write("ours.sig", sig);
    EXPECT_TRUE(dir.Openssl("pkeyutl -verify" + inkey + opts + " -in hash.bin -sigfile ours.sig"));
    ASSERT_TRUE(dir.Openssl("pkeyutl -sign" + inkey + opts + " -in hash.bin -out theirs.sig"));
    ByteString theirs = dir.Read("theirs.sig");
    int valid = 0;
    EXPECT_EQ(0, engine.VerifyHash(hash.Data(), hash.Length(), "SHA256", theirs.Data(), theirs.Length(), valid, pss,
                                   32, 1));
    EXPECT_EQ(1, valid);
  }
}

TEST(DsaOpenssl, OurSignaturesVerifyInOpensslAndTheirsInOurs) {
  REQUIRE_OR_SKIP(HaveOpenssl(), "openssl command not found");
  Scratch dir;
  ASSERT_TRUE(dir.Openssl("genpkey -genparam -algorithm DSA -pkeyopt dsa_paramgen_bits:2048 -pkeyopt "
                          "dsa_paramgen_q_bits:224 -out params.pem"));
  ASSERT_TRUE(dir.Openssl("genpkey -paramfile params.pem -outform DER -out key.der"));
  // The private-key text lists every value; read them back in hex.
  ASSERT_TRUE(dir.Openssl("pkey -inform DER -in key.der -text -noout"));
  ByteString text = dir.Read("out.txt");
  std::string t(text.Data(), text.Length());
  auto field = [&](const std::string& name) {
    ByteString out;
    size_t at = t.find("\n" + name + ":");
    if (at == std::string::npos) return out;
    at = t.find('\n', at + 1);
    std::string hex;
    for (size_t i = at; i < t.size(); ++i) {
      char c = t[i];
      if (c == '\n' && i + 1 < t.size() && t[i + 1] != ' ') break;
      if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
    }
    out.AppendFromHex(hex.c_str());
    return out;
  };
  DsaKey key;
  key.x.Assign(field("priv"));
  key.y.Assign(field("pub"));
  key.p.Assign(field("P"));
  key.q.Assign(field("Q"));
  key.g.Assign(field("G"));
  ASSERT_GT(key.p.Length(), 200);
  DsaEngine engine;
  ASSERT_EQ(0, engine.SetKey(key));
  engine.SetSignatureFormat(1);
  // SHA-256 is longer than q: both sides use its leftmost 224 bits.
  for (const char* digest : {"SHA224", "SHA256", "SHA1"}) {
    SCOPED_TRACE(digest);
    ByteString hash = Digest(digest, "dsa message"), sig;
    dir.Write("hash.bin", hash);
    ASSERT_EQ(0, engine.SignHash(hash.Data(), hash.Length(), sig));
    dir.Write("ours.sig", sig);
    EXPECT_TRUE(dir.Openssl("pkeyutl -verify -inkey key.der -keyform DER -in hash.bin -sigfile ours.sig"));
    ASSERT_TRUE(dir.Openssl("pkeyutl -sign -inkey key.der -keyform DER -in hash.bin -out theirs.sig"));
    ByteString theirs = dir.Read("theirs.sig");
    int valid = 0;
    EXPECT_EQ(0, engine.VerifyHash(hash.Data(), hash.Length(), theirs.Data(), theirs.Length(), valid));
    EXPECT_EQ(1, valid);
  }
}

}  // namespace
}  // namespace tornell
