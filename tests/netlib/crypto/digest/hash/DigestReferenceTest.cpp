// Every digest number through HashContext against an independent reference
// (hashlib, pycryptodome, the openssl tool): whole messages, the same messages
// in chunks that straddle the block boundaries, and a copy taken mid-stream.
// Runs once with the processor's fast paths (where present) and once without.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DigestTestUtil.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/digest/hash/ShakeDigest.h"

namespace {

using namespace tornell;
using digesttest::Hex;
using digesttest::Prng;

struct Algorithm {
  int id;
  const char* reference;
  int paddingMode;  // 0: leave the default
  int shakeBytes;   // 0: leave the default output length
};

const Algorithm kAlgorithms[] = {
    {HashAlgorithm::kSha1, "sha1", 0, 0},
    {HashAlgorithm::kMd5, "md5", 0, 0},
    {HashAlgorithm::kSha256, "sha256", 0, 0},
    {HashAlgorithm::kSha224, "sha224", 0, 0},
    {HashAlgorithm::kSha512, "sha512", 0, 0},
    {HashAlgorithm::kSha512_224, "sha512_224", 0, 0},
    {HashAlgorithm::kSha512_256, "sha512_256", 0, 0},
    {HashAlgorithm::kSha384, "sha384", 0, 0},
    {HashAlgorithm::kRipemd160, "ripemd160", 0, 0},
    {HashAlgorithm::kMd4, "md4", 0, 0},
    {HashAlgorithm::kMd2, "md2", 0, 0},
    {HashAlgorithm::kMd5Sha1, "md5-sha1", 0, 0},
    {HashAlgorithm::kSha3_224, "keccak224", 0, 0},
    {HashAlgorithm::kSha3_256, "keccak256", 0, 0},
    {HashAlgorithm::kSha3_384, "keccak384", 0, 0},
    {HashAlgorithm::kSha3_512, "keccak512", 0, 0},
    {HashAlgorithm::kSha3_224, "sha3_224", 2, 0},
    {HashAlgorithm::kSha3_256, "sha3_256", 2, 0},
    {HashAlgorithm::kSha3_384, "sha3_384", 2, 0},
    {HashAlgorithm::kSha3_512, "sha3_512", 2, 0},
    {HashAlgorithm::kShake128, "shake128:32", 0, 0},
    {HashAlgorithm::kShake256, "shake256:64", 0, 0},
    {HashAlgorithm::kShake128, "shake128:200", 0, 200},  // squeezes past one block
    {HashAlgorithm::kShake256, "shake256:114", 0, 114},  // the Ed448 length
    {HashAlgorithm::kShake128, "shake128:1", 0, 1},
};

struct Message {
  std::string bytes;
  std::string text;  // as the reference script reads it
};

std::vector<Message> Messages() {
  // Each side of every block and rate boundary (16, 64, 128 and the sponge
  // rates 72, 104, 136, 144, 168), then random lengths.
  const int lengths[] = {0,   1,   3,   15,  16,  17,  55,  56,  63,  64,  65,  71,  72,  103,
                         104, 111, 112, 127, 128, 129, 135, 136, 143, 144, 150, 167, 168, 169,
                         200, 255, 256, 300, 335, 336, 337};
  Prng prng(20261210);
  std::vector<Message> out;
  for (int n : lengths) {
    std::string bytes = prng.Bytes(n);
    out.push_back({bytes, Hex(bytes)});
  }
  for (int i = 0; i < 12; ++i) {
    std::string bytes = prng.Bytes(prng.Below(600));
    out.push_back({bytes, Hex(bytes)});
  }
  // Groups of four 128-byte blocks, one to several (the vector schedule
  // runs a group ahead), with and without a tail.
  for (int n : {512, 896, 1023, 1024, 1025, 1536, 1537, 1600, 2047, 2048, 4096 + 77}) {
    std::string bytes = prng.Bytes(n);
    out.push_back({bytes, Hex(bytes)});
  }
  out.push_back({std::string(1000000, 'a'), "a*1000000"});
  return out;
}

void Select(HashContext& ctx, const Algorithm& a) {
  EXPECT_EQ(0, ctx.SetAlgorithm(a.id));
  if (a.paddingMode != 0) {
    ASSERT_EQ(ctx.SetPaddingMode(a.paddingMode), 0);
  }
  if (a.shakeBytes != 0) {
    ShakeDigest* shake = a.id == HashAlgorithm::kShake128
                             ? static_cast<ShakeDigest*>(ctx.HeldDigest<Shake128Digest>())
                             : static_cast<ShakeDigest*>(ctx.HeldDigest<Shake256Digest>());
    ASSERT_NE(shake, nullptr);
    shake->SetOutputBits(a.shakeBytes * 8);
  }
}

std::string Result(const HashContext& ctx) { return Hex(ctx.GetDigest(), ctx.GetDigestLength()); }

std::string Whole(const Algorithm& a, const std::string& m) {
  HashContext ctx;
  Select(ctx, a);
  ByteString out;
  EXPECT_EQ(ctx.Digest(m.data(), static_cast<int>(m.size()), out), 0);
  return Hex(out.Data(), out.Length());
}

// Chunks of 1, 63, 64, 65 bytes and random sizes, so that every kind of
// partial and whole block is met along the way.
std::string InChunks(const Algorithm& a, const std::string& m, Prng& prng) {
  static const int kSizes[] = {1, 63, 64, 65, 0};
  HashContext ctx;
  Select(ctx, a);
  size_t at = 0;
  while (at < m.size()) {
    int size = kSizes[prng.Below(5)];
    if (size == 0) size = 1 + prng.Below(300);
    size = static_cast<int>(std::min<size_t>(static_cast<size_t>(size), m.size() - at));
    EXPECT_EQ(ctx.Update(m.data() + at, size), 0);
    at += static_cast<size_t>(size);
  }
  EXPECT_EQ(ctx.Final(), 0);
  return Result(ctx);
}

// A copy taken part way through continues exactly like the original.
void CopyMidStream(const Algorithm& a, const std::string& m, Prng& prng, const std::string& expected,
                   const std::string& where) {
  HashContext source;
  Select(source, a);
  size_t split = m.empty() ? 0 : static_cast<size_t>(prng.Below(static_cast<int>(m.size()) + 1));
  EXPECT_EQ(0, source.Update(m.data(), static_cast<int>(split)));
  HashContext copy;
  ASSERT_EQ(copy.CopyFrom(source), 0);
  const std::string rest = m.substr(split);
  for (HashContext* ctx : {&source, &copy}) {
    EXPECT_EQ(ctx->Update(rest.data(), static_cast<int>(rest.size())), 0);
    EXPECT_EQ(ctx->Final(), 0);
    EXPECT_EQ(Result(*ctx), expected) << where << " (copy at " << split << ")";
  }
}

// MD5, RIPEMD-160, MD4 and MD2 have one path only.
bool HasFastPath(int id) {
  return id != HashAlgorithm::kMd5 && id != HashAlgorithm::kRipemd160 && id != HashAlgorithm::kMd4 &&
         id != HashAlgorithm::kMd2;
}

class DigestReference : public digesttest::BothPaths {};

TEST_P(DigestReference, EveryDigestNumberMatchesTheReference) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  static const std::vector<Message> messages = Messages();
  static const std::vector<std::string> expected = [] {
    std::vector<std::string> requests;
    for (const Algorithm& a : kAlgorithms) {
      for (const Message& m : messages) requests.push_back(std::string(a.reference) + " " + m.text);
    }
    return digesttest::RunReference(requests);
  }();
  REQUIRE_OR_SKIP(!expected.empty(), "the reference (python3 with pycryptodome, openssl) did not run");

  Prng prng(7);
  size_t k = 0;
  for (const Algorithm& a : kAlgorithms) {
    for (const Message& m : messages) {
      const std::string& want = expected[k++];
      // The portable run covers the digests that have a processor fast path.
      if (!GetParam() && !HasFastPath(a.id)) continue;
      const std::string where = std::string(a.reference) + " over " + std::to_string(m.bytes.size()) + " bytes";
      EXPECT_EQ(Whole(a, m.bytes), want) << where;
      if (m.bytes.size() > 5000) continue;  // the long message is checked whole
      EXPECT_EQ(InChunks(a, m.bytes, prng), want) << where << " in chunks";
      CopyMidStream(a, m.bytes, prng, want, where);
    }
  }
}

DIGEST_ALL_PATHS(DigestReference);

}  // namespace
